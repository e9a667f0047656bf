#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "kit/account/AccountAPI.h"
#include "kit/account/AccountCredentials.h"
#include "kit/route/MacRouting.h"
#include "kit/route/Secrets.h"
#include "kit/route/SubscriptionRouting.h"
#include "platform/files/Files.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/MemoryKeychain.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using testing::ScopedLogCapture;
using testing::ScopedMemoryKeychain;
using testing::TempHome;
namespace fs = std::filesystem;

using Source = MacBillingState::Source;
using KeyStatus = MacBillingState::KeyStatus;

constexpr const char* kService = "cn.kestrum.inputmethod";
constexpr const char* kToken = "tok-9c1e5b77-secret";
constexpr const char* kDevice = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
constexpr const char* kOwnKey = "sk-own-0123456789abcdef";

// A temporary home with the in-memory keychain, as each process of the
// system would see them.
class MacRoutingTest : public ::testing::Test {
protected:
    // Each case is a fresh process: no device id found yet.
    void SetUp() override {
        environment_.set("DEEPSEEK_API_KEY", std::nullopt);
        SubscriptionRouting::forgetMemoizedDeviceID();
    }
    void TearDown() override { SubscriptionRouting::forgetMemoizedDeviceID(); }

    fs::path billingPath() const { return home_.path() / "Library/SorvaneIME/billing.json"; }
    void writeBilling(const std::string& text) {
        fs::create_directories(billingPath().parent_path());
        std::ofstream(billingPath(), std::ios::binary) << text;
    }
    std::string billingText() const {
        auto data = Files::readFile(billingPath());
        return data ? *data : std::string("<none>");
    }
    void signIn(const std::string& token = kToken) { keychain_->put(kService, "brindor-auth-token", token); }
    void storeDevice(const std::string& id = kDevice) { keychain_->put(kService, "brindor-device-id", id); }
    void storeOwnKey(const std::string& key = kOwnKey) { keychain_->put(kService, "deepseek", key); }

    TempHome home_;
    testing::ScopedEnvironment environment_;
    ScopedMemoryKeychain keychain_;
};

TEST_F(MacRoutingTest, WithoutATokenThereIsNoRouteWhateverTheFileHolds) {
    storeDevice();
    storeOwnKey();
    for (const char* billing : {"", R"({"source":"ownKey"})", R"({"source":"credits"})", "not json"}) {
        if (*billing) writeBilling(billing);
        EXPECT_EQ(MacRouting::resolveRoute(), std::nullopt) << billing;
        EXPECT_EQ(MacRouting::noRouteReason(), "请先登录微信 · 见设置") << billing;
        EXPECT_FALSE(MacRouting::signedIn());
    }
}

TEST_F(MacRoutingTest, TokenAndDeviceIDGiveTheProxyWithExactlyItsHeaders) {
    signIn();
    storeDevice();
    auto route = MacRouting::resolveRoute();
    ASSERT_TRUE(route);
    ASSERT_EQ(route->kind(), PredictionRoute::Kind::subscription);
    EXPECT_EQ(route->baseURL(), AccountAPI::productionBaseURL() + "/sorvane/v1");
    EXPECT_TRUE(route->baseURL().ends_with("/brindor/api/sorvane/v1"));
    const std::map<std::string, std::string> expected{
        {"X-Device-ID", kDevice}, {"X-Client-App", "sorvane"}, {"X-Client-Platform", "macos"}};
    EXPECT_EQ(route->headers(), expected);
    for (const auto& [name, value] : route->headers()) {
        EXPECT_NE(value, kToken) << name << ": the account token is never sent to the proxy";
    }
    EXPECT_FALSE(fs::exists(billingPath())) << "reading never writes";
}

TEST_F(MacRoutingTest, ProxyBaseCanPointAtATestServer) {
    signIn();
    storeDevice();
    auto route = MacRouting::resolveRoute("http://127.0.0.1:4711/brindor/api/sorvane/v1");
    ASSERT_TRUE(route);
    EXPECT_EQ(*route, PredictionRoute::subscription("http://127.0.0.1:4711/brindor/api/sorvane/v1",
                                                    SubscriptionRouting::proxyHeaders(kDevice)));
}

TEST_F(MacRoutingTest, EmptyTokenCountsAsSignedIn) {
    signIn("");
    storeDevice();
    EXPECT_TRUE(MacRouting::signedIn());
    EXPECT_TRUE(MacRouting::resolveRoute());
}

TEST_F(MacRoutingTest, UnreadableKeychainMeansSignedOut) {
    signIn();
    storeDevice();
    keychain_->failCopies(KeychainStatusCode::interactionNotAllowed);
    EXPECT_EQ(MacRouting::resolveRoute(), std::nullopt);
    EXPECT_EQ(MacRouting::noRouteReason(), "请先登录微信 · 见设置");
}

