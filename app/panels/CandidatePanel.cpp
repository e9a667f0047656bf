#include "app/panels/CandidatePanel.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

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
        // Showing invalidates the whole window, which its first expose then
        // paints, and also posts a deferred update for it and for each child
        // shown with it, which would paint the whole window a second time.
        QCoreApplication::removePostedEvents(&window, QEvent::UpdateLater);
        for (QWidget* child : window.findChildren<QWidget*>())
            QCoreApplication::removePostedEvents(child, QEvent::UpdateLater);
        return;
    }
    // The offscreen platform has no stacking order and complains at every raise.
    static const bool stacking = QGuiApplication::platformName() != QLatin1String("offscreen");
    if (stacking) window.raise();
}

// The panel is frameless and goes where it is put: X does not move or
// resize a window that bypasses the window manager. Yet every geometry the
// platform confirms makes Qt ask the X server for the window's frame, four
// round trips on each key that changes the panel's size, to learn that there
// is none. A confirmation of the geometry the window already has carries
// nothing else and stops here; any other goes on, and so does the first
// one: until Qt has learnt the frame once, the widget asks for it again on
// each move or resize of its own.
//
// On X the confirmation costs a round trip before it even becomes an event:
// Qt does not trust the position an X server reports and asks for it again.
// Once the frame is learnt, a ConfigureNotify that reports exactly the
// geometry the window has, on the screen it is on, is dropped before that;
// a synthetic one (sent by another client) or any other goes on. Nothing is
// lost on screen: the panel's own paint follows its own resize, and X keeps
// what is drawn where the window shrinks.
//
// Each show writes the panel's _NET_WM_STATE (on top), and X echoes the
// write back as a PropertyNotify, on which Qt reads the property back from
// the X server, a round trip on the first key after every commit, to find
// the state it wrote. Nothing else writes the state of a window that
// bypasses the window manager, and on top is no window state Qt reports:
// the echo stops here.
class CandidatePanel::ConfirmedGeometryFilter final : public QObject, public QAbstractNativeEventFilter {
public:
    explicit ConfirmedGeometryFilter(QWidget& window) : QObject(&window), window_(window) {
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            nativeWindow_ = static_cast<std::uint32_t>(window.winId());
            netWmState_ = internedAtom("_NET_WM_STATE");
            QCoreApplication::instance()->installNativeEventFilter(this);
        }
    }
    ~ConfirmedGeometryFilter() override {
        if (nativeWindow_) QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Move && event->type() != QEvent::Resize) return false;
        if (!event->spontaneous() || static_cast<QWindow*>(watched)->geometry() != window_.geometry())
            return false;
        if (!frameLearnt_) {
            frameLearnt_ = true;
            return false;
        }
        return true;
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (!frameLearnt_ || type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (event->response_type == XCB_PROPERTY_NOTIFY) {
            const auto* property = static_cast<const xcb_property_notify_event_t*>(message);
            return netWmState_ && property->window == nativeWindow_ && property->atom == netWmState_;
        }
        // The high bit marks an event another client sent.
        if (event->response_type != XCB_CONFIGURE_NOTIFY) return false;
        const auto* configure = static_cast<const xcb_configure_notify_event_t*>(message);
        const QWindow* window = window_.windowHandle();
        if (configure->window != nativeWindow_ || !window || window->devicePixelRatio() != 1.0) return false;
        const QRect reported(configure->x, configure->y, configure->width, configure->height);
        return reported == window->geometry() &&
               QGuiApplication::screenAt(reported.center()) == window->screen();
    }

private:
    // 0 when the display does not know the name.
    static std::uint32_t internedAtom(const char* name) {
        const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11 || !x11->connection()) return 0;
        xcb_connection_t* connection = x11->connection();
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr);
        const std::uint32_t atom = reply ? reply->atom : 0;
        std::free(reply);
        return atom;
    }

    QWidget& window_;
    std::uint32_t nativeWindow_ = 0;
    std::uint32_t netWmState_ = 0;
    bool frameLearnt_ = false;
};

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
    if (!geometryFilter_ && window_->windowHandle()) {
        geometryFilter_ = new ConfirmedGeometryFilter(*window_);
        window_->windowHandle()->installEventFilter(geometryFilter_);
    }
}

void CandidatePanel::hide() {
    if (window_->isVisible()) window_->hide();
}

bool CandidatePanel::isVisible() const {
    return window_->isVisible();
}

}  // namespace sorvane
