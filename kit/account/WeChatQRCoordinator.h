#pragma once
// What the WeChat QR sign-in web view decides, without the web engine: the
// address of WeChat's QR page, the state that ties a redirect to the page we
// loaded, the policy for every navigation (WeChat's own pages load; the
// redirect to our registered address is cancelled before it is requested and
// its code handed over), and which ended loads the user is told about.
//
// One coordinator per web view, made with the view; main thread only. The
// policy decision is always given before onCode or onError runs, since either
// callback may remove the web view that asked.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "kit/account/AccountRecords.h"
#include "kit/account/WebLoadEnd.h"

namespace sorvane {

class WeChatQRCoordinator {
public:
    // Where WeChat's open platform serves its QR sign-in page.
    static constexpr std::string_view openPlatformHost = "open.weixin.qq.com";

    static constexpr std::string_view cancelledOrFailedText = "微信授权已取消或失败，请重新扫码。";
    static constexpr std::string_view stateMismatchText = "登录校验失败，请重新扫码。";

    enum class Decision { allow, cancel };

    // The outcome of one navigation under the policy.
    struct Verdict {
        Decision decision = Decision::allow;
        std::optional<std::string> code;   // hand this code over
        std::optional<std::string> error;  // or tell the user this
        bool operator==(const Verdict&) const = default;
    };

    using LoadEnd = WebLoadEnd;

    // net::ERR_ABORTED: what a navigation cancelled by the policy ends with.
    static constexpr int abortedErrorCode = -3;

    WeChatQRCoordinator(std::string redirectURI, std::function<void(const std::string&)> onCode,
                        std::function<void(const std::string&)> onError);

    const std::string& redirectURI() const { return redirectURI_; }
    // The state of the page that was loaded; absent until it is created.
    std::optional<std::string> expectedState;

    // Gives the decision to `decisionHandler` first, then hands over the
    // code or reports the failure.
    void decidePolicy(std::string_view url, const std::function<void(Decision)>& decisionHandler);
    void loadEnded(const LoadEnd& end);
    // Our own time-out of the page load ran out.
    void loadTimedOut();

    // WeChat's QR page for this configuration and state; nothing when the
    // text is not a URL.
    static std::optional<std::string> authorizeURL(const WeChatOAuthConfig& config, std::string_view state);
    // A new random UUID, upper-case, without dashes: 32 characters.
    static std::string newState();

    static Verdict evaluate(std::string_view url, std::string_view redirectURI,
                            const std::optional<std::string>& expectedState);
    // The text for the user, or nothing for loads that ended without a fault
    // (done, stopped, aborted by the policy).
    static std::optional<std::string> failureText(const LoadEnd& end);

private:
    std::string redirectURI_;
    std::function<void(const std::string&)> onCode_;
    std::function<void(const std::string&)> onError_;
};

}  // namespace sorvane