TEST_F(MacRoutingTest, ARouteFileThatCannotBeReadOrDecodedGivesNoRoute) {
    signIn();
    storeDevice();
    writeBilling("this is not json");
    EXPECT_EQ(MacRouting::resolveRoute(), std::nullopt);
    EXPECT_EQ(MacRouting::noRouteReason(), MacRouting::Copy::routeUnavailable);

    fs::remove(billingPath());
    fs::create_directories(billingPath());
    EXPECT_EQ(MacRouting::resolveRoute(), std::nullopt);
    EXPECT_EQ(MacRouting::noRouteReason(), MacRouting::Copy::routeUnavailable);
}

TEST_F(MacRoutingTest, ProxyWithoutDeviceIDHasNoRouteAndPointsToSettings) {
    signIn();
    EXPECT_EQ(MacRouting::resolveRoute(), std::nullopt);
    EXPECT_EQ(MacRouting::noRouteReason(), "改写服务暂不可用 · 见设置");
}

TEST_F(MacRoutingTest, OwnKeySourceWithoutAKeyNeverFallsBackToTheProxy) {
    signIn();
    storeDevice();
    struct Case {
        const char* billing;
        const char* reason;
    };
    const Case cases[] = {
        {R"({"source":"ownKey"})", "还没填写 DeepSeek Key · 见设置"},
        {R"({"source":"ownKey","keyStatus":"ok"})", "还没填写 DeepSeek Key · 见设置"},
        {R"({"source":"ownKey","keyStatus":"invalid"})", "DeepSeek Key 无效 · 见设置"},
        {R"({"source":"ownKey","keyStatus":"balanceEmpty"})", "DeepSeek 余额不足 · 去 DeepSeek 充值"},
    };
    for (const auto& c : cases) {
        writeBilling(c.billing);
        EXPECT_EQ(MacRouting::resolveRoute(), std::nullopt) << c.billing;
        EXPECT_EQ(MacRouting::noRouteReason(), c.reason) << c.billing;
    }
    // An empty stored key is no key.
    storeOwnKey("");
    EXPECT_EQ(MacRouting::resolveRoute(), std::nullopt);
}

TEST_F(MacRoutingTest, OwnKeyRouteIgnoresTheKeyStatusAndTheEnvironment) {
    signIn();
    writeBilling(R"({"keyStatus":"invalid","source":"ownKey"})");
    environment_.set("DEEPSEEK_API_KEY", "sk-from-the-environment");
    EXPECT_EQ(MacRouting::resolveRoute(), std::nullopt) << "the route takes the keychain's key only";
    storeOwnKey();
    EXPECT_EQ(MacRouting::resolveRoute(), PredictionRoute::ownKey(kOwnKey));
}

TEST_F(MacRoutingTest, HeaderBreakingValuesGiveNoRoute) {
    signIn();
    storeDevice("DEVICE\r\nX-Injected: 1");
    EXPECT_EQ(MacRouting::resolveRoute(), std::nullopt);

    writeBilling(R"({"source":"ownKey"})");
    for (std::string key :
         {std::string("sk-abc\ndef"), std::string("sk-abc\r"), std::string("sk-\0abc", 7)}) {
        storeOwnKey(key);
        EXPECT_EQ(MacRouting::resolveRoute(), std::nullopt);
    }
}

TEST_F(MacRoutingTest, DeviceIDIsKeptOnceFoundAndLookedForUntilThen) {
    signIn();
    EXPECT_EQ(SubscriptionRouting::memoizedDeviceID(), std::nullopt);
    storeDevice("FIRST");
    EXPECT_EQ(SubscriptionRouting::memoizedDeviceID(), "FIRST") << "found by the next request";
    storeDevice("SECOND");
    EXPECT_EQ(SubscriptionRouting::memoizedDeviceID(), "FIRST") << "kept until the process ends";
    auto route = MacRouting::resolveRoute();
    ASSERT_TRUE(route);
    EXPECT_EQ(route->headers().at("X-Device-ID"), "FIRST");
    EXPECT_EQ(keychain_->get(kService, "brindor-device-id"), "SECOND") << "the memo never writes";
}

TEST(MacRoutingDecide, AsksOnlyForWhatItNeeds) {
    struct Case {
        const char* name;
        std::optional<MacBillingState> billing;
        bool signedIn;
        bool expectOwnKeyAsked;
        bool expectDeviceAsked;
        std::optional<PredictionRoute> expected;
    };
    const MacBillingState ownKey(Source::ownKey, std::nullopt, KeyStatus::balanceEmpty);
    const Case cases[] = {
        {"signed out", MacBillingState{}, false, false, false, std::nullopt},
        {"no route state", std::nullopt, true, false, false, std::nullopt},
        {"own key", ownKey, true, true, false, PredictionRoute::ownKey("sk-k")},
        {"credits", MacBillingState{}, true, false, true,
         PredictionRoute::subscription("https://base/v1", SubscriptionRouting::proxyHeaders("dev"))},
    };
    for (const auto& c : cases) {
        int ownKeyAsked = 0, deviceAsked = 0;
        auto route = MacRouting::decide(
            c.billing, [&] { return c.signedIn; },
            [&] {
                ++ownKeyAsked;
                return std::optional<std::string>("sk-k");
            },
            [&] {
                ++deviceAsked;
                return std::optional<std::string>("dev");
            },
            "https://base/v1");
        EXPECT_EQ(route, c.expected) << c.name;
        EXPECT_EQ(ownKeyAsked, c.expectOwnKeyAsked ? 1 : 0) << c.name;
        EXPECT_EQ(deviceAsked, c.expectDeviceAsked ? 1 : 0) << c.name;
    }
}

