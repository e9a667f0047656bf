#include "app/panels/EnglishSuggestionView.h"

#include <QHideEvent>
#include <QPaintEvent>
#include <algorithm>
#include <cmath>

#include "app/panels/EnglishSuggestionLine.h"

namespace sorvane {

// Sizes come from Qt's own layout of the line, the one that is drawn.
EnglishSuggestionView::EnglishSuggestionView(const TextMetrics&, MainQueue& queue, QWidget* parent)
    : QWidget(parent),
      animation_(
          queue, [this] { return stillWaiting(); }, [this] { relayout(); }) {
    setAttribute(Qt::WA_TranslucentBackground);
    relayout();
}

void EnglishSuggestionView::setModel(EnglishPanelModel model) {
    model_ = std::move(model);
    relayout();
}

bool EnglishSuggestionView::stillWaiting() const {
    if (!model_ || model_->phase().kind() != EnglishPanelPhase::Kind::requesting) return false;
    // Dots nobody can see are not worth a timer.
    if (!isWindow() && !window()->isVisible()) return false;
    return true;
}

double EnglishSuggestionView::lineTop(double viewHeight) const {
    return std::max(0.0, (viewHeight - std::ceil(line_.lines().size.height)) * 0.5);
}

void EnglishSuggestionView::relayout() {
    const double topBefore = lineTop(height());
    const auto changedFrom = line_.set(EnglishSuggestionLine::build(model_, animationStep()),
                                       EnglishSuggestionLine::maximumWidth, &PanelPalette::current());
    if (!changedFrom) return;
    const double top = lineTop(height());
    if (top != topBefore) {
        update();
        return;
    }
    // Only the lines from the first one laid out anew down; a view whose
    // size changes with them is drawn whole anyway.
    const int from = static_cast<int>(std::floor(top + *changedFrom));
    update(QRect(0, from, width(), std::max(0, height() - from)));
}

Size EnglishSuggestionView::desiredContentSize() const {
    return EnglishSuggestionLine::desiredSize(line_.lines().size, line_.lines().wrapped);
}

void EnglishSuggestionView::paintEvent(QPaintEvent* event) {
    // The lit dot may have gone back to the first when the view was hidden,
    // and the palette may have changed since the last update.
    auto runs = EnglishSuggestionLine::build(model_, animationStep());
    const PanelPalette* palette = &PanelPalette::current();
    if (line_.palette() != palette || line_.runs() != runs)
        line_.set(runs, EnglishSuggestionLine::maximumWidth, palette);
    // Lines that fit the maximum width unwrapped fit any width from their
    // widest up, so the size's layout is the drawing's as well.
    const double w = width();
    const LaidOutLines& lines = line_.lines();
    const bool fits = lines.wrapped
                          ? w == EnglishSuggestionLine::maximumWidth
                          : w >= std::ceil(lines.size.width) && w <= EnglishSuggestionLine::maximumWidth;
    const WrappedParagraph* drawn = &line_;
    if (!fits) {
        atOtherWidth_.set(runs, w, palette);
        drawn = &atOtherWidth_;
    }
    const double lineHeight = std::ceil(drawn->lines().size.height);
    const double y = std::max(0.0, (height() - lineHeight) * 0.5);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    drawn->draw(painter, QPointF(0, y), QRectF(event->rect()));
}

// Taken out of the panel (hidden itself, not merely with its window): the
// dots stop and start from the first again next time.
void EnglishSuggestionView::hideEvent(QHideEvent* event) {
    if (isHidden()) animation_.stop();
    QWidget::hideEvent(event);
}

}  // namespace sorvane
