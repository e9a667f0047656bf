#include "app/settings/blocks/SettingsCheckBox.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>

#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

constexpr double boxSide = 14;
constexpr double boxRadius = 3.5;

}  // namespace

SettingsCheckBox::SettingsCheckBox(const QString& text, const QFont& font, QWidget* parent)
    : QCheckBox(text, parent) {
    setFont(font);
}

QRectF SettingsCheckBox::boxRect() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRectF indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    return QRectF(indicator.left(), indicator.center().y() - boxSide / 2, boxSide, boxSide);
}

void SettingsCheckBox::paintEvent(QPaintEvent*) {
    QStyleOptionButton option;
    initStyleOption(&option);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.5);

    // Half a pixel in, so the one-pixel outline lies on whole pixels.
    const QRectF box = boxRect().adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(box, boxRadius, boxRadius);
    if (isChecked()) {
        painter.fillPath(shape, SettingsTheme::blue());
        QPen tick(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(tick);
        const auto at = [&box](double x, double y) {
            return QPointF(box.left() + x * box.width(), box.top() + y * box.height());
        };
        painter.drawPolyline(QList<QPointF>{at(0.25, 0.53), at(0.43, 0.71), at(0.76, 0.3)});
    } else {
        const bool dark = SettingsTheme::appearance() == SettingsAppearance::dark;
        painter.fillPath(shape, dark ? QColor::fromRgbF(1, 1, 1, 0.08) : QColor(Qt::white));
        painter.setPen(QPen(SettingsTheme::label(0.3), 1));
        painter.drawPath(shape);
    }
    if (option.state & QStyle::State_HasFocus && option.state & QStyle::State_KeyboardFocusChange) {
        QColor ring = SettingsTheme::blue();
        ring.setAlphaF(0.5);
        painter.setPen(QPen(ring, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(-1.5, -1.5, 1.5, 1.5), boxRadius + 1.5, boxRadius + 1.5);
    }

    const QRect contents = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    painter.setPen(SettingsTheme::label());
    painter.setFont(font());
    painter.drawText(contents, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, text());
}

}  // namespace sorvane
