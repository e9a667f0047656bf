#include "app/panels/CandidateView.h"

#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace sorvane {

namespace {
constexpr double kCornerRadius = 7;
constexpr double kBackgroundAlpha = 0.98;
constexpr double kBadgeRightInset = 5;
constexpr double kBadgeBottomInset = 3.5;

// Edges as long as `length`, from the tile's middle column (`vertical`
// false: rows) or middle row: the first `corner` lines are the top or left
// edge, the next `corner` the bottom or right one. Pixels are copied as they
// are, so the edges match the corners exactly.
QImage edges(const QImage& tile, int corner, int length, bool vertical) {
    const int lines = 2 * corner;
    QImage image = vertical ? QImage(lines, length, tile.format()) : QImage(length, lines, tile.format());
    for (int line = 0; line < lines; ++line) {
        // Line i of the near edge is tile line i; of the far edge, i past the middle.
        const int from = line < corner ? line : line + 1;
        const int x = vertical ? from : corner;
        const int y = vertical ? corner : from;
        const QRgb pixel = reinterpret_cast<const QRgb*>(tile.constScanLine(y))[x];
        if (vertical) {
            for (int row = 0; row < length; ++row) reinterpret_cast<QRgb*>(image.scanLine(row))[line] = pixel;
        } else {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(line));
            std::fill(row, row + length, pixel);
        }
    }
    return image;
}

// Edge images grow in steps, so a panel that widens key by key does not
// rebuild them every time.
int edgeLength(int needed) {
    constexpr int step = 512;
    return (needed + step - 1) / step * step;
}

}  // namespace

CandidateView::CandidateView(const TextMetrics& metrics, MainQueue& queue, QWidget* parent)
    : QWidget(parent),
      chineseView_(new ChineseCandidateView(metrics, this)),
      englishView_(new EnglishSuggestionView(metrics, queue, this)),
      metrics_(metrics) {
    setAttribute(Qt::WA_TranslucentBackground);
    chineseView_->hide();
    englishView_->hide();
}

TextStyle CandidateView::badgeStyle() {
    return {{9, FontWeight::medium}, {ColorRole::tertiaryLabel}};
}

QWidget* CandidateView::activeWidget() const {
    if (active_ == chineseView_) return chineseView_;
    if (active_ == englishView_) return englishView_;
    return nullptr;
}

void CandidateView::update(const PanelContent& content) {
    QWidget* next = nullptr;
    if (const ChinesePanelModel* model = content.chineseModel()) {
        chineseView_->setModel(*model);
        next = chineseView_;
    } else if (const EnglishPanelModel* model = content.englishModel()) {
        englishView_->setModel(*model);
        if (model->phase().kind() == EnglishPanelPhase::Kind::requesting) {
            englishView_->startWaitingAnimation();
        } else {
            englishView_->stopWaitingAnimation();
        }
        next = englishView_;
    }
    if (next && next != activeWidget()) {
        if (QWidget* previous = activeWidget()) previous->hide();
        next->show();
        active_ = next == chineseView_ ? static_cast<PanelContentView*>(chineseView_) : englishView_;
    }
    // The content views ask for what changed in them; the background and the
    // badge change only with the size, which repaints the window anyway, or
    // with the palette.
    if (chrome_.palette != &PanelPalette::current()) QWidget::update();
}

void CandidateView::placeActive(Size contentSize) {
    QWidget* view = activeWidget();
    if (!view) return;
    view->setGeometry(int(hInset), int(vInset), int(std::ceil(contentSize.width)),
                      int(std::ceil(contentSize.height)));
}

const CandidateView::Chrome& CandidateView::chrome(qreal ratio, int length, int height) {
    const PanelPalette& palette = PanelPalette::current();
    if (chrome_.palette == &palette && chrome_.ratio == ratio) {
        if (chrome_.rows.width() < length)
            chrome_.rows = edges(chrome_.tile, chrome_.corner, edgeLength(length), false);
        if (chrome_.columns.height() < height)
            chrome_.columns = edges(chrome_.tile, chrome_.corner, edgeLength(height), true);
        return chrome_;
    }
    // One pixel past the corner's curve reaches the straight part.
    const int corner = static_cast<int>(std::ceil((kCornerRadius + 1) * ratio));
    const int side = 2 * corner + 1;
    QImage tile(side, side, QImage::Format_ARGB32_Premultiplied);
    tile.fill(Qt::transparent);
    {
        QPainter painter(&tile);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(ratio, ratio);
        QPainterPath path;
        path.addRoundedRect(QRectF(0, 0, side / ratio, side / ratio).adjusted(0.5, 0.5, -0.5, -0.5),
                            kCornerRadius, kCornerRadius);
        painter.fillPath(path, palette.color({ColorRole::windowBackground, kBackgroundAlpha}));
        painter.setPen(QPen(palette.color(ColorRole::separator), 1));
        painter.drawPath(path);
    }
    QImage rows = edges(tile, corner, edgeLength(length), false);
    QImage columns = edges(tile, corner, edgeLength(height), true);
    const QColor inside = tile.pixelColor(corner, corner);
    chrome_ = Chrome{std::move(tile), corner, std::move(rows), std::move(columns), inside, &palette, ratio};
    return chrome_;
}

void CandidateView::paintChrome(QPainter& painter) {
    // Pixels per point of what is painted on: the window's backing store, or
    // an image the view is rendered into.
    const qreal ratio = std::max<qreal>(1, painter.deviceTransform().m11());
    const int w = static_cast<int>(std::lround(width() * ratio));
    const int h = static_cast<int>(std::lround(height() * ratio));
    const Chrome& c = chrome(ratio, w, h);
    const QImage& tile = c.tile;
    const int k = c.corner;
    // In device pixels, written as they are (the window was cleared to
    // transparent): copies and solid fills, never blended.
    painter.save();
    painter.resetTransform();
    painter.scale(1 / c.ratio, 1 / c.ratio);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (w < 2 * k + 1 || h < 2 * k + 1) {
        painter.drawImage(QRect(0, 0, w, h), tile);
        painter.restore();
        return;
    }
    const int right = w - k;
    const int bottom = h - k;
    painter.drawImage(QPoint(0, 0), tile, QRect(0, 0, k, k));
    painter.drawImage(QPoint(right, 0), tile, QRect(k + 1, 0, k, k));
    painter.drawImage(QPoint(0, bottom), tile, QRect(0, k + 1, k, k));
    painter.drawImage(QPoint(right, bottom), tile, QRect(k + 1, k + 1, k, k));
    painter.drawImage(QPoint(k, 0), c.rows, QRect(0, 0, right - k, k));
    painter.drawImage(QPoint(k, bottom), c.rows, QRect(0, k, right - k, k));
    painter.drawImage(QPoint(0, k), c.columns, QRect(0, 0, k, bottom - k));
    painter.drawImage(QPoint(right, k), c.columns, QRect(k, 0, k, bottom - k));
    painter.fillRect(QRect(k, k, right - k, bottom - k), c.inside);
    painter.restore();
}

void CandidateView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintChrome(painter);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Size badge = badgeSize();
    drawText(painter, badgeText, badgeStyle(), PanelPalette::current(),
             width() - kBadgeRightInset - badge.width, height() - kBadgeBottomInset - badge.height);
}

Size CandidateView::badgeSize() const {
    if (!badge_) badge_ = metrics_.measure(badgeText, badgeStyle().font);
    return *badge_;
}

}  // namespace sorvane
