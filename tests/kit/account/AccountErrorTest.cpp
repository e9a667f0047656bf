#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "kit/account/AccountClient.h"
#include "kit/account/AccountError.h"

namespace sorvane {
namespace {

TEST(AccountError, TextsAndLogTokens) {
    struct Case {
        AccountFailure failure;
        std::string description;
        std::string token;
    };
    const Case cases[] = {
        {AccountError::http(401, "登录已过期"), "服务器错误（401）：登录已过期", "http(401)"},
        {AccountError::http(502), "服务器暂时不可用（502）", "http(502)"},
        {AccountError::http(500, ""), "服务器错误（500）：", "http(500)"},
        {AccountError::server("请求失败"), "请求失败", "server"},
        {AccountError::server("二维码已失效"), "二维码已失效", "server"},
        {AccountError::invalidResponse(), "服务器返回了无法识别的内容", "invalidResponse"},
        {URLError{URLError::timedOut, "timed out"}, "timed out", "URLError(-1001)"},
        {URLError{URLError::cannotConnectToHost, "could not connect"}, "could not connect",
         "URLError(-1004)"},
        {URLError{URLError::cancelled, "cancelled"}, "cancelled", "URLError(-999)"},
        {OtherError{"DecodingError", "bad"}, "bad", "DecodingError"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(accountFailureDescription(c.failure), c.description) << c.token;
        EXPECT_EQ(AccountError::logToken(c.failure), c.token);
    }
}

TEST(AccountError, FullWidthPunctuationWithoutSpaces) {
    // U+FF08, U+FF09, U+FF1A.
    EXPECT_EQ(AccountError::http(403, "x").errorDescription(), "服务器错误\uFF08403\uFF09\uFF1Ax");
    EXPECT_EQ(AccountError::http(503).errorDescription(), "服务器暂时不可用\uFF08503\uFF09");
}

TEST(AccountError, EqualityComparesPayloads) {
    EXPECT_EQ(AccountError::http(401, "a"), AccountError::http(401, "a"));
    EXPECT_NE(AccountError::http(401, "a"), AccountError::http(401, "b"));
    EXPECT_NE(AccountError::http(401, "a"), AccountError::http(401));
    EXPECT_NE(AccountError::http(401), AccountError::http(403));
    EXPECT_NE(AccountError::server("a"), AccountError::server("b"));
    EXPECT_EQ(AccountError::invalidResponse(), AccountError::invalidResponse());
    EXPECT_NE(AccountError::invalidResponse(), AccountError::server("请求失败"));
}

TEST(AccountError, OtherErrorsAreNamedByTheirType) {
    try {
        auto parsed = nlohmann::json::parse("{");
        (void)parsed;
        FAIL();
    } catch (const std::exception& e) {
        auto other = OtherError::from(e);
        EXPECT_NE(other.typeName.find("parse_error"), std::string::npos) << other.typeName;
        EXPECT_EQ(AccountError::logToken(other), other.typeName);
        EXPECT_EQ(accountFailureDescription(other), e.what());
    }
    EXPECT_EQ(OtherError::from(std::runtime_error("x")).typeName, "std::runtime_error");
}

TEST(AccountError, OnlyCancelledTransfersAreCancellation) {
    EXPECT_TRUE(isCancellation(URLError{URLError::cancelled, ""}));
    EXPECT_FALSE(isCancellation(URLError{URLError::timedOut, ""}));
    EXPECT_FALSE(isCancellation(AccountError::invalidResponse()));
}

struct DecodeCase {
    const char* name;
    int status;
    const char* body;
    std::optional<AccountError> error;  // none: success
};

TEST(AccountClientDecode, StatusAndEnvelopeTable) {
    const DecodeCase cases[] = {
        {"401 with service text", 401, R"({"success":false,"error":"X"})", AccountError::http(401, "X")},
        {"502 html", 502, "<html>bad gateway</html>", AccountError::http(502)},
        {"403 wrong data shape", 403, R"({"success":false,"error":"e","data":{"appId":1}})",
         AccountError::http(403)},
        {"199", 199, R"({"success":true})", AccountError::http(199)},
        {"300", 300, R"({"success":true})", AccountError::http(300)},
        {"200 success false", 200, R"({"success":false})", AccountError::server("请求失败")},
        {"200 success absent", 200, R"({"error":"E"})", AccountError::server("E")},
        {"200 success false text", 200, R"({"success":false,"error":"X"})", AccountError::server("X")},
        {"200 empty body", 200, "", AccountError::invalidResponse()},
        {"200 html", 200, "<html></html>", AccountError::invalidResponse()},
        {"204 success", 204, R"({"success":true})", std::nullopt},
        {"299 success", 299, R"({"success":true,"data":{"appId":"a","redirectUri":"r"}})", std::nullopt},
    };
    for (const auto& c : cases) {
        auto reply = AccountClient::decode<WeChatOAuthConfig>(c.body, c.status, std::string("renewed"));
        if (c.error) {
            ASSERT_FALSE(reply) << c.name;
            EXPECT_EQ(std::get<AccountError>(reply.error()), *c.error) << c.name;
        } else {
            ASSERT_TRUE(reply) << c.name;
            EXPECT_EQ(reply->renewedToken, "renewed") << c.name;
        }
    }
}

TEST(AccountClientDecode, RequiredNeedsData) {
    auto reply = AccountClient::decode<WeChatOAuthConfig>(R"({"success":true})", 200, std::nullopt);
    ASSERT_TRUE(reply);
    auto required = reply->required();
    ASSERT_FALSE(required);
    EXPECT_EQ(std::get<AccountError>(required.error()), AccountError::invalidResponse());

    // The user call's reply of the wrong shape is no envelope at all.
    auto me = AccountClient::decode<MeResponse>(R"({"success":true,"data":{"id":"x"}})", 200, std::nullopt);
    ASSERT_FALSE(me);
    EXPECT_EQ(std::get<AccountError>(me.error()), AccountError::invalidResponse());
}

}  // namespace
}  // namespace sorvane
