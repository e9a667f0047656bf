#pragma once
// WeChat's QR sign-in page in a web view. Made anew each time the sign-in
// card enters showingQR: a fresh state, a fresh page load. Every navigation
// passes the coordinator's policy before it is requested; the redirect to the
// registered address is cancelled and its code handed to onCode. Load
// failures and our own load time-out reach onError with a short text.
//
// onCode and onError always run from the event loop, after the engine has
// its decision and after this view's own call has returned, so that they may
// remove this view. Main thread only.
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/settings/account/WebView.h"
#include "kit/account/AccountRecords.h"
#include "kit/account/WeChatQRCoordinator.h"

namespace sorvane {

class WeChatQRWebView final : public QWidget {
    Q_OBJECT
public:
    using Callback = std::function<void(const std::string&)>;
    // Builds the page's address from the configuration and the state.
    using AddressBuilder =
        std::function<std::optional<std::string>(const WeChatOAuthConfig&, std::string_view)>;

    // The engine gives no request time-out of its own.
    static constexpr std::chrono::seconds loadTimeout{60};

    // `address` stands in for WeChat's page in tests.
    WeChatQRWebView(WeChatOAuthConfig config, Callback onCode, Callback onError, WebViewFactory& engine,
                    QWidget* parent = nullptr, AddressBuilder address = &WeChatQRCoordinator::authorizeURL);
    ~WeChatQRWebView() override;

    static std::optional<std::string> authorizeURL(const WeChatOAuthConfig& config, std::string_view state) {
        return WeChatQRCoordinator::authorizeURL(config, state);
    }

    const WeChatOAuthConfig& config() const { return config_; }
    // The state of the page this view loaded.
    const std::optional<std::string>& state() const { return coordinator_.expectedState; }
    bool loadTimerActive() const { return loadTimer_.isActive(); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Runs `callback` with `text` from the event loop, unless this view is
    // gone by then.
    void later(const Callback& callback, const std::string& text);

    WeChatOAuthConfig config_;
    Callback onCode_;
    Callback onError_;
    WeChatQRCoordinator coordinator_;
    QTimer loadTimer_;
    std::unique_ptr<WebView> view_;
};

}  // namespace sorvane
