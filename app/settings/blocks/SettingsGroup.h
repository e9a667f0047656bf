#pragma once
// A card of a settings page: an optional secondary title above a rounded
// card (radius 13, the card colour, a faint inner border). The card adds no
// padding: each row brings its own. Rows are separated with addDivider(),
// indented 58 so that it starts under the rows' titles.
//
//   auto* group = new SettingsGroup(QStringLiteral("数据与存储"));
//   group->addRow(new SettingsLinkRow(...));
//   group->addDivider();
//   group->addRow(new SettingsLinkRow(...));
#include <QString>
#include <QWidget>
#include <optional>

class QVBoxLayout;

namespace sorvane {

class SettingsText;

class SettingsGroup final : public QWidget {
public:
    static constexpr int dividerIndent = 58;

    explicit SettingsGroup(const std::optional<QString>& title = std::nullopt, QWidget* parent = nullptr);

    void addRow(QWidget* row);
    void addRow(QLayout* row);
    void addDivider(int indent = dividerIndent);
    QWidget* card() const { return card_; }
    SettingsText* title() const { return title_; }

private:
    SettingsText* title_ = nullptr;
    QWidget* card_;
    QVBoxLayout* rows_;
};

}  // namespace sorvane
