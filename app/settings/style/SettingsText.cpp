#include "app/settings/style/SettingsText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

constexpr int wrapFlags = Qt::TextWordWrap;
// A wrapping paragraph asks for no more than this width by itself; the page
// column gives it what it has.
constexpr double preferredWrapWidth = 420;

int ceilInt(double v) {
    return static_cast<int>(std::ceil(v));
}

}  // namespace

SettingsText::SettingsText(const QString& text, const QFont& font, Tone tone, QWidget* parent)
    : QWidget(parent), text_(text), font_(font), tone_(tone) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void SettingsText::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    changedShape();
}

void SettingsText::setTone(Tone tone) {
    tone_ = tone;
    update();
}

void SettingsText::setColor(const QColor& color) {
    tone_ = Tone::fixed;
    color_ = color;
    update();
}

QColor SettingsText::color() const {
    switch (tone_) {
        case Tone::primary:
            return SettingsTheme::label();
        case Tone::secondary:
            return SettingsTheme::secondaryLabel();
        case Tone::tertiary:
            return SettingsTheme::tertiaryLabel();
        case Tone::accent:
            return SettingsTheme::blue();
        case Tone::warning:
            return SettingsTheme::systemOrange();
        case Tone::fixed:
            return color_;
    }
    return color_;
}

void SettingsText::setTextFont(const QFont& font) {
    font_ = font;
    changedShape();
}

void SettingsText::setWraps(bool wraps) {
    wraps_ = wraps;
    // Not fixed vertically: a fixed policy caps the height at the size hint,
    // which holds one line, however many the width needs.
    QSizePolicy policy(QSizePolicy::Preferred, wraps ? QSizePolicy::Preferred : QSizePolicy::Fixed);
    policy.setHeightForWidth(wraps);
    setSizePolicy(policy);
    changedShape();
}

void SettingsText::setMinimumScale(double scale) {
    minimumScale_ = std::clamp(scale, 0.1, 1.0);
    QSizePolicy policy = sizePolicy();
    policy.setHorizontalPolicy(scale < 1.0 ? QSizePolicy::Ignored : QSizePolicy::Preferred);
    setSizePolicy(policy);
    changedShape();
}

void SettingsText::setAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

void SettingsText::changedShape() {
    updateGeometry();
    update();
}

QSize SettingsText::sizeHint() const {
    const QFontMetricsF metrics(font_);
    const double natural = metrics.horizontalAdvance(text_);
    if (!wraps_) return QSize(ceilInt(natural), ceilInt(metrics.height()));
    const int width = ceilInt(std::min(natural, preferredWrapWidth));
    return QSize(width, heightForWidth(width));
}

QSize SettingsText::minimumSizeHint() const {
    const QFontMetricsF metrics(font_);
    if (wraps_ || minimumScale_ < 1.0) return QSize(0, ceilInt(metrics.height()));
    return sizeHint();
}

int SettingsText::heightForWidth(int width) const {
    const QFontMetricsF metrics(font_);
    if (!wraps_ || text_.isEmpty()) return ceilInt(metrics.height());
    const QRectF bounds = metrics.boundingRect(QRectF(0, 0, std::max(1, width), 1e6), wrapFlags, text_);
    return ceilInt(bounds.height());
}

void SettingsText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(color());
    if (wraps_) {
        painter.setFont(font_);
        const int horizontal = static_cast<int>(alignment_ & Qt::AlignHorizontal_Mask);
        painter.drawText(rect(), horizontal | Qt::AlignTop | wrapFlags, text_);
        return;
    }
    QFont font = font_;
    const double natural = QFontMetricsF(font).horizontalAdvance(text_);
    if (natural > width() && minimumScale_ < 1.0) {
        const double scale = std::max(minimumScale_, width() / natural);
        font.setPixelSize(std::max(1, static_cast<int>(std::floor(font_.pixelSize() * scale))));
    }
    painter.setFont(font);
    const QString shown = QFontMetricsF(font).elidedText(text_, Qt::ElideRight, width());
    painter.drawText(rect(), static_cast<int>(alignment_), shown);
}

}  // namespace sorvane
