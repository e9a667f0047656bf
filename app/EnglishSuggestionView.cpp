#include "app/EnglishSuggestionView.h"

#include <QHideEvent>
#include <algorithm>
#include <cmath>

#include "app/EnglishSuggestionLine.h"

namespace sorvane {

// Sizes come from Qt's own layout of the line, the one that is drawn.
EnglishSuggestionView::EnglishSuggestionView(const TextMetrics&, MainQueue& queue, QWidget* parent)
    : QWidget(parent),
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

const EnglishSuggestionView::Prepared& EnglishSuggestionView::prepare(std::vector<StyledRun> runs,
                                                                        double width) const {
    const PanelPalette& palette = PanelPalette::current();
    Prepared prepared;
    prepared.layout = layoutRuns(runs, width, &palette);
    prepared.lines = linesOf(*prepared.layout);
    prepared.runs = std::move(runs);
    prepared.palette = &palette;
    prepared_ = std::move(prepared);
    return *prepared_;
}

Size EnglishSuggestionView::desiredContentSize() const {
    const Prepared& prepared =
        prepare(EnglishSuggestionLine::build(model_, animationStep()), EnglishSuggestionLine::maximumWidth);
    return EnglishSuggestionLine::desiredSize(prepared.lines.size, prepared.lines.wrapped);
}

void EnglishSuggestionView::paintEvent(QPaintEvent*) {
    auto runs = EnglishSuggestionLine::build(model_, animationStep());
    // Lines that fit the maximum width unwrapped fit any width from their
    // widest up, so the size's layout is the drawing's as well.
    const double w = width();
    const bool reusable = prepared_ && prepared_->palette == &PanelPalette::current() && prepared_->runs == runs &&
                          (prepared_->lines.wrapped ? w == EnglishSuggestionLine::maximumWidth
                                                    : w >= std::ceil(prepared_->lines.size.width) &&
                                                          w <= EnglishSuggestionLine::maximumWidth);
    const Prepared& line = reusable ? *prepared_ : prepare(std::move(runs), w);
    const double lineHeight = std::ceil(line.lines.size.height);
    const double y = std::max(0.0, (height() - lineHeight) * 0.5);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    line.layout->draw(&painter, QPointF(0, y));
}

// Taken out of the panel (hidden itself, not merely with its window): the
// dots stop and start from the first again next time.
void EnglishSuggestionView::hideEvent(QHideEvent* event) {
    if (isHidden()) animation_.stop();
    QWidget::hideEvent(event);
}

}  // namespace sorvane
