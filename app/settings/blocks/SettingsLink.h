#pragma once
// A text link of a settings page ("隐私政策", "DeepSeek 开放平台 ↗"): accent
// coloured, opens its address through the page's UrlOpener when clicked.
//
//   row->addWidget(new SettingsLink("用户协议", QUrl(...), opener, settingsFont(12)));
#include <QUrl>

#include "app/settings/UrlOpener.h"
#include "app/settings/style/SettingsText.h"

namespace sorvane {

class SettingsLink final : public SettingsText {
public:
    SettingsLink(const QString& text, QUrl url, UrlOpener& opener, const QFont& font,
                 QWidget* parent = nullptr);
    const QUrl& url() const { return url_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QUrl url_;
    UrlOpener& opener_;
    bool pressed_ = false;
};

}  // namespace sorvane
