#include "app/settings/pages/KeyField.h"

#include <QPainter>
#include <QPainterPath>

#include "app/settings/style/SettingsTheme.h"

namespace sorvane {

KeyField::KeyField(QWidget* parent) : QLineEdit(parent) {
    setEchoMode(QLineEdit::Password);
    setPlaceholderText(QStringLiteral("sk-…"));
    setFont(settingsFont(13));
    setFrame(false);
    setTextMargins(8, 5, 8, 5);
    setAttribute(Qt::WA_MacShowFocusRect, false);
}

void KeyField::paintEvent(QPaintEvent* event) {
    // Only a palette that differs is set, so this asks for at most one more
    // paint after a change of appearance.
    QPalette wanted = palette();
    wanted.setColor(QPalette::Base, Qt::transparent);
    wanted.setColor(QPalette::Text, SettingsTheme::label());
    wanted.setColor(QPalette::PlaceholderText, SettingsTheme::tertiaryLabel());
    if (wanted != palette()) setPalette(wanted);
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath frame;
        frame.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        painter.fillPath(frame, SettingsTheme::controlBackground());
        painter.setPen(QPen(hasFocus() ? SettingsTheme::blue() : SettingsTheme::label(0.2), 1));
        painter.drawPath(frame);
    }
    QLineEdit::paintEvent(event);
}

}  // namespace sorvane
