#pragma once
// The settings pages' symbols: a small set of our own SVG drawings looked up
// by their system-symbol name ("key", "lock.shield", "chevron.right", ...).
// A name the set lacks draws nothing.
//
//   SettingsSymbols::draw(painter, "key", QRectF(0, 0, 19, 19), Qt::white);
//
// Filled symbols with a detail ("checkmark.circle.fill") cut the detail out
// when drawn in one colour, or paint it in a second colour with drawPalette.
// Main thread only (the renderers are cached).
#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QStringList>

namespace sorvane::SettingsSymbols {

bool contains(const QString& name);
QStringList names();
// Fits the symbol into the square centred in `box`, tinted with `color`.
void draw(QPainter& painter, const QString& name, const QRectF& box, const QColor& color);
// The body in `primary`, the detail in `secondary`.
void drawPalette(QPainter& painter, const QString& name, const QRectF& box, const QColor& primary,
                 const QColor& secondary);

}  // namespace sorvane::SettingsSymbols
