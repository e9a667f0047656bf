#pragma once
// The heading of a settings page: the title at 26 bold over a secondary
// subtitle at 12, 7 apart.
//
//   page->addBlock(new SettingsHeading("DeepSeek Key", "你的 Key，你的 DeepSeek 账户。"));
#include <QString>
#include <QWidget>

namespace sorvane {

class SettingsText;

class SettingsHeading final : public QWidget {
public:
    SettingsHeading(const QString& title, const QString& subtitle, QWidget* parent = nullptr);

    SettingsText* title() const { return title_; }
    SettingsText* subtitle() const { return subtitle_; }

private:
    SettingsText* title_;
    SettingsText* subtitle_;
};

}  // namespace sorvane
