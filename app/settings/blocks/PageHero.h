#pragma once
// A page's hero header: an icon left of a bold title and a wrapping
// subtitle.
//
//   new PageHero("账号", "微信扫码登录…", new IconTile("person.crop.circle", SettingsTheme::blue(), 44));
#include <QString>
#include <QWidget>

namespace sorvane {

class SettingsText;

class PageHero final : public QWidget {
public:
    // Takes ownership of `icon`.
    PageHero(const QString& title, const QString& subtitle, QWidget* icon, QWidget* parent = nullptr);

    SettingsText* title() const { return title_; }
    SettingsText* subtitle() const { return subtitle_; }

private:
    SettingsText* title_;
    SettingsText* subtitle_;
};

}  // namespace sorvane
