#pragma once
// One row of a settings card: icon tile, title with an optional wrapping
// subtitle, an optional value at the trailing end, and a chevron when the
// row has an action. Padded 16, at least 62 high. Only a row with an action
// takes clicks. The symbol "keyboard.badge.ellipsis" draws the keyboard tile
// with a check-mark badge on its corner. The tile's colour is read at paint
// time, so one of the appearance's follows a switch between light and dark.
//
//   group->addRow(new SettingsLinkRow("key", &SettingsTheme::graphite, "管理 DeepSeek Key", std::nullopt,
//                                     std::nullopt, [&] { model.show(SettingsPage::ownKey); }));
#include <QColor>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

namespace sorvane {

class SettingsText;

class SettingsLinkRow final : public QWidget {
public:
    static constexpr int minimumRowHeight = 62;
    static constexpr const char* compositeSymbol = "keyboard.badge.ellipsis";

    struct Fields {
        QString symbol;
        std::function<QColor()> color;
        QString title;
        std::optional<QString> subtitle;
        std::optional<QString> value;
        std::function<void()> action;
    };

    SettingsLinkRow(QString symbol, std::function<QColor()> color, QString title,
                    std::optional<QString> subtitle = std::nullopt,
                    std::optional<QString> value = std::nullopt, std::function<void()> action = {},
                    QWidget* parent = nullptr);

    bool isClickable() const { return static_cast<bool>(fields_.action); }
    void setSubtitle(const std::optional<QString>& subtitle);
    void setValue(const std::optional<QString>& value);
    void setColor(std::function<QColor()> color);
    const Fields& fields() const { return fields_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Fields fields_;
    QWidget* icon_;
    SettingsText* subtitle_;
    SettingsText* value_;
    bool pressed_ = false;
};

}  // namespace sorvane
