#include "app/settings/blocks/SettingsLinkRow.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "app/settings/style/IconTile.h"
#include "app/settings/style/SettingsSymbols.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

constexpr double tileSide = 30;
constexpr double badgeSide = 12;
constexpr double badgeShift = 2;

// The row's icon: a plain tile, or for the composite name the keyboard tile
// with the check-mark badge over its bottom-trailing corner. The badge hangs
// 2 past the tile, so the icon widget leaves room for it without moving the
// titles.
class RowIcon final : public QWidget {
public:
    RowIcon(QString symbol, std::function<QColor()> color)
        : symbol_(std::move(symbol)), color_(std::move(color)) {
        const bool composite = symbol_ == QLatin1String(SettingsLinkRow::compositeSymbol);
        setFixedSize(tileSide + (composite ? badgeShift : 0), tileSide + (composite ? badgeShift : 0));
    }
    void setColor(std::function<QColor()> color) {
        color_ = std::move(color);
        update();
    }
    QSize sizeHint() const override { return QSize(tileSide, tileSide); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF tile(0, 0, tileSide, tileSide);
        const QColor color = color_();
        if (symbol_ != QLatin1String(SettingsLinkRow::compositeSymbol)) {
            IconTile::paint(painter, tile, symbol_, color);
            return;
        }
        IconTile::paint(painter, tile, QStringLiteral("keyboard"), color);
        const QRectF badge(tileSide - badgeSide + badgeShift, tileSide - badgeSide + badgeShift, badgeSide,
                           badgeSide);
        SettingsSymbols::drawPalette(painter, QStringLiteral("checkmark.circle.fill"), badge, Qt::white,
                                     color);
    }

private:
    QString symbol_;
    std::function<QColor()> color_;
};

// The chevron of a row with an action: 10 semibold, tertiary.
class Chevron final : public QWidget {
public:
    Chevron() { setFixedSize(10, 12); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        SettingsSymbols::draw(painter, QStringLiteral("chevron.right"), QRectF(rect()),
                              SettingsTheme::tertiaryLabel());
    }
};

}  // namespace

SettingsLinkRow::SettingsLinkRow(QString symbol, std::function<QColor()> color, QString title,
                                 std::optional<QString> subtitle, std::optional<QString> value,
                                 std::function<void()> action, QWidget* parent)
    : QWidget(parent),
      fields_{std::move(symbol),   std::move(color), std::move(title),
              std::move(subtitle), std::move(value), std::move(action)},
      icon_(new RowIcon(fields_.symbol, fields_.color)),
      subtitle_(new SettingsText(fields_.subtitle.value_or(QString()), settingsFont(11),
                                 SettingsText::Tone::secondary)),
      value_(new SettingsText(fields_.value.value_or(QString()), settingsFont(11),
                              SettingsText::Tone::secondary)) {
    setMinimumHeight(minimumRowHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    subtitle_->setWraps(true);
    subtitle_->setVisible(fields_.subtitle.has_value());
    value_->setVisible(fields_.value.has_value());

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(12);
    row->addWidget(icon_, 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(5);
    texts->addWidget(new SettingsText(fields_.title, settingsFont(13, QFont::Medium)));
    texts->addWidget(subtitle_);
    row->addLayout(texts, 1);
    row->addSpacing(8);
    row->addWidget(value_, 0, Qt::AlignVCenter);
    if (isClickable()) {
        row->addWidget(new Chevron, 0, Qt::AlignVCenter);
        setCursor(Qt::PointingHandCursor);
    }
}

void SettingsLinkRow::setSubtitle(const std::optional<QString>& subtitle) {
    fields_.subtitle = subtitle;
    subtitle_->setText(subtitle.value_or(QString()));
    subtitle_->setVisible(subtitle.has_value());
}

void SettingsLinkRow::setValue(const std::optional<QString>& value) {
    fields_.value = value;
    value_->setText(value.value_or(QString()));
    value_->setVisible(value.has_value());
}

void SettingsLinkRow::setColor(std::function<QColor()> color) {
    fields_.color = color;
    static_cast<RowIcon*>(icon_)->setColor(std::move(color));
}

void SettingsLinkRow::mousePressEvent(QMouseEvent* event) {
    pressed_ = isClickable() && event->button() == Qt::LeftButton;
}

void SettingsLinkRow::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click) fields_.action();
}

}  // namespace sorvane
