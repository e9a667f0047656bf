#include "app/panels/CandidatePanel.h"

#include <QGuiApplication>
#include <cmath>

#include "app/panels/QtScreens.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane {

void makeFloatingPanel(QWidget& window) {
    window.setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput);
    window.setAttribute(Qt::WA_ShowWithoutActivating);
    window.setAttribute(Qt::WA_TranslucentBackground);
    window.setAttribute(Qt::WA_TransparentForMouseEvents);
    window.setAttribute(Qt::WA_X11DoNotAcceptFocus);
    window.setFocusPolicy(Qt::NoFocus);
}

void orderFront(QWidget& window) {
    if (!window.isVisible()) {
        window.show();  // a newly shown window is already in front
        return;
    }
    // The offscreen platform has no stacking order and complains at every raise.
    static const bool stacking = QGuiApplication::platformName() != QLatin1String("offscreen");
    if (stacking) window.raise();
}

CandidatePanel& CandidatePanel::shared() {
    static CandidatePanel* panel =
        new CandidatePanel({QtMainQueue::shared(), QtScreenProvider::shared(), QtTextMetrics::shared()});
    return *panel;
}

CandidatePanel::CandidatePanel(Services services)
    : services_(services), window_(std::make_unique<QWidget>()) {
    makeFloatingPanel(*window_);
    window_->setObjectName(QStringLiteral("SorvaneCandidatePanel"));
    candidateView_ = new CandidateView(services_.metrics, services_.queue, window_.get());
    window_->resize(180, 56);
    candidateView_->resize(window_->size());
}

CandidatePanel::~CandidatePanel() = default;

void CandidatePanel::show(const PanelContent& content, Rect caretRect) {
    candidateView_->update(content);

    // The one measurement of this update; the other is the drawing's.
    Size before = emptyContentFrame;
    Size measured{};
    if (const PanelContentView* active = candidateView_->active()) {
        measured = active->desiredContentSize();
        before = {measured.width + 2 * CandidateView::hInset + CandidateView::badgeGap,
                  measured.height + 2 * CandidateView::vInset};
    }
    // Windows have whole-pixel sizes; the badge is the one fractional width.
    const double badge = std::ceil(candidateView_->badgeSize().width);
    const Size panel{std::ceil(before.width + badge), std::ceil(before.height)};

    const Rect caret = PanelGeometry::caretOrMouse(caretRect, services_.screens);
    frame_ = PanelGeometry::candidatePanelFrame(caret, panel, services_.screens);

    window_->setGeometry(QtScreenProvider::toQt(frame_));
    candidateView_->setGeometry(0, 0, window_->width(), window_->height());
    candidateView_->placeActive(measured);
    orderFront(*window_);
}

void CandidatePanel::hide() {
    if (window_->isVisible()) window_->hide();
}

bool CandidatePanel::isVisible() const {
    return window_->isVisible();
}

}  // namespace sorvane
