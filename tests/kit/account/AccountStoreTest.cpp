#include <gtest/gtest.h>

#include "kit/account/AccountStore.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FakeAccountService.h"
#include "tests/support/MemoryUserDefaults.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;
using testing::FakeAccountService;
using testing::ServiceReply;
using Kind = AccountStore::LoginState::Kind;
using State = AccountStore::LoginState;

constexpr const char* kConfigOK =
    R"({"success":true,"data":{"appId":"wx1","redirectUri":"https://r.example/cb"}})";
const WeChatOAuthConfig kConfig{"wx1", "https://r.example/cb"};
const AccountUser kUser{7, "小明", "https://a.example/7.png"};

class AccountStoreTest : public ::testing::Test {
protected:
    AccountStoreTest() : secrets(std::make_shared<testing::FakeSecretStore>()) {
        stateFile = AppStateFile{dir.path() / "state.json"};
    }

    void consent() { ASSERT_TRUE(stateFile.acceptTerms("2026-09-15")); }
    void storeToken(const std::string& token) { ASSERT_TRUE(secrets->write(token, "brindor-auth-token")); }
    std::optional<std::string> storedToken() { return secrets->read("brindor-auth-token"); }
    void cache(const AccountUser& user) { defaults->setData("SorvaneAccountUser", *user.encoded()); }

    std::unique_ptr<AccountStore> makeStore(std::string baseURL = {}) {
        AccountStore::Services services;
        services.baseURL = baseURL.empty() ? service.baseURL() : baseURL;
        services.defaults = defaults;
        auto store = std::make_unique<AccountStore>(AccountCredentials(secrets), stateFile, time, services);
        watching.push_back(store->observeLogin([this](const State& s) { seen.push_back(s.kind); }));
        return store;
    }

    // Results come back from worker threads through the virtual main queue.
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = testing::kWaitLimit) {
        return testing::waitUntil(
            [&] {
                time.runPending();
                return done();
            },
            limit);
    }
    bool pumpUntilKind(AccountStore& store, Kind kind) {
        return pumpUntil([&] { return store.login().kind == kind; });
    }
    // Lets a stray result arrive before a test checks that no request was made:
    // for absence only, as no result is expected.
    void settle() {
        pumpUntil([] { return false; }, 150ms);
    }
    std::string closedURL() {
        return "http://127.0.0.1:" + std::to_string(testing::LoopbackServer::closedPort()) + "/brindor/api";
    }

    testing::ScopedLogCapture log;
    testing::TempDir dir;
    testing::VirtualTime time;
    FakeAccountService service;
    std::shared_ptr<testing::FakeSecretStore> secrets;
    std::shared_ptr<testing::MemoryUserDefaults> defaults = std::make_shared<testing::MemoryUserDefaults>();
    AppStateFile stateFile;
    std::vector<Kind> seen;
    std::vector<ObserverSubscription> watching;
};

TEST_F(AccountStoreTest, FreshStoreWithConsentShowsQR) {
    consent();
    service.reply("auth/wechat/config", {200, kConfigOK});
    auto store = makeStore();
    EXPECT_EQ(store->login(), State::checking());
    EXPECT_TRUE(store->termsAccepted());
    EXPECT_EQ(store->deviceID().size(), 36u);

    store->start();
    EXPECT_EQ(store->login(), State::checking());  // the check runs as its own task
    ASSERT_TRUE(pumpUntilKind(*store, Kind::showingQR));
    EXPECT_EQ(store->login(), State::showingQR(kConfig));
    EXPECT_EQ(seen, (std::vector<Kind>{Kind::loadingQR, Kind::showingQR}));
    EXPECT_FALSE(store->errorMessage());

    auto requests = service.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("X-Device-ID"), store->deviceID());
    EXPECT_FALSE(requests[0].header("Authorization"));
}

TEST_F(AccountStoreTest, FreshStoreWithoutConsentStaysLoggedOut) {
    ASSERT_TRUE(stateFile.acceptTerms("2025-01-01"));  // an older version is no consent
    auto store = makeStore();
    EXPECT_FALSE(store->termsAccepted());
    store->start();
    time.runPending();
    EXPECT_EQ(store->login(), State::loggedOut());
    settle();
    EXPECT_EQ(service.requests().size(), 0u);
}

