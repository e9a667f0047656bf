#include <gtest/gtest.h>

#include "kit/route/KeyRedaction.h"
#include "platform/Text.h"
#include "prediction/HttpRefusal.h"

namespace sorvane {
namespace {

const auto kProxy =
    PredictionRoute::subscription("https://proxy.test/brindor/api/sorvane/v1", {{"X-Device-ID", "device-1"}});
const auto kOwnKey = PredictionRoute::ownKey("sk-route-key-0123456789");

HttpRefusal::DeepSeekKeyResolver resolving(std::optional<std::string> key) {
    return [key] { return key; };
}

TEST(HttpRefusal, StatusTable) {
    struct Case {
        PredictionRoute route;
        int status;
        std::string body;
        PredictionError expected;
    };
    const Case cases[] = {
        {kOwnKey, 401, "anything", PredictionError::ownKeyInvalid()},
        {kOwnKey, 402, "", PredictionError::ownKeyBalanceEmpty()},
        {kOwnKey, 429, R"({"code":"daily_quota"})",
         PredictionError::httpStatus(429, R"({"code":"daily_quota"})")},
        {kOwnKey, 500, "down", PredictionError::httpStatus(500, "down")},
        {kProxy, 429, R"({"code":"daily_quota"})", PredictionError::quotaExceeded()},
        {kProxy, 429, R"({"code":"slow"})", PredictionError::rateLimited()},
        {kProxy, 429, "not json", PredictionError::rateLimited()},
        {kProxy, 429, "", PredictionError::rateLimited()},
        {kProxy, 429, R"({"code":7})", PredictionError::rateLimited()},
        {kProxy, 429, R"(["daily_quota"])", PredictionError::rateLimited()},
        {kProxy, 402, R"({"code":"login_required"})", PredictionError::loginRequired()},
        {kProxy, 402, R"({"code":"daily_quota"})",
         PredictionError::httpStatus(402, R"({"code":"daily_quota"})")},
        {kProxy, 401, "no", PredictionError::httpStatus(401, "no")},
        {kProxy, 503, "", PredictionError::httpStatus(503, "")},
    };
    for (const auto& c : cases) {
        const auto error = HttpRefusal::error(c.status, c.body, c.route, resolving(std::nullopt));
        EXPECT_EQ(error, c.expected) << c.status << " " << c.body << " -> " << error.errorDescription();
    }
}

TEST(HttpRefusal, RouteRejectionsOnlyForRefusals) {
    EXPECT_TRUE(HttpRefusal::error(401, "", kOwnKey, {}).isRouteRejection());
    EXPECT_TRUE(HttpRefusal::error(402, R"({"code":"login_required"})", kProxy, {}).isRouteRejection());
    EXPECT_FALSE(HttpRefusal::error(429, R"({"code":"daily_quota"})", kProxy, {}).isRouteRejection());
    EXPECT_FALSE(HttpRefusal::error(429, "", kProxy, {}).isRouteRejection());
}

TEST(HttpRefusal, LongBodyIsCutTo300Characters) {
    std::string body;
    for (int i = 0; i < 1000; ++i) body += (i % 2 ? "好" : "e\u0301");  // multi-byte Characters
    const auto error = HttpRefusal::error(500, body, kProxy, resolving(std::nullopt));
    EXPECT_EQ(Text::characterCount(error.body()), 300u);
    EXPECT_TRUE(Text::isValidUtf8(error.body()));
}

TEST(HttpRefusal, RedactionTable) {
    const std::string key8 = "sk-abcde";  // 8 Characters
    const std::string key7 = "sk-abcd";
    struct Case {
        const char* name;
        std::optional<std::string> resolved;
        PredictionRoute route;
        std::string body;
        std::string expected;
    };
    const std::string pad290(290, 'x');
    const Case cases[] = {
        {"resolved key hidden", key8, kProxy, "bad key " + key8 + " and " + key8,
         "bad key <redacted> and <redacted>"},
        {"short key visible", key7, kProxy, "bad key " + key7, "bad key " + key7},
        {"no key", std::nullopt, kProxy, "text", "text"},
        {"route key hidden even when another resolves", "sk-env-key-999", kOwnKey,
         "got sk-route-key-0123456789 / sk-env-key-999", "got <redacted> / <redacted>"},
        {"case-sensitive", key8, kProxy, "SK-ABCDE", "SK-ABCDE"},
        // A key straddling the cut must not leave its first part behind.
        {"key across the cut", key8, kProxy, pad290 + key8 + "tail", pad290 + "<redacted>"},
    };
    for (const auto& c : cases) {
        const auto error = HttpRefusal::error(500, c.body, c.route, resolving(c.resolved));
        EXPECT_EQ(error.body(), c.expected) << c.name;
    }
}

TEST(HttpRefusal, KeyCutByTheLimitNeverShowsItsStart) {
    const std::string key = "sk-0123456789abcdef0123456789abcdef";
    for (std::size_t pad = 250; pad <= 300; ++pad) {
        const std::string body = std::string(pad, '.') + key + std::string(200, '.');
        const auto error = HttpRefusal::error(500, body, kProxy, resolving(key));
        EXPECT_EQ(error.body().find("sk-0123"), std::string::npos) << pad;
        EXPECT_EQ(Text::characterCount(error.body()), 300u);
    }
}

TEST(HttpRefusal, ProxyErrorCode) {
    EXPECT_EQ(HttpRefusal::proxyErrorCode(R"({"code":"daily_quota","message":"x"})"), "daily_quota");
    EXPECT_EQ(HttpRefusal::proxyErrorCode(R"({"code":null})"), std::nullopt);
    EXPECT_EQ(HttpRefusal::proxyErrorCode(R"({"error":{"code":"x"}})"), std::nullopt);
    EXPECT_EQ(HttpRefusal::proxyErrorCode("{"), std::nullopt);
    EXPECT_EQ(HttpRefusal::proxyErrorCode("\"daily_quota\""), std::nullopt);
}

TEST(KeyRedaction, ThresholdIsInCharacters) {
    // Seven Characters but more than eight bytes: still too short to hide.
    EXPECT_EQ(KeyRedaction::redact("k好好好好好好 here", "k好好好好好好"), "k好好好好好好 here");
    EXPECT_EQ(KeyRedaction::redact("k好好好好好好好 here", "k好好好好好好好"), "<redacted> here");
    EXPECT_EQ(KeyRedaction::redact("abc", ""), "abc");
}

}  // namespace
}  // namespace sorvane
