#include <gtest/gtest.h>

#include <thread>

#include "kit/account/AccountClient.h"
#include "tests/support/FakeAccountService.h"
#include "tests/support/PumpUntil.h"

namespace sorvane {
namespace {

using testing::FakeAccountService;
using testing::ServiceReply;

AccountClient clientFor(const std::string& baseURL, std::optional<std::string> token = std::nullopt) {
    AccountClient client;
    client.deviceID = "0F8E6C1A-2B3C-4D5E-8F90-A1B2C3D4E5F6";
    client.token = std::move(token);
    client.baseURL = baseURL;
    return client;
}

TEST(AccountClient, RequestHeadersInOrder) {
    auto request = clientFor("https://api.example/brindor/api", "tok").makeRequest("GET", "auth/me");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->url, "https://api.example/brindor/api/auth/me");
    EXPECT_EQ(request->method, "GET");
    // 15 s for the whole call, not only between bytes.
    EXPECT_EQ(request->requestTimeout, std::chrono::seconds(15));
    EXPECT_EQ(request->resourceTimeout, std::chrono::seconds(15));
    EXPECT_EQ(request->redirects, RedirectPolicy::never);
    const HttpHeaders expected = {
        {"X-Device-ID", "0F8E6C1A-2B3C-4D5E-8F90-A1B2C3D4E5F6"},
        {"X-Client-App", "sorvane"},
        {"X-Client-Platform", "macos"},
        {"Accept", "application/json"},
        {"Authorization", "Bearer tok"},
    };
    EXPECT_EQ(request->headers, expected);
    EXPECT_TRUE(request->body.empty());
}

TEST(AccountClient, BodyIsSortedCompactJSONWithContentType) {
    auto request = clientFor("https://api.example/brindor/api/")
                       .makeRequest("POST", "auth/wechat/login",
                                    std::map<std::string, std::string>{{"z", "1"}, {"code", "a \"b\""}});
    ASSERT_TRUE(request);
    EXPECT_EQ(request->url, "https://api.example/brindor/api/auth/wechat/login");
    EXPECT_EQ(request->body, R"({"code":"a \"b\"","z":"1"})");
    EXPECT_EQ(request->headers.back(),
              (std::pair<std::string, std::string>{"Content-Type", "application/json"}));
    for (const auto& [name, value] : request->headers) EXPECT_NE(name, "Authorization");
}

TEST(AccountClient, EmptyTokenStillSendsBearer) {
    auto request = clientFor("https://api.example/brindor/api", "").makeRequest("GET", "auth/me");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->headers.back(), (std::pair<std::string, std::string>{"Authorization", "Bearer "}));
}

TEST(AccountClient, RefusesWhatCannotBeSent) {
    for (const char* token : {"tok\r\nX-Evil: 1", "tok\x01", "tok\x7f"}) {
        auto broken = clientFor("https://api.example/brindor/api", token).makeRequest("GET", "auth/me");
        ASSERT_FALSE(broken);
        EXPECT_EQ(AccountError::logToken(broken.error()), "InvalidHeaderValue");
    }

    auto notUTF8 =
        clientFor("https://api.example/brindor/api")
            .makeRequest("POST", "auth/wechat/login", std::map<std::string, std::string>{{"code", "\xff"}});
    ASSERT_FALSE(notUTF8);
    EXPECT_NE(AccountError::logToken(notUTF8.error()).find("type_error"), std::string::npos);
}

