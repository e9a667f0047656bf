#include "app/settings/style/AppGlyphTile.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "app/settings/style/AppMark.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {

AppGlyphTile::AppGlyphTile(double size, QWidget* parent) : QWidget(parent) {
    const int side = static_cast<int>(std::lround(size));
    setFixedSize(side, side);
}

void AppGlyphTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF square(rect());
    const double size = square.width();
    const double radius = 0.24 * size;
    QPainterPath shape;
    shape.addRoundedRect(square, radius, radius);
    painter.save();
    painter.setClipPath(shape);
    if (const auto& mark = AppMark::image()) {
        // Scaled to fit, aspect kept.
        QSizeF fitted = QSizeF(mark->size()).scaled(square.size(), Qt::KeepAspectRatio);
        const QRectF target(square.center().x() - fitted.width() / 2,
                            square.center().y() - fitted.height() / 2, fitted.width(), fitted.height());
        painter.drawImage(target, *mark);
    } else {
        painter.fillRect(square, Qt::white);
        painter.setPen(Qt::black);
        painter.setFont(settingsFont(0.52 * size, QFont::Bold));
        painter.drawText(square, Qt::AlignCenter, QStringLiteral("拼"));
    }
    painter.restore();
    // The border sits just inside the edge.
    QPainterPath border;
    border.addRoundedRect(square.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
    painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.06), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(border);
}

}  // namespace sorvane
