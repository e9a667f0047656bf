#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "kit/account/WeChatQRCoordinator.h"

namespace sorvane {

void PrintTo(const WeChatQRCoordinator::Verdict& v, std::ostream* os) {
    *os << (v.decision == WeChatQRCoordinator::Decision::allow ? "allow" : "cancel")
        << " code=" << v.code.value_or("-") << " error=" << v.error.value_or("-");
}

namespace {

using Decision = WeChatQRCoordinator::Decision;
using Verdict = WeChatQRCoordinator::Verdict;
using LoadEnd = WeChatQRCoordinator::LoadEnd;
using Status = LoadEnd::Status;

const std::string kFailed = "微信授权已取消或失败，请重新扫码。";
const std::string kMismatch = "登录校验失败，请重新扫码。";

TEST(WeChatAuthorizeURL, EncodesOnlyTheRedirect) {
    struct Case {
        std::string appId, redirect, expectedAppId, expectedRedirect;
    };
    const Case cases[] = {
        {"wx1", "https://r.example/cb?a=1&b=2", "wx1", "https%3A%2F%2Fr.example%2Fcb%3Fa%3D1%26b%3D2"},
        {"wx1", "a b", "wx1", "a%20b"},
        {"wx1", "-._~azAZ09", "wx1", "-._~azAZ09"},
        {"wx1", "+#%/", "wx1", "%2B%23%25%2F"},
        {"wx1", "登录é", "wx1", "登录é"},      // letters and marks stay
        {"wx1", "²", "wx1", "%C2%B2"},         // a number that is no decimal digit
        {"wx app", "x", "wx app", "x"},        // the application id is sent as it is
        {"wx1", "bad\xff", "wx1", "bad\xff"},  // not UTF-8: unencoded
    };
    for (const auto& c : cases) {
        auto url = WeChatQRCoordinator::authorizeURL({c.appId, c.redirect}, "S1");
        ASSERT_TRUE(url) << c.redirect;
        EXPECT_EQ(*url, "https://open.weixin.qq.com/connect/qrconnect?appid=" + c.expectedAppId +
                            "&redirect_uri=" + c.expectedRedirect +
                            "&response_type=code&scope=snsapi_login&state=S1#wechat_redirect")
            << c.redirect;
    }
    // Text that is no URL gives nothing.
    EXPECT_FALSE(WeChatQRCoordinator::authorizeURL({"wx\n1", "x"}, "S1"));
}

TEST(WeChatAuthorizeURL, EndsWithTheNewState) {
    std::set<std::string> states;
    for (int i = 0; i < 3; ++i) {
        const std::string state = WeChatQRCoordinator::newState();
        EXPECT_TRUE(std::regex_match(state, std::regex("[0-9A-F]{32}"))) << state;
        states.insert(state);
        auto url = WeChatQRCoordinator::authorizeURL({"wx1", "https://r.example/cb"}, state);
        ASSERT_TRUE(url);
        EXPECT_TRUE(url->ends_with("&state=" + state + "#wechat_redirect"));
    }
    EXPECT_EQ(states.size(), 3u);
}

TEST(WeChatNavigationPolicy, Table) {
    const std::string redirect = "https://r.example/cb";
    const std::optional<std::string> state = "ABC";
    struct Case {
        std::string url;
        std::optional<std::string> expectedState;
        Verdict verdict;
    };
    const Verdict allow{};
    auto cancelWithCode = [](std::string code) { return Verdict{Decision::cancel, std::move(code), {}}; };
    auto cancelWithError = [](std::string text) { return Verdict{Decision::cancel, {}, std::move(text)}; };
    const Case cases[] = {
        {"https://r.example/cb?code=abc&state=ABC", state, cancelWithCode("abc")},
        {"https://r.example/cb/more?state=ABC&code=a%20b", state, cancelWithCode("a b")},
        {"https://r.example/cb?code=abc&state=XYZ", state, cancelWithError(kMismatch)},
        {"https://r.example/cb?code=abc", state, cancelWithError(kMismatch)},
        {"https://r.example/cb?code=abc&state", state, cancelWithError(kMismatch)},
        // No state of ours to compare with: never handed over unchecked.
        {"https://r.example/cb?code=abc&state=ABC", std::nullopt, cancelWithError(kMismatch)},
        {"https://r.example/cb?state=ABC", state, cancelWithError(kFailed)},
        {"https://r.example/cb?code=&state=ABC", state, cancelWithError(kFailed)},
        {"https://r.example/cb?code&state=ABC", state, cancelWithError(kFailed)},
        {"https://r.example/cb", state, cancelWithError(kFailed)},
        {"https://r.example/cb?code=first&code=second&state=ABC", state, cancelWithCode("first")},
        {"https://r.example/cb?code=abc&state=ABC&state=XYZ", state, cancelWithCode("abc")},
        // A code in the fragment is no query item.
        {"https://r.example/cb#code=abc&state=ABC", state, cancelWithError(kFailed)},
        // Elsewhere than at the start, or in another case: WeChat's pages load.
        {"https://open.weixin.qq.com/x?u=https://r.example/cb?code=abc", state, allow},
        {"HTTPS://R.EXAMPLE/cb?code=abc&state=ABC", state, allow},
        {"https://open.weixin.qq.com/connect/qrconnect?appid=wx1", state, allow},
        {"", state, allow},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WeChatQRCoordinator::evaluate(c.url, redirect, c.expectedState), c.verdict) << c.url;
    }
}

TEST(WeChatNavigationPolicy, DecisionComesBeforeTheCallback) {
    std::vector<std::string> events;
    WeChatQRCoordinator coordinator(
        "https://r.example/cb", [&](const std::string& code) { events.push_back("code " + code); },
        [&](const std::string& text) { events.push_back("error " + text); });
    auto decide = [&](std::string_view url) {
        coordinator.decidePolicy(
            url, [&](Decision d) { events.push_back(d == Decision::allow ? "allow" : "cancel"); });
    };
    decide("https://r.example/cb?code=abc&state=S");  // before the page's state exists
    coordinator.expectedState = "S";
    decide("https://r.example/cb?code=abc&state=S");
    decide("https://r.example/cb?state=S");
    decide("https://open.weixin.qq.com/");
    EXPECT_EQ(events, (std::vector<std::string>{"cancel", "error " + kMismatch, "cancel", "code abc",
                                                "cancel", "error " + kFailed, "allow"}));
}

TEST(WeChatLoadFailures, OnlyRealFailuresReachTheUser) {
    struct Case {
        LoadEnd end;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {{Status::succeeded, 200, true}, std::nullopt},
        {{Status::stopped, -3, false}, std::nullopt},  // the policy cancelled the redirect
        {{Status::failed, -3, false}, std::nullopt},
        {{Status::stopped, 0, false}, std::nullopt},  // a load we stopped
        {{Status::failed, 404, true}, std::nullopt},  // a page the server sent
        {{Status::failed, -105, false}, "未能找到使用指定主机名的服务器。"},
        {{Status::failed, -102, false}, "未能连接到服务器。"},
        {{Status::failed, -118, false}, "请求超时。"},
        {{Status::failed, -106, false}, "似乎已断开与互联网的连接。"},
        {{Status::failed, -101, false}, "网络连接已中断。"},
        {{Status::failed, -107, false}, "发生了 SSL 错误，无法建立与该服务器的安全连接。"},
        {{Status::failed, -202, false}, "此服务器的证书无效。"},
        {{Status::failed, -312, false}, "未知错误"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WeChatQRCoordinator::failureText(c.end), c.text) << c.end.errorCode;
    }

    std::vector<std::string> errors;
    WeChatQRCoordinator coordinator(
        "https://r.example/cb", [](const std::string&) { FAIL(); },
        [&](const std::string& text) { errors.push_back(text); });
    coordinator.loadEnded({Status::stopped, -3, false});
    coordinator.loadEnded({Status::failed, -102, false});
    coordinator.loadTimedOut();
    EXPECT_EQ(errors, (std::vector<std::string>{"未能连接到服务器。", "请求超时。"}));
}

}  // namespace
}  // namespace sorvane