TEST_F(AccountStoreTest, CompletingWithCodeStoresTokenAndCachesUser) {
    consent();
    service.reply("auth/wechat/config", {200, kConfigOK});
    service.reply(
        "auth/wechat/login",
        {200,
         R"({"success":true,"data":{"token":"TOKEN-1","user":{"id":7,"nickname":"小明","avatarUrl":"https://a.example/7.png"}}})"});
    auto store = makeStore();
    store->start();
    ASSERT_TRUE(pumpUntilKind(*store, Kind::showingQR));

    store->completeLogin("CODE-9");
    EXPECT_EQ(store->login(), State::signingIn());
    ASSERT_TRUE(pumpUntilKind(*store, Kind::loggedIn));
    EXPECT_EQ(store->login(), State::loggedIn(kUser));
    EXPECT_EQ(storedToken(), "TOKEN-1");
    EXPECT_EQ(AccountStore::cachedUser(*defaults), kUser);
    EXPECT_EQ(defaults->data("SorvaneAccountUser"),
              R"({"avatarUrl":"https://a.example/7.png","id":7,"nickname":"小明"})");
    EXPECT_TRUE(log->contains("[Sorvane] account signed in"));

    auto login = service.requests().back();
    EXPECT_EQ(login.method, "POST");
    EXPECT_EQ(login.body, R"({"code":"CODE-9"})");
    EXPECT_EQ(login.header("Content-Type"), "application/json");
}

TEST_F(AccountStoreTest, FailedExchangeShowsServiceText) {
    service.reply("auth/wechat/login", {401, R"({"success":false,"error":"授权码已失效"})"});
    auto store = makeStore();
    store->completeLogin("OLD");
    ASSERT_TRUE(pumpUntilKind(*store, Kind::loggedOut));
    EXPECT_EQ(store->errorMessage(), "服务器错误（401）：授权码已失效");
    EXPECT_EQ(log->messages(), (std::vector<std::string>{"[Sorvane] account request failed: http(401)"}));
    EXPECT_FALSE(storedToken());
    EXPECT_FALSE(AccountStore::cachedUser(*defaults));
}

TEST_F(AccountStoreTest, TokenThatCannotBeStoredIsNoSignIn) {
    service.reply("auth/wechat/login", {200, R"({"success":true,"data":{"token":"T","user":{"id":7}}})"});
    auto store = makeStore();
    secrets->failWrites(-25308);
    store->completeLogin("CODE");
    ASSERT_TRUE(pumpUntil([&] { return store->login().kind != Kind::signingIn; }));
    EXPECT_EQ(store->login(), State::loggedOut());
    EXPECT_EQ(store->errorMessage(), std::string(AccountStore::tokenNotStoredText));
    EXPECT_FALSE(storedToken());
    EXPECT_FALSE(AccountStore::cachedUser(*defaults));
    EXPECT_TRUE(log->contains("[Sorvane] account token not stored: "));
    EXPECT_FALSE(log->contains("account signed in"));
}

TEST_F(AccountStoreTest, RestartShowsCachedUserAtOnceAndConfirms) {
    storeToken("TOKEN-1");
    cache(AccountUser{7, "旧名", std::nullopt});
    service.reply(
        "auth/me",
        {200, R"({"success":true,"data":{"id":7,"nickname":"小明","avatarUrl":"https://a.example/7.png"}})"});
    auto store = makeStore();
    store->start();
    time.runPending();
    EXPECT_EQ(store->login(), State::loggedIn(AccountUser{7, "旧名", std::nullopt}));

    ASSERT_TRUE(pumpUntil([&] { return store->login() == State::loggedIn(kUser); }));
    EXPECT_EQ(AccountStore::cachedUser(*defaults), kUser);
    EXPECT_EQ(storedToken(), "TOKEN-1");
    EXPECT_EQ(service.requests().at(0).header("Authorization"), "Bearer TOKEN-1");
    EXPECT_EQ(seen, (std::vector<Kind>{Kind::loggedIn, Kind::loggedIn}));
}

TEST_F(AccountStoreTest, RenewedTokenReplacesStoredOneBeforeUserIsShown) {
    storeToken("OLD");
    service.reply("auth/me", {200, R"({"success":true,"data":{"id":7}})", {{"X-Renewed-Token", "NEW"}}});
    auto store = makeStore();
    std::optional<std::string> tokenWhenShown;
    const auto watch = store->observeLogin([&](const State& s) {
        if (s.kind == Kind::loggedIn) tokenWhenShown = storedToken();
    });
    store->refresh();
    ASSERT_TRUE(pumpUntilKind(*store, Kind::loggedIn));
    EXPECT_EQ(tokenWhenShown, "NEW");
    EXPECT_EQ(storedToken(), "NEW");
}

TEST_F(AccountStoreTest, ExpiredTokenSignsOutAndFetchesConfigAgain) {
    consent();
    storeToken("EXPIRED");
    cache(kUser);
    service.reply("auth/me", {200, R"({"success":true,"data":{"id":7,"tokenExpired":true}})"});
    service.reply("auth/wechat/config", {200, kConfigOK});
    auto store = makeStore();
    store->start();
    ASSERT_TRUE(pumpUntilKind(*store, Kind::showingQR));
    EXPECT_FALSE(storedToken());
    EXPECT_FALSE(defaults->value("SorvaneAccountUser"));
    EXPECT_EQ(seen, (std::vector<Kind>{Kind::loggedIn, Kind::loadingQR, Kind::showingQR}));
    // The new QR fetch goes out without the dead token.
    EXPECT_FALSE(service.requests().back().header("Authorization"));
}

TEST_F(AccountStoreTest, UnreachableServiceKeepsCachedUserWithText) {
    storeToken("T");
    cache(kUser);
    auto store = makeStore(closedURL());
    store->start();
    ASSERT_TRUE(pumpUntil([&] { return store->errorMessage().has_value(); }));
    EXPECT_EQ(store->login(), State::loggedIn(kUser));
    EXPECT_FALSE(store->errorMessage()->empty());
    EXPECT_EQ(log->messages(),
              (std::vector<std::string>{"[Sorvane] account request failed: URLError(-1004)"}));
    EXPECT_EQ(storedToken(), "T");
}

TEST_F(AccountStoreTest, UnreachableServiceWithoutCachedUserKeepsTheSignInUnnamed) {
    storeToken("T");
    auto store = makeStore(closedURL());
    store->start();
    ASSERT_TRUE(pumpUntilKind(*store, Kind::loggedIn));
    EXPECT_EQ(store->login(), State::loggedIn(std::nullopt));
    EXPECT_TRUE(store->errorMessage());
    EXPECT_EQ(storedToken(), "T");
}

TEST_F(AccountStoreTest, SignOutRevokesStoredTokenThenFetchesQR) {
    consent();
    storeToken("T");
    cache(kUser);
    service.reply("auth/logout", {200, R"({"success":true})"});
    service.reply("auth/wechat/config", {200, kConfigOK});
    auto store = makeStore();
    store->setLogin(State::loggedIn(kUser));
    seen.clear();
    store->logout();
    EXPECT_EQ(store->login(), State::loggedIn(kUser));  // nothing changes at once
    ASSERT_TRUE(pumpUntilKind(*store, Kind::showingQR));
    EXPECT_FALSE(storedToken());
    EXPECT_FALSE(defaults->value("SorvaneAccountUser"));

    auto logout = service.requests().at(0);
    EXPECT_EQ(logout.method, "POST");
    EXPECT_EQ(logout.path, "auth/logout");
    EXPECT_EQ(logout.header("Authorization"), "Bearer T");
    EXPECT_FALSE(logout.header("Content-Type"));
    EXPECT_EQ(logout.body, "");
    EXPECT_TRUE(log->messages().empty());
}

TEST_F(AccountStoreTest, SignOutWithServiceDownStillClearsEverything) {
    storeToken("T");
    cache(kUser);
    auto store = makeStore(closedURL());
    store->setLogin(State::loggedIn(kUser));
    store->logout();
    ASSERT_TRUE(pumpUntilKind(*store, Kind::loggedOut));
    EXPECT_FALSE(storedToken());
    EXPECT_FALSE(defaults->value("SorvaneAccountUser"));
    EXPECT_FALSE(store->errorMessage());
    EXPECT_EQ(log->messages(), (std::vector<std::string>{"[Sorvane] account logout: URLError(-1004)"}));
}

TEST_F(AccountStoreTest, RetryKeepsOnlyTheLatestFailure) {
    consent();
    service.reply("auth/wechat/config", {500, "<html>oops</html>", {}, 300ms});
    service.reply("auth/wechat/config", {200, kConfigOK});
    auto store = makeStore();
    store->beginLogin();
    ASSERT_TRUE(pumpUntil([&] { return service.count("auth/wechat/config") == 1; }));
    store->beginLogin();
    ASSERT_TRUE(pumpUntilKind(*store, Kind::showingQR));
    // The first fetch fails after the second has succeeded: logged, nothing more.
    ASSERT_TRUE(pumpUntil([&] { return log->contains("http(500)"); }));
    time.runPending();
    EXPECT_EQ(store->login(), State::showingQR(kConfig));
    EXPECT_FALSE(store->errorMessage());
    EXPECT_EQ(log->messages(), (std::vector<std::string>{"[Sorvane] account request failed: http(500)"}));
}

TEST_F(AccountStoreTest, RetryKeepsOnlyTheLatestConfiguration) {
    consent();
    service.reply("auth/wechat/config",
                  {200, R"({"success":true,"data":{"appId":"stale","redirectUri":"r"}})", {}, 100ms});
    service.reply("auth/wechat/config", {200, kConfigOK, {}, 400ms});
    auto store = makeStore();
    store->beginLogin();
    ASSERT_TRUE(pumpUntil([&] { return service.count("auth/wechat/config") == 1; }));
    store->beginLogin();
    ASSERT_TRUE(pumpUntilKind(*store, Kind::showingQR));
    EXPECT_EQ(store->login(), State::showingQR(kConfig));
    EXPECT_EQ(seen, (std::vector<Kind>{Kind::loadingQR, Kind::loadingQR, Kind::showingQR}));
}

TEST_F(AccountStoreTest, LatestConfigurationFailureLogsOutWithText) {
    consent();
    service.reply("auth/wechat/config", {200, R"({"success":false,"error":"二维码服务维护中"})"});
    auto store = makeStore();
    store->beginLogin();
    ASSERT_TRUE(pumpUntilKind(*store, Kind::loggedOut));
    EXPECT_EQ(store->errorMessage(), "二维码服务维护中");
    EXPECT_EQ(log->messages(), (std::vector<std::string>{"[Sorvane] account request failed: server"}));
}

TEST_F(AccountStoreTest, ConsentStartsQRFetchWhileLoggedOut) {
    service.reply("auth/wechat/config", {200, kConfigOK});
    auto store = makeStore();
    store->start();
    time.runPending();
    ASSERT_EQ(store->login(), State::loggedOut());

    store->setTermsAccepted(true);
    EXPECT_EQ(store->login(), State::loadingQR());
    EXPECT_EQ(stateFile.termsAcceptedVersion(), "2026-09-15");
    EXPECT_TRUE(log->contains("[Sorvane] terms accepted version=2026-09-15"));
    ASSERT_TRUE(pumpUntilKind(*store, Kind::showingQR));
}

TEST_F(AccountStoreTest, ConsentWhileSignedInOnlyRecordsIt) {
    auto store = makeStore();
    store->setLogin(State::loggedIn(kUser));
    store->setTermsAccepted(true);
    EXPECT_TRUE(store->termsAccepted());
    EXPECT_EQ(store->login(), State::loggedIn(kUser));
    EXPECT_EQ(stateFile.termsAcceptedVersion(), "2026-09-15");
    settle();
    EXPECT_EQ(service.requests().size(), 0u);
}

TEST_F(AccountStoreTest, WithdrawingConsentWhileLoadingDropsTheConfiguration) {
    consent();
    ASSERT_TRUE(stateFile.update([](nlohmann::json& o) { o["welcomeShownAt"] = "2026-12-06T14:38:50Z"; }));
    service.reply("auth/wechat/config", {200, kConfigOK, {}, 100ms});
    auto store = makeStore();
    store->beginLogin();
    store->setTermsAccepted(false);
    EXPECT_EQ(store->login(), State::loggedOut());
    EXPECT_FALSE(stateFile.termsAcceptedVersion());
    EXPECT_TRUE(stateFile.welcomeWasShown());
    // The late configuration, once it is back, changes nothing.
    ASSERT_TRUE(testing::waitUntil([&] { return time.pendingCount() > 0; }));
    EXPECT_EQ(service.count("auth/wechat/config"), 1u);
    time.runPending();
    EXPECT_EQ(store->login(), State::loggedOut());
}

TEST_F(AccountStoreTest, WithdrawingConsentHidesQRButKeepsSignIn) {
    consent();
    service.reply("auth/wechat/config", {200, kConfigOK});
    auto store = makeStore();
    store->setLogin(State::showingQR(kConfig));
    store->setTermsAccepted(false);
    EXPECT_EQ(store->login(), State::loggedOut());

    store->setTermsAccepted(true);
    ASSERT_TRUE(pumpUntilKind(*store, Kind::showingQR));
    store->setLogin(State::loggedIn(kUser));
    store->setTermsAccepted(false);
    EXPECT_EQ(store->login(), State::loggedIn(kUser));
}

TEST_F(AccountStoreTest, SettingConsentToItsValueDoesNothing) {
    auto store = makeStore();
    int changes = 0;
    const auto watch = store->observeChanges([&] { ++changes; });
    store->setTermsAccepted(false);
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(std::filesystem::exists(stateFile.url));
    EXPECT_TRUE(log->messages().empty());
}

TEST_F(AccountStoreTest, ObserversHearEveryAssignmentBeforeItTakesEffect) {
    auto store = makeStore();
    std::vector<std::pair<Kind, Kind>> heard;  // (old, new)
    int changes = 0;
    const auto loginWatch =
        store->observeLogin([&](const State& next) { heard.emplace_back(store->login().kind, next.kind); });
    auto changeWatch = store->observeChanges([&] { ++changes; });
    store->setLogin(State::loggedOut());
    store->setLogin(State::loggedOut());
    store->setErrorMessage(std::nullopt);
    EXPECT_EQ(heard, (std::vector<std::pair<Kind, Kind>>{{Kind::checking, Kind::loggedOut},
                                                         {Kind::loggedOut, Kind::loggedOut}}));
    EXPECT_EQ(changes, 3);
    changeWatch.reset();
    store->setErrorMessage("x");
    EXPECT_EQ(changes, 3);
}

// A view that drops another's watch while it redraws: the dropped one hears
// nothing more, not even of the change under way; the remover itself ends
// its own call safely.
TEST_F(AccountStoreTest, ObserversRemovedDuringANotificationAreNotCalled) {
    auto store = makeStore();
    std::vector<std::string> heard;
    ObserverSubscription first, later, laterLogin;
    first = store->observeChanges([&] {
        heard.push_back("first");
        first.reset();
        later.reset();
        laterLogin.reset();
    });
    later = store->observeChanges([&] { heard.push_back("later"); });
    laterLogin = store->observeLogin([&](const State&) { heard.push_back("login"); });
    store->setLogin(State::loggedOut());
    store->setErrorMessage("x");
    EXPECT_EQ(heard, std::vector<std::string>{"first"});
}

TEST_F(AccountStoreTest, CorruptCacheIsIgnored) {
    defaults->setValue("SorvaneAccountUser", "not data");
    EXPECT_FALSE(AccountStore::cachedUser(*defaults));
    defaults->setData("SorvaneAccountUser", R"({"id":"7"})");
    EXPECT_FALSE(AccountStore::cachedUser(*defaults));
    EXPECT_TRUE(defaults->value("SorvaneAccountUser"));  // left as it was
}

TEST_F(AccountStoreTest, DestroyingTheStoreEndsItsCalls) {
    storeToken("T");
    service.reply("auth/me", {200, R"({"success":true,"data":{"id":7}})", {}, 10s});
    auto store = makeStore();
    store->start();
    ASSERT_TRUE(pumpUntil([&] { return service.count("auth/me") == 1; }));
    auto started = std::chrono::steady_clock::now();
    store.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    time.runPending();  // the cancelled result finds no store
    EXPECT_TRUE(log->messages().empty());
}

TEST(AccountStorePreview, ShowsGivenFieldsAndDoesNothing) {
    testing::ScopedLogCapture log;
    testing::VirtualTime time;
    auto store = AccountStore::preview(time, State::loggedIn(kUser), "网络不可用", true);
    EXPECT_EQ(store->login(), State::loggedIn(kUser));
    EXPECT_EQ(store->errorMessage(), "网络不可用");
    EXPECT_TRUE(store->termsAccepted());
    EXPECT_EQ(store->deviceID().size(), 36u);
    EXPECT_FALSE(store->credentials().token());
    EXPECT_NE(store->stateFile().url.parent_path().filename().string().find("sorvane-account-preview-"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(store->stateFile().url.parent_path()));
    EXPECT_EQ(time.pendingCount(), 0u);
    EXPECT_TRUE(log->messages().empty());
}

}  // namespace
}  // namespace sorvane
