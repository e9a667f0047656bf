#pragma once
// A square tile of one colour with a white symbol in the middle: the icon of
// link rows, heroes and cards. Corners 0.24 × size, symbol 0.64 × size.
//
//   row->addWidget(new IconTile("key", SettingsTheme::graphite(), 30));
#include <QColor>
#include <QString>
#include <QWidget>

namespace sorvane {

class IconTile final : public QWidget {
public:
    IconTile(QString symbol, QColor color, double size, QWidget* parent = nullptr);

    const QString& symbol() const { return symbol_; }
    void setColor(const QColor& color);
    // Draws a tile into `rect` (a square) wherever a parent needs one.
    static void paint(QPainter& painter, const QRectF& rect, const QString& symbol, const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    QColor color_;
};

}  // namespace sorvane
