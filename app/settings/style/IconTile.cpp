#include "app/settings/style/IconTile.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "app/settings/style/SettingsSymbols.h"

namespace sorvane {

IconTile::IconTile(QString symbol, QColor color, double size, QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), color_(std::move(color)) {
    const int side = static_cast<int>(std::lround(size));
    setFixedSize(side, side);
}

void IconTile::setColor(const QColor& color) {
    color_ = color;
    update();
}

void IconTile::paint(QPainter& painter, const QRectF& rect, const QString& symbol, const QColor& color) {
    const double size = rect.width();
    const double radius = 0.24 * size;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    tile.addRoundedRect(rect, radius, radius);
    painter.fillPath(tile, color);
    const double glyph = 0.64 * size;
    const QRectF box(rect.center().x() - glyph / 2, rect.center().y() - glyph / 2, glyph, glyph);
    SettingsSymbols::draw(painter, symbol, box, Qt::white);
    painter.restore();
}

void IconTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, QRectF(rect()), symbol_, color_);
}

}  // namespace sorvane
