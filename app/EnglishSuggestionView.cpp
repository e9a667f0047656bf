#include "app/EnglishSuggestionView.h"

#include <QHideEvent>
#include <algorithm>

#include "app/EnglishSuggestionLine.h"

namespace sorvane {

EnglishSuggestionView::EnglishSuggestionView(const TextMetrics& metrics, MainQueue& queue, QWidget* parent)
    : QWidget(parent),
      metrics_(metrics),
      animation_(
          queue, [this] { return stillWaiting(); }, [this] { update(); }) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void EnglishSuggestionView::setModel(EnglishPanelModel model) {
    model_ = std::move(model);
    update();
}

bool EnglishSuggestionView::stillWaiting() const {
    if (!model_ || model_->phase().kind() != EnglishPanelPhase::Kind::requesting) return false;
    // Dots nobody can see are not worth a timer.
    if (!isWindow() && !window()->isVisible()) return false;
    return true;
}

Size EnglishSuggestionView::desiredContentSize() const {
    return EnglishSuggestionLine::desiredSize(EnglishSuggestionLine::build(model_, animationStep()),
                                              metrics_);
}

void EnglishSuggestionView::paintEvent(QPaintEvent*) {
    const auto runs = EnglishSuggestionLine::build(model_, animationStep());
    const double lineHeight = EnglishSuggestionLine::height(runs, width(), metrics_);
    const double y = std::max(0.0, (height() - lineHeight) * 0.5);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    layoutRuns(runs, width(), &PanelPalette::current())->draw(&painter, QPointF(0, y));
}

// Taken out of the panel (hidden itself, not merely with its window): the
// dots stop and start from the first again next time.
void EnglishSuggestionView::hideEvent(QHideEvent* event) {
    if (isHidden()) animation_.stop();
    QWidget::hideEvent(event);
}

}  // namespace sorvane
