#include "app/settings/account/WeChatQRWebView.h"

#include <QPointer>
#include <QResizeEvent>

#include "platform/HttpClient.h"
#include "platform/SorvaneLog.h"

namespace sorvane {

WeChatQRWebView::WeChatQRWebView(WeChatOAuthConfig config, Callback onCode, Callback onError,
                                 WebViewFactory& engine, QWidget* parent, AddressBuilder address)
    : QWidget(parent),
      config_(std::move(config)),
      onCode_(std::move(onCode)),
      onError_(std::move(onError)),
      coordinator_(
          config_.redirectUri, [this](const std::string& code) { later(onCode_, code); },
          [this](const std::string& text) { later(onError_, text); }) {
    loadTimer_.setSingleShot(true);
    loadTimer_.setInterval(loadTimeout);
    connect(&loadTimer_, &QTimer::timeout, this, [this] {
        if (view_) view_->stop();
        coordinator_.loadTimedOut();
    });

    WebView::Handlers handlers;
    handlers.acceptNavigation = [this](const QUrl& url) {
        bool allow = true;
        coordinator_.decidePolicy(
            url.toString(QUrl::FullyEncoded).toStdString(),
            [&](WeChatQRCoordinator::Decision d) { allow = d == WeChatQRCoordinator::Decision::allow; });
        return allow;
    };
    handlers.loadEnded = [this](const WebLoadEnd& end) {
        loadTimer_.stop();
        coordinator_.loadEnded(end);
    };
    handlers.engineFailed = [this](const std::string& reason) {
        loadTimer_.stop();
        SorvaneLog::log("[Sorvane] web engine failed: " + reason);
        later(onError_, URLError::withCode(URLError::unknown).description);
    };
    std::string reason;
    view_ = engine.make(std::move(handlers), this, reason);
    if (!view_) {
        SorvaneLog::log("[Sorvane] web view not made: " + reason);
        later(onError_, URLError::withCode(URLError::unknown).description);
        return;
    }

    const std::string state = WeChatQRCoordinator::newState();
    coordinator_.expectedState = state;
    const auto url = address(config_, state);
    if (!url) {
        // An empty view would stay until something else changes the state;
        // the failure text brings back the button that fetches a new code.
        later(onError_, std::string(WeChatQRCoordinator::cancelledOrFailedText));
        return;
    }
    view_->load(QUrl(QString::fromStdString(*url)));
    loadTimer_.start();
}

WeChatQRWebView::~WeChatQRWebView() {
    loadTimer_.stop();
    view_.reset();  // before the engine's widget goes with this widget's children
}

void WeChatQRWebView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (view_) view_->widget()->setGeometry(rect());
}

void WeChatQRWebView::later(const Callback& callback, const std::string& text) {
    if (!callback) return;
    // Not delivered to this view: the callback may well delete it.
    QTimer::singleShot(0, [self = QPointer<WeChatQRWebView>(this), callback, text] {
        if (self) callback(text);
    });
}

}  // namespace sorvane
