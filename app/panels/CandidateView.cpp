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

const CandidateView::Chrome& CandidateView::chrome(qreal ratio) {
    const PanelPalette& palette = PanelPalette::current();
    if (chrome_.palette == &palette && chrome_.ratio == ratio) return chrome_;
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
    Chrome c{std::move(tile), corner, {}, {}, {}, {}, {}, &palette, ratio};
    for (int i = 0; i < corner; ++i) {
        c.top.push_back(c.tile.pixelColor(corner, i));
        c.bottom.push_back(c.tile.pixelColor(corner, 2 * corner - i));
        c.left.push_back(c.tile.pixelColor(i, corner));
        c.right.push_back(c.tile.pixelColor(2 * corner - i, corner));
    }
    c.inside = c.tile.pixelColor(corner, corner);
    chrome_ = std::move(c);
    return chrome_;
}

void CandidateView::paintChrome(QPainter& painter) {
    // Pixels per point of what is painted on: the window's backing store, or
    // an image the view is rendered into.
    const Chrome& c = chrome(std::max<qreal>(1, painter.deviceTransform().m11()));
    const QImage& tile = c.tile;
    const int k = c.corner;
    // In device pixels, written as they are (the window was cleared to
    // transparent): copies and solid fills, never blended.
    painter.save();
    painter.resetTransform();
    painter.scale(1 / c.ratio, 1 / c.ratio);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const int w = static_cast<int>(std::lround(width() * c.ratio));
    const int h = static_cast<int>(std::lround(height() * c.ratio));
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
    for (int i = 0; i < k; ++i) {
        painter.fillRect(QRect(k, i, right - k, 1), c.top[i]);
        painter.fillRect(QRect(k, h - 1 - i, right - k, 1), c.bottom[i]);
        painter.fillRect(QRect(i, k, 1, bottom - k), c.left[i]);
        painter.fillRect(QRect(w - 1 - i, k, 1, bottom - k), c.right[i]);
    }
    painter.fillRect(QRect(k, k, right - k, bottom - k), c.inside);
    painter.restore();
}

void CandidateView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintChrome(painter);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Size badge = badgeSize();
    drawText(painter, badgeText, badgeStyle(), PanelPalette::current(), width() - kBadgeRightInset - badge.width,
             height() - kBadgeBottomInset - badge.height);
}

Size CandidateView::badgeSize() const {
    if (!badge_) badge_ = metrics_.measure(badgeText, badgeStyle().font);
    return *badge_;
}

}  // namespace sorvane
