#include "app/settings/blocks/SettingsLink.h"

#include <QMouseEvent>

namespace sorvane {

SettingsLink::SettingsLink(const QString& text, QUrl url, UrlOpener& opener, const QFont& font,
                           QWidget* parent)
    : SettingsText(text, font, Tone::accent, parent), url_(std::move(url)), opener_(opener) {
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SettingsLink::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
}

void SettingsLink::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click) opener_.open(url_);
}

}  // namespace sorvane
