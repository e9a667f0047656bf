#include "app/panels/ChineseCandidateView.h"

#include <QPainterPath>

namespace sorvane {

namespace {

constexpr double kHighlightRadius = 4;
constexpr double kFocusedRowAlpha = 0.14;

QRectF qrect(const Rect& r) {
    return QRectF(r.x, r.y, r.width, r.height);
}

void drawPiece(QPainter& painter, const LayoutPiece& piece, const PanelPalette& palette) {
    drawText(painter, piece.text, piece.style, palette, piece.rect.x, piece.rect.y);
}

void fillRounded(QPainter& painter, const Rect& rect, const QColor& color) {
    QPainterPath path;
    path.addRoundedRect(qrect(rect), kHighlightRadius, kHighlightRadius);
    painter.fillPath(path, color);
}

}  // namespace

ChineseCandidateView::ChineseCandidateView(const TextMetrics& metrics, QWidget* parent)
    : QWidget(parent), metrics_(metrics) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void ChineseCandidateView::setModel(ChinesePanelModel model) {
    // A key that leaves the page as it was (Shift, a page turn at the end)
    // changes nothing on screen.
    if (model_ == model) return;
    model_ = std::move(model);
    pageLayout_.reset();
    update();
}

const ChineseCandidateLayout& ChineseCandidateView::pageLayout() const {
    if (!pageLayout_) pageLayout_ = layoutChineseCandidates(model_, metrics_);
    return *pageLayout_;
}

Size ChineseCandidateView::desiredContentSize() const {
    return pageLayout().size;
}

void ChineseCandidateView::paintLayout(QPainter& painter, const ChineseCandidateLayout& layout,
                                       const PanelPalette& palette) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (layout.preedit) drawPiece(painter, *layout.preedit, palette);
    if (layout.focusedRowRect) {
        fillRounded(painter, *layout.focusedRowRect,
                    palette.color({ColorRole::selectedContentBackground, kFocusedRowAlpha}));
    }
    for (const LayoutItem& item : layout.items) {
        if (item.isHighlighted) {
            fillRounded(painter, item.highlightRect, palette.color(ColorRole::selectedContentBackground));
        }
        for (const LayoutPiece& piece : item.pieces) drawPiece(painter, piece, palette);
    }
    if (layout.previous) drawPiece(painter, *layout.previous, palette);
    if (layout.next) drawPiece(painter, *layout.next, palette);
}

void ChineseCandidateView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintLayout(painter, pageLayout(), PanelPalette::current());
}

}  // namespace sorvane
