// The sign-in web view on the real engine (Qt WebEngine, headless), with a
// loopback server standing in for WeChat's page and for the redirect address.
// Skipped, with the engine's reason, where the engine cannot start.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <atomic>

#include "app/settings/account/WeChatQRWebView.h"
#include "app/settings/account/WebEngineModule.h"
#include "kit/account/AccountStore.h"
#include "platform/qt/QtMainQueue.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FakeAccountService.h"
#include "tests/support/MemoryUserDefaults.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;

QApplication& engineApp() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
    // The engine shares its GL contexts with the application's; without this
    // before the application object, loading the engine late crashes.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    static int argc = 1;
    static char name[] = "tests_webengine";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

using testing::pumpUntil;

class WeChatQRWebViewEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        engineApp();
        auto loaded = WebEngineModule::factory(SORVANE_BUNDLE_DIR);
        if (!loaded) GTEST_SKIP() << "web engine module: " << loaded.error();
        engine = *loaded;
        if (auto reason = probe()) GTEST_SKIP() << "web engine cannot start offscreen: " << *reason;

        server->Get("/wechat/direct", [this](const httplib::Request& r, httplib::Response& res) {
            res.set_content("<html><body>QR<script>setTimeout(function(){location.href='" + redirect() +
                                "?code=direct&state=" + r.get_param_value("state") +
                                "'},50)</script></body></html>",
                            "text/html");
        });
        server->Get("/wechat/moved", [this](const httplib::Request& r, httplib::Response& res) {
            res.set_redirect(redirect() + "?code=moved&state=" + r.get_param_value("state"), 302);
        });
        server->Get("/wechat/frame", [](const httplib::Request& r, httplib::Response& res) {
            res.set_content("<html><body><iframe src='/wechat/inner?state=" + r.get_param_value("state") +
                                "'></iframe></body></html>",
                            "text/html");
        });
        server->Get("/wechat/inner", [this](const httplib::Request& r, httplib::Response& res) {
            res.set_content("<html><body><script>setTimeout(function(){location.href='" + redirect() +
                                "?code=frame&state=" + r.get_param_value("state") +
                                "'},50)</script></body></html>",
                            "text/html");
        });
        server->Get("/cb", [this](const httplib::Request&, httplib::Response& res) {
            ++redirectRequests;
            res.set_content("signed in", "text/plain");
        });
        server.start();
    }

    // Whether the engine shows a plain page at all; the reason when not.
    std::optional<std::string> probe() {
        static std::optional<std::optional<std::string>> verdict;
        if (verdict) return *verdict;
        testing::LoopbackServer page;
        page->Get("/", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body>ok</body></html>", "text/html");
        });
        page.start();
        std::optional<WebLoadEnd> end;
        std::optional<std::string> failure;
        QWidget host;
        std::string error;
        WebView::Handlers handlers;
        handlers.loadEnded = [&](const WebLoadEnd& e) { end = e; };
        handlers.engineFailed = [&](const std::string& reason) { failure = reason; };
        auto view = engine->make(handlers, &host, error);
        if (!view) return *(verdict = error);
        view->load(QUrl(QString::fromStdString(page.baseURL() + "/")));
        pumpUntil([&] { return end || failure; }, 60s);
        if (failure) return *(verdict = failure);
        if (!end) return *(verdict = std::string("no page loaded within 60 s"));
        if (end->status != WebLoadEnd::Status::succeeded)
            return *(verdict = "a plain page ended with error " + std::to_string(end->errorCode));
        return *(verdict = std::optional<std::string>());
    }

    std::string redirect() const { return server.baseURL() + "/cb"; }

    // The view over `page` in place of WeChat's address, with the page's
    // state in its query; the code goes to an account store.
    std::unique_ptr<WeChatQRWebView> open(const std::string& page) {
        store = std::make_unique<AccountStore>(AccountCredentials(secrets),
                                               AppStateFile{dir.path() / "state.json"}, QtMainQueue::shared(),
                                               AccountStore::Services{service.baseURL(), nullptr, defaults});
        auto view = std::make_unique<WeChatQRWebView>(
            WeChatOAuthConfig{"wx1", redirect()},
            [this](const std::string& code) {
                codes.push_back(code);
                store->completeLogin(code);
            },
            [this](const std::string& text) { errors.push_back(text); }, *engine, nullptr,
            [this, page](const WeChatOAuthConfig&, std::string_view state) -> std::optional<std::string> {
                if (page.starts_with("http")) return page;
                return server.baseURL() + page + "?state=" + std::string(state);
            });
        view->resize(340, 400);
        view->show();
        return view;
    }

    void expectSignedInWith(const std::string& code) {
        auto view = open("/wechat/" + code);
        ASSERT_TRUE(pumpUntil([&] { return !codes.empty() || !errors.empty(); }));
        EXPECT_EQ(codes, std::vector<std::string>{code});
        EXPECT_TRUE(errors.empty()) << errors.front();
        ASSERT_TRUE(pumpUntil([&] { return service.count("auth/wechat/login") == 1; }));
        EXPECT_EQ(service.requests().back().body, R"({"code":")" + code + R"("})");
        // A while longer: the cancelled redirect never reaches the server.
        testing::pumpFor(300ms);
        EXPECT_EQ(redirectRequests.load(), 0);
        EXPECT_FALSE(view->loadTimerActive());
    }

    testing::ScopedLogCapture log;
    testing::TempDir dir;
    WebViewFactory* engine = nullptr;
    testing::LoopbackServer server;
    testing::FakeAccountService service;
    std::shared_ptr<testing::FakeSecretStore> secrets = std::make_shared<testing::FakeSecretStore>();
    std::shared_ptr<testing::MemoryUserDefaults> defaults = std::make_shared<testing::MemoryUserDefaults>();
    std::unique_ptr<AccountStore> store;
    std::atomic<int> redirectRequests{0};
    std::vector<std::string> codes;
    std::vector<std::string> errors;
};

TEST_F(WeChatQRWebViewEngineTest, PageNavigatesToTheRedirect) {
    expectSignedInWith("direct");
}

TEST_F(WeChatQRWebViewEngineTest, ServerRedirectIsCaughtBeforeItIsRequested) {
    expectSignedInWith("moved");
}

TEST_F(WeChatQRWebViewEngineTest, FrameNavigatesToTheRedirect) {
    expectSignedInWith("frame");
}

TEST_F(WeChatQRWebViewEngineTest, RefusedPortGivesTheTransportText) {
    auto view = open("http://127.0.0.1:" + std::to_string(testing::LoopbackServer::closedPort()) + "/qr");
    ASSERT_TRUE(pumpUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors, std::vector<std::string>{"未能连接到服务器。"});
    EXPECT_TRUE(codes.empty());
    EXPECT_FALSE(view->loadTimerActive());
}

}  // namespace
}  // namespace sorvane