TEST(AccountClient, WireRequestsOfEveryEndpoint) {
    FakeAccountService service;
    service.reply("auth/wechat/config",
                  {200, R"({"success":true,"data":{"appId":"wx","redirectUri":"https://r"}})"});
    service.reply("auth/wechat/login", {200, R"({"success":true,"data":{"token":"T","user":{"id":3}}})"});
    service.reply("auth/me",
                  {200, R"({"success":true,"data":{"id":3,"nickname":"n"}})", {{"x-renewed-token", "R2"}}});
    service.reply("auth/logout", {200, R"({"success":true,"data":[1,2]})"});

    auto anonymous = clientFor(service.baseURL());
    auto config = anonymous.oauthConfig();
    ASSERT_TRUE(config);
    EXPECT_EQ(*config, (WeChatOAuthConfig{"wx", "https://r"}));
    auto login = anonymous.login("CODE-1");
    ASSERT_TRUE(login);
    EXPECT_EQ(login->token, "T");

    auto signedIn = clientFor(service.baseURL(), "T");
    auto me = signedIn.me();
    ASSERT_TRUE(me);
    EXPECT_EQ(me->user, (AccountUser{3, "n", std::nullopt}));
    EXPECT_EQ(me->renewedToken, "R2");
    EXPECT_TRUE(signedIn.logout());

    auto requests = service.requests();
    ASSERT_EQ(requests.size(), 4u);
    const std::pair<const char*, const char*> routes[] = {{"GET", "auth/wechat/config"},
                                                          {"POST", "auth/wechat/login"},
                                                          {"GET", "auth/me"},
                                                          {"POST", "auth/logout"}};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto& r = requests[i];
        EXPECT_EQ(r.method, routes[i].first);
        EXPECT_EQ(r.path, routes[i].second);
        EXPECT_EQ(r.header("X-Device-ID"), "0F8E6C1A-2B3C-4D5E-8F90-A1B2C3D4E5F6");
        EXPECT_EQ(r.header("X-Client-App"), "sorvane");
        EXPECT_EQ(r.header("X-Client-Platform"), "macos");
        EXPECT_EQ(r.header("Accept"), "application/json");
        EXPECT_EQ(r.header("Authorization"), i < 2 ? std::nullopt : std::optional<std::string>("Bearer T"));
        EXPECT_EQ(r.header("Content-Type"),
                  i == 1 ? std::optional<std::string>("application/json") : std::nullopt);
        EXPECT_EQ(r.body, i == 1 ? R"({"code":"CODE-1"})" : "");
    }
}

TEST(AccountClient, RepliesWithoutDataPerEndpoint) {
    FakeAccountService service;
    for (const char* path : {"auth/wechat/config", "auth/me", "auth/logout", "auth/wechat/login"}) {
        service.reply(path, {200, R"({"success":true})"});
    }
    auto client = clientFor(service.baseURL(), "T");

    auto config = client.oauthConfig();
    ASSERT_FALSE(config);
    EXPECT_EQ(std::get<AccountError>(config.error()), AccountError::invalidResponse());
    auto login = client.login("c");
    ASSERT_FALSE(login);
    EXPECT_EQ(std::get<AccountError>(login.error()), AccountError::invalidResponse());

    auto me = client.me();
    ASSERT_TRUE(me);
    EXPECT_FALSE(me->user);
    EXPECT_FALSE(me->renewedToken);
    EXPECT_TRUE(client.logout());
}

TEST(AccountClient, ExpiredTokenWithRenewalGivesNoUser) {
    FakeAccountService service;
    service.reply(
        "auth/me",
        {200, R"({"success":true,"data":{"id":7,"tokenExpired":true}})", {{"X-Renewed-Token", "N"}}});
    auto me = clientFor(service.baseURL(), "T").me();
    ASSERT_TRUE(me);
    EXPECT_FALSE(me->user);
    EXPECT_EQ(me->renewedToken, "N");
}

TEST(AccountClient, RenewalIsLostWithAFailureAndIgnoredWhenEmpty) {
    FakeAccountService service;
    service.reply("auth/me", {401, R"({"success":false,"error":"过期"})", {{"X-Renewed-Token", "N"}}});
    service.reply("auth/me", {200, R"({"success":true,"data":{"id":1}})", {{"X-Renewed-Token", ""}}});
    auto client = clientFor(service.baseURL(), "T");
    auto failed = client.me();
    ASSERT_FALSE(failed);
    EXPECT_EQ(std::get<AccountError>(failed.error()), AccountError::http(401, "过期"));
    auto empty = client.me();
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->renewedToken);
    // One that could not be sent back is no renewal either.
    service.reply("auth/me", {200, R"({"success":true,"data":{"id":1}})", {{"X-Renewed-Token", "N\x01"}}});
    auto unsendable = client.me();
    ASSERT_TRUE(unsendable);
    EXPECT_FALSE(unsendable->renewedToken);
}

TEST(AccountClient, ReplyOverOneMebibyteIsATransportFailure) {
    FakeAccountService service;
    const std::string padding(1 << 20, ' ');
    service.reply("auth/me", {200, R"({"success":true})" + padding});
    auto result = clientFor(service.baseURL(), "T").me();
    ASSERT_FALSE(result);
    EXPECT_EQ(AccountError::logToken(result.error()), "URLError(-1103)");
}

TEST(AccountClient, LogoutThrowsEveryDecodeFailure) {
    FakeAccountService service;
    service.reply("auth/logout", {200, "<html>"});
    service.reply("auth/logout", {200, R"({"success":false})"});
    service.reply("auth/logout", {500, R"({"success":false,"error":"db down"})"});
    auto client = clientFor(service.baseURL(), "T");
    const AccountError expected[] = {AccountError::invalidResponse(), AccountError::server("请求失败"),
                                     AccountError::http(500, "db down")};
    for (const auto& e : expected) {
        auto result = client.logout();
        ASSERT_FALSE(result);
        EXPECT_EQ(std::get<AccountError>(result.error()), e);
    }
}

TEST(AccountClient, TransportFailuresPassThrough) {
    auto closed = clientFor("http://127.0.0.1:" + std::to_string(testing::LoopbackServer::closedPort()) +
                            "/brindor/api");
    auto result = closed.oauthConfig();
    ASSERT_FALSE(result);
    ASSERT_TRUE(std::holds_alternative<URLError>(result.error()));
    EXPECT_EQ(AccountError::logToken(result.error()), "URLError(-1004)");
}

TEST(AccountClient, CancellationEndsAStalledCall) {
    FakeAccountService service;
    service.reply("auth/me", {200, R"({"success":true})", {}, std::chrono::seconds(10)});
    HttpCancellation cancellation;
    auto client = clientFor(service.baseURL(), "T");
    client.cancellation = &cancellation;
    std::chrono::steady_clock::time_point cancelledAt;
    std::thread canceller([&] {
        testing::waitUntil([&] { return service.count("auth/me") > 0; });
        cancelledAt = std::chrono::steady_clock::now();
        cancellation.cancel();
    });
    auto result = client.me();
    const auto endedAt = std::chrono::steady_clock::now();
    canceller.join();
    // Timed from the cancel: getting the call to the service may take long on a loaded machine.
    EXPECT_LT(endedAt - cancelledAt, std::chrono::seconds(2));
    ASSERT_FALSE(result);
    EXPECT_TRUE(isCancellation(result.error()));
}

}  // namespace
}  // namespace sorvane
