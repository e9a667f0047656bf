#include "app/settings/pages/MockSuggestionPanel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <array>
#include <cmath>

#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

struct Run {
    QString text;
    QColor color;
};

QColor grey(double white) {
    return QColor::fromRgbF(white, white, white);
}

std::array<Run, 4> sampleRuns() {
    // The panel is dark whatever the appearance, so its colours are fixed.
    const QColor standardGray(0x8E, 0x8E, 0x93);
    return {{{QStringLiteral("⇥ "), standardGray},
             {QStringLiteral("I want to book a table "), grey(0.86)},
             {QStringLiteral("⇧⇥ "), standardGray},
             {QStringLiteral("for two at seven."), QColor::fromRgbF(0.03, 0.52, 1.0)}}};
}

constexpr double padX = 14, padY = 13, gap = 8, lineSize = 16, smallestLine = 12;

class PanelPicture final : public QWidget {
public:
    PanelPicture() { setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed); }

    QSize sizeHint() const override {
        double line = 0;
        for (const Run& run : sampleRuns())
            line += QFontMetricsF(settingsFont(lineSize)).horizontalAdvance(run.text);
        const double height = QFontMetricsF(settingsFont(lineSize)).height() + 2 * padY;
        return QSize(static_cast<int>(std::ceil(line + tagWidth() + gap + 2 * padX)),
                     static_cast<int>(std::ceil(height)));
    }
    QSize minimumSizeHint() const override { return QSize(120, sizeHint().height()); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath shape;
        shape.addRoundedRect(frame, 10, 10);
        painter.fillPath(shape, grey(0.14));
        painter.setPen(QPen(grey(0.26), 1));
        painter.drawPath(shape);

        const QFont tag = settingsFont(10, QFont::DemiBold);
        const double tagW = tagWidth();
        const double midY = height() / 2.0;
        painter.setFont(tag);
        painter.setPen(grey(0.4));
        painter.drawText(QRectF(width() - padX - tagW, 0, tagW, height()), Qt::AlignVCenter | Qt::AlignRight,
                         QStringLiteral("Sorvane"));

        // The line shrinks down to 12 before it is cut short.
        const double room = width() - 2 * padX - gap - tagW;
        const auto runs = sampleRuns();
        double size = lineSize;
        auto lineWidth = [&](double px) {
            double w = 0;
            for (const Run& run : runs) w += QFontMetricsF(settingsFont(px)).horizontalAdvance(run.text);
            return w;
        };
        while (size > smallestLine && lineWidth(size) > room) size -= 0.5;
        const QFont font = settingsFont(size);
        const QFontMetricsF metrics(font);
        painter.setFont(font);
        painter.setClipRect(QRectF(padX, 0, std::max(0.0, room), height()));
        const double baseline = midY + (metrics.ascent() - metrics.descent()) / 2;
        double x = padX;
        const double ellipsis = metrics.horizontalAdvance(QStringLiteral("…"));
        for (const Run& run : runs) {
            const double w = metrics.horizontalAdvance(run.text);
            painter.setPen(run.color);
            if (x + w <= padX + room) {
                painter.drawText(QPointF(x, baseline), run.text);
                x += w;
                continue;
            }
            const QString cut = metrics.elidedText(run.text + QStringLiteral("…"), Qt::ElideRight,
                                                   std::max(ellipsis, padX + room - x));
            painter.drawText(QPointF(x, baseline), cut);
            break;
        }
    }

private:
    static double tagWidth() {
        return QFontMetricsF(settingsFont(10, QFont::DemiBold)).horizontalAdvance(QStringLiteral("Sorvane"));
    }
};

}  // namespace

MockSuggestionPanel::MockSuggestionPanel(AcceptKeys acceptKeys, const std::optional<QString>& typed,
                                         QWidget* parent)
    : QWidget(parent), acceptKeys_(acceptKeys), panel_(new PanelPicture) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(20);
    if (typed) {
        QFont font = settingsFont(17);
        font.setUnderline(true);
        column->addWidget(new SettingsText(*typed, font));
    }
    column->addWidget(panel_);
}

}  // namespace sorvane
