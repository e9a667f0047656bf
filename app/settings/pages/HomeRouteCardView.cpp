#include "app/settings/pages/HomeRouteCardView.h"

#include <QAbstractButton>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/settings/blocks/SettingsButton.h"
#include "app/settings/style/SettingsSymbols.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

constexpr double dimmedSaturation = 0.28;
constexpr double dimmedBrightness = -0.02;
constexpr double dimmedOpacity = 0.92;

QColor white(double alpha) {
    return QColor::fromRgbF(1, 1, 1, alpha);
}

// Saturation and brightness as the card's emphasis sets them.
QColor emphasised(QColor color, bool dimmed) {
    if (!dimmed) return color;
    const double r = color.redF(), g = color.greenF(), b = color.blueF();
    // Mix towards the colour's luminance, as a saturation filter does.
    const double luma = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    auto channel = [&](double c) {
        return std::clamp(luma + (c - luma) * dimmedSaturation + dimmedBrightness, 0.0, 1.0);
    };
    return QColor::fromRgbF(channel(r), channel(g), channel(b), color.alphaF());
}

// A capsule with a symbol and a title: the header's route pill and the
// "使用中" label share the font; only the pill has a fill.
class HeaderLabel final : public QWidget {
public:
    HeaderLabel(QString title, QString symbol, QColor color, bool capsule, QWidget* parent = nullptr)
        : QWidget(parent),
          title_(std::move(title)),
          symbol_(std::move(symbol)),
          color_(color),
          capsule_(capsule) {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override {
        const QFontMetrics metrics(font11());
        const int pad = capsule_ ? 10 : 0;
        const int padY = capsule_ ? 7 : 0;
        return QSize(pad + metrics.height() + 5 + metrics.horizontalAdvance(title_) + pad,
                     padY + metrics.height() + padY);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame(rect());
        if (capsule_) {
            QPainterPath path;
            path.addRoundedRect(frame, frame.height() / 2, frame.height() / 2);
            painter.fillPath(path, white(0.16));
        }
        const QFontMetrics metrics(font11());
        const double x = capsule_ ? 10 : 0;
        const double h = metrics.height();
        SettingsSymbols::draw(painter, symbol_, QRectF(x, (frame.height() - h) / 2, h, h), color_);
        painter.setFont(font11());
        painter.setPen(color_);
        painter.drawText(QRectF(x + h + 5, 0, frame.width() - x - h - 5, frame.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, title_);
    }

private:
    static QFont font11() { return settingsFont(11, QFont::DemiBold); }
    QString title_;
    QString symbol_;
    QColor color_;
    bool capsule_;
};

// The header's switch: 11 semibold on a capsule of white at 0.22.
class SwitchButton final : public QAbstractButton {
public:
    explicit SwitchButton(const QString& text, QWidget* parent = nullptr) : QAbstractButton(parent) {
        setText(text);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override {
        const QFontMetrics metrics(settingsFont(11, QFont::DemiBold));
        return QSize(10 + metrics.horizontalAdvance(text()) + 10, 6 + metrics.height() + 6);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        const QRectF frame(rect());
        path.addRoundedRect(frame, frame.height() / 2, frame.height() / 2);
        painter.fillPath(path, white(isDown() ? 0.32 : 0.22));
        painter.setFont(settingsFont(11, QFont::DemiBold));
        painter.setPen(Qt::white);
        painter.drawText(frame, Qt::AlignCenter, text());
    }
};

SettingsText* whiteText(const QString& text, const QFont& font, double alpha, QWidget* parent) {
    auto* label = new SettingsText(text, font, SettingsText::Tone::fixed, parent);
    label->setColor(white(alpha));
    return label;
}

}  // namespace

HomeRouteCardView::HomeRouteCardView(const HomeRouteCard& card, Actions actions, QWidget* parent)
    : QWidget(parent), card_(card) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(new HeaderLabel(QString::fromStdString(card.title), QString::fromStdString(card.symbol),
                                      Qt::white, true, this),
                      0, Qt::AlignVCenter);
    header->addStretch(1);
    if (card.showsInUse()) {
        header->addWidget(new HeaderLabel("使用中", "checkmark.circle.fill", white(0.9), false, this), 0,
                          Qt::AlignVCenter);
    } else if (card.showsSwitch()) {
        switch_ = new SwitchButton(QString::fromStdString(card.switchTitle), this);
        connect(switch_, &QAbstractButton::clicked, this, [select = actions.select] {
            if (select) select();
        });
        header->addWidget(switch_, 0, Qt::AlignVCenter);
    }
    column->addLayout(header);

    if (card.headline) {
        const bool maskedKey = card.route == MacBillingState::Source::ownKey;
        auto* headline = whiteText(QString::fromStdString(*card.headline),
                                   settingsFont(maskedKey ? 27 : 20, QFont::DemiBold, maskedKey), 1.0, this);
        headline->setMinimumScale(0.5);
        headline->setContentsMargins(0, 2, 0, 0);
        column->addWidget(headline);
    }
    auto* status = whiteText(QString::fromStdString(card.status), settingsFont(12), 0.85, this);
    status->setWraps(true);
    column->addWidget(status);

    if (card.buttonTitle) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        auto* button = new SettingsButton(QString::fromStdString(*card.buttonTitle),
                                          SettingsActionStyle{Qt::white, SettingsTheme::violet()}, this);
        connect(button, &QAbstractButton::clicked, this, [press = actions.button] {
            if (press) press();
        });
        button_ = button;
        row->addWidget(button);
        column->addLayout(row);
    }
    column->addStretch(1);

    if (card.dimmed) {
        auto* fade = new QGraphicsOpacityEffect(this);
        fade->setOpacity(dimmedOpacity);
        setGraphicsEffect(fade);
    } else {
        auto* shadow = new QGraphicsDropShadowEffect(this);
        shadow->setBlurRadius(12);
        shadow->setOffset(0, 5);
        shadow->setColor(QColor::fromRgbF(0, 0, 0, 0.16));
        setGraphicsEffect(shadow);
    }
}

void HomeRouteCardView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(rect());
    QPainterPath shape;
    shape.addRoundedRect(frame, cornerRadius, cornerRadius);
    const bool dimmed = card_.dimmed;
    if (card_.route == MacBillingState::Source::credits) {
        painter.fillPath(shape, emphasised(SettingsTheme::blue(), dimmed));
    } else {
        QLinearGradient fill(frame.topLeft(), frame.bottomRight());
        fill.setColorAt(0, emphasised(QColor::fromRgbF(0.24, 0.22, 0.60), dimmed));
        fill.setColorAt(1, emphasised(QColor::fromRgbF(0.36, 0.26, 0.78), dimmed));
        painter.fillPath(shape, fill);
    }
    QRadialGradient glow(frame.topLeft(), glowRadius);
    glow.setColorAt(0, white(card_.glowOpacity));
    glow.setColorAt(1, white(0));
    painter.fillPath(shape, glow);
}

}  // namespace sorvane
