#include "app/settings/blocks/SettingsSpinner.h"

#include <QPainter>

#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

constexpr int spokes = 8;

}  // namespace

SettingsSpinner::SettingsSpinner(QWidget* parent) : QWidget(parent) {
    setFixedSize(16, 16);
    timer_.setInterval(100);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % spokes;
        update();
    });
}

void SettingsSpinner::showEvent(QShowEvent*) {
    timer_.start();
}

void SettingsSpinner::hideEvent(QHideEvent*) {
    timer_.stop();
}

void SettingsSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < spokes; ++i) {
        QColor color = SettingsTheme::secondaryLabel();
        color.setAlphaF(color.alphaF() *
                        (0.25 + 0.75 * ((i + spokes - step_) % spokes) / double(spokes - 1)));
        painter.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -3.5), QPointF(0, -7));
        painter.rotate(360.0 / spokes);
    }
}

}  // namespace sorvane
