#include "app/CandidateView.h"

#include <QPainterPath>

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
    layoutActive();
    QWidget::update();
}

void CandidateView::layoutActive() {
    QWidget* view = activeWidget();
    if (!view) return;
    const Size size = active_->desiredContentSize();
    view->setGeometry(int(hInset), int(vInset), int(std::ceil(size.width)), int(std::ceil(size.height)));
}

void CandidateView::paintEvent(QPaintEvent*) {
    const PanelPalette& palette = PanelPalette::current();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius, kCornerRadius);
    painter.fillPath(path, palette.color({ColorRole::windowBackground, kBackgroundAlpha}));
    painter.setPen(QPen(palette.color(ColorRole::separator), 1));
    painter.drawPath(path);

    const TextStyle style = badgeStyle();
    const Size badge = metrics_.measure(badgeText, style.font);
    drawText(painter, badgeText, style, palette, width() - kBadgeRightInset - badge.width,
             height() - kBadgeBottomInset - badge.height);
}

}  // namespace sorvane