TEST_F(MacRoutingTest, RejectionWithoutAFileWritesTheDefaultWithTheStatus) {
    ScopedLogCapture log;
    MacRouting::rejected(PredictionError::ownKeyBalanceEmpty());
    EXPECT_EQ(billingText(),
              R"({"keyStatus":"balanceEmpty","source":"credits","verifiedAt":"0001-01-01T00:00:00Z"})");
    EXPECT_EQ(log->messages(),
              std::vector<std::string>{"[Sorvane] own DeepSeek key rejected (balanceEmpty)"});
}

TEST_F(MacRoutingTest, RejectionWritesTheStatusAndKeepsTheSource) {
    ScopedLogCapture log;
    writeBilling(
        R"({"keyStatus":"ok","keySuffix":"cdef","source":"ownKey","verifiedAt":"2026-12-06T14:50:00Z"})");
    MacRouting::rejected(PredictionError::ownKeyInvalid());
    EXPECT_EQ(
        billingText(),
        R"({"keyStatus":"invalid","keySuffix":"cdef","source":"ownKey","verifiedAt":"2026-12-06T14:50:00Z"})");
    MacRouting::rejected(PredictionError::ownKeyBalanceEmpty());
    EXPECT_EQ(
        billingText(),
        R"({"keyStatus":"balanceEmpty","keySuffix":"cdef","source":"ownKey","verifiedAt":"2026-12-06T14:50:00Z"})");
    EXPECT_EQ(log->messages(),
              (std::vector<std::string>{"[Sorvane] own DeepSeek key rejected (invalid)",
                                        "[Sorvane] own DeepSeek key rejected (balanceEmpty)"}));
}

TEST_F(MacRoutingTest, RejectionLeavesARouteFileThatCannotBeRead) {
    ScopedLogCapture log;
    fs::create_directories(billingPath());
    MacRouting::rejected(PredictionError::ownKeyInvalid());
    EXPECT_TRUE(fs::is_directory(billingPath()));
    const auto messages = log->messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "[Sorvane] file not read: Not a regular file (" + billingPath().string() + ")");
    EXPECT_EQ(messages[1].rfind("[Sorvane] billing state not written: ", 0), 0u);
    EXPECT_EQ(messages[2], "[Sorvane] own DeepSeek key rejected (invalid)");
}

TEST_F(MacRoutingTest, OtherRefusalsAreOnlyLogged) {
    ScopedLogCapture log;
    MacRouting::rejected(PredictionError::loginRequired());
    MacRouting::rejected(PredictionError::quotaExceeded());
    EXPECT_FALSE(fs::exists(billingPath()));
    EXPECT_EQ(log->messages(), (std::vector<std::string>{"[Sorvane] proxy refused: loginRequired",
                                                         "[Sorvane] proxy refused: quotaExceeded"}));
}

TEST_F(MacRoutingTest, RefusalPayloadsAreLoggedWithoutTheKey) {
    ScopedLogCapture log;
    storeOwnKey();
    MacRouting::rejected(PredictionError::httpStatus(500, std::string("bad key ") + kOwnKey));
    EXPECT_EQ(log->messages(),
              std::vector<std::string>{"[Sorvane] proxy refused: httpStatus(500, bad key <redacted>)"});
}

// Every operation of the route choice and the credentials, successes and
// failures alike, with the log captured: no secret value reaches it.
TEST_F(MacRoutingTest, NoSecretEverReachesTheLog) {
    ScopedLogCapture log;
    const auto& credentials = AccountCredentials::live();
    credentials.setToken(std::string(kToken));
    storeDevice();
    ASSERT_TRUE(Secrets::storeDeepSeekAPIKey(kOwnKey));
    MacRouting::resolveRoute();
    MacRouting::noRouteReason();
    MacRouting::rejected(PredictionError::ownKeyInvalid());
    writeBilling(R"({"source":"ownKey"})");
    MacRouting::resolveRoute();
    MacRouting::rejected(PredictionError::loginRequired());
    MacRouting::rejected(PredictionError::httpStatus(401, std::string(kOwnKey) + " again"));
    MacRouting::rejected(PredictionError::decoding(std::string("echo ") + kOwnKey));
    keychain_->failAdds(KeychainStatusCode::notAvailable);
    keychain_->failUpdates(KeychainStatusCode::notAvailable);
    credentials.setToken(std::string(kToken) + "-renewed");
    keychain_->put(kService, "brindor-device-id", "");
    ASSERT_FALSE(log->messages().empty());
    for (const auto& message : log->messages()) {
        for (std::string secret : {std::string(kToken), std::string(kDevice), std::string(kOwnKey)}) {
            EXPECT_EQ(message.find(secret), std::string::npos) << message;
        }
    }
}

}  // namespace
}  // namespace sorvane
