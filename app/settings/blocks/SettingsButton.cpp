#include "app/settings/blocks/SettingsButton.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

constexpr double actionMinimumScale = 0.75;

}  // namespace

SettingsButton::SettingsButton(const QString& text, Style style, QWidget* parent)
    : QAbstractButton(parent), style_(std::move(style)) {
    setText(text);
    setCursor(Qt::PointingHandCursor);
    const bool fullWidth = std::holds_alternative<SettingsActionStyle>(style_);
    setSizePolicy(fullWidth ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QFont SettingsButton::labelFont() const {
    if (std::holds_alternative<SettingsActionStyle>(style_)) return settingsFont(13, QFont::DemiBold);
    if (std::holds_alternative<SettingsPillStyle>(style_)) return settingsFont(12, QFont::DemiBold);
    return settingsFont(13);
}

QMargins SettingsButton::padding() const {
    if (std::holds_alternative<SettingsActionStyle>(style_)) return QMargins(16, 13, 16, 13);
    if (std::holds_alternative<SettingsPillStyle>(style_)) return QMargins(13, 13, 13, 13);
    return QMargins(12, 5, 12, 5);
}

QSize SettingsButton::sizeHint() const {
    const QFontMetricsF metrics(labelFont());
    const QMargins pad = padding();
    return QSize(static_cast<int>(std::ceil(metrics.horizontalAdvance(text()))) + pad.left() + pad.right(),
                 static_cast<int>(std::ceil(metrics.height())) + pad.top() + pad.bottom());
}

QSize SettingsButton::minimumSizeHint() const {
    if (!std::holds_alternative<SettingsActionStyle>(style_)) return sizeHint();
    return QSize(padding().left() + padding().right(), sizeHint().height());
}

double SettingsButton::drawnOpacity() const {
    if (!isEnabled()) return 0.5;
    if (std::holds_alternative<SettingsActionStyle>(style_) && isDown()) return 0.8;
    return 1.0;
}

void SettingsButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(drawnOpacity());
    const QRectF frame(rect());
    QPainterPath shape;
    QColor labelColor;
    if (const auto* action = std::get_if<SettingsActionStyle>(&style_)) {
        shape.addRoundedRect(frame, 11, 11);
        painter.fillPath(shape, action->background);
        labelColor = action->foreground;
    } else if (const auto* pill = std::get_if<SettingsPillStyle>(&style_)) {
        shape.addRoundedRect(frame, 10, 10);
        painter.fillPath(shape, QColor::fromRgbF(1, 1, 1, isDown() ? 0.26 : 0.16));
        labelColor = pill->foreground;
    } else {
        shape.addRoundedRect(frame.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        painter.fillPath(shape, isDown() ? SettingsTheme::separator() : SettingsTheme::controlBackground());
        painter.setPen(QPen(SettingsTheme::label(0.18), 1));
        painter.drawPath(shape);
        labelColor = SettingsTheme::label();
    }

    QFont font = labelFont();
    const QMargins pad = padding();
    const QRectF textRect = frame.adjusted(pad.left(), 0, -pad.right(), 0);
    const double natural = QFontMetricsF(font).horizontalAdvance(text());
    if (natural > textRect.width() && std::holds_alternative<SettingsActionStyle>(style_)) {
        const double scale = std::max(actionMinimumScale, textRect.width() / natural);
        font.setPixelSize(std::max(1, static_cast<int>(std::floor(font.pixelSize() * scale))));
    }
    painter.setFont(font);
    painter.setPen(labelColor);
    const QString shown = QFontMetricsF(font).elidedText(text(), Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignCenter, shown);
}

}  // namespace sorvane
