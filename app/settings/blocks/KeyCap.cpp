#include "app/settings/blocks/KeyCap.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

constexpr double radius = 5;
// The shadow falls one point below the cap, so the cap leaves room for it.
constexpr double shadowDrop = 1;

QFont capFont() {
    return settingsFont(12, QFont::Medium);
}

}  // namespace

KeyCap::KeyCap(QString label, QWidget* parent) : QWidget(parent), label_(std::move(label)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize KeyCap::sizeHint() const {
    const double width = std::max(24.0, QFontMetricsF(capFont()).horizontalAdvance(label_) + 12);
    return QSize(static_cast<int>(std::ceil(width)), 22 + static_cast<int>(shadowDrop));
}

void KeyCap::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF cap(0, 0, width(), height() - shadowDrop);
    QPainterPath shape;
    shape.addRoundedRect(cap, radius, radius);
    painter.fillPath(shape.translated(0, shadowDrop), QColor::fromRgbF(0, 0, 0, 0.18));
    painter.fillPath(shape, SettingsTheme::controlBackground());
    QPainterPath border;
    border.addRoundedRect(cap.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
    painter.setPen(QPen(SettingsTheme::label(0.16 / 0.85), 1));
    painter.drawPath(border);
    painter.setFont(capFont());
    painter.setPen(SettingsTheme::label());
    painter.drawText(cap, Qt::AlignCenter, label_);
}

}  // namespace sorvane
