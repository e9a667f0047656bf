#include "app/settings/style/SymbolView.h"

#include <QPainter>
#include <cmath>

#include "app/settings/style/SettingsSymbols.h"

namespace sorvane {

SymbolView::SymbolView(QString symbol, double size, std::function<QColor()> color, QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), color_(std::move(color)) {
    const int side = static_cast<int>(std::ceil(size));
    setFixedSize(side, side);
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    SettingsSymbols::draw(painter, symbol_, QRectF(rect()), color_());
}

}  // namespace sorvane
