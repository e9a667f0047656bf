// The QR card, the account page and the home page's sign-in card, offscreen,
// over a real AccountStore and the loopback account service, with a fake web
// engine.
#include <QCheckBox>
#include <QMouseEvent>
#include <fstream>

#include "app/settings/account/AccountErrorRow.h"
#include "app/settings/account/AccountPage.h"
#include "app/settings/account/AccountStoreWatch.h"
#include "app/settings/account/AccountSummaryRow.h"
#include "app/settings/account/WeChatLoginQR.h"
#include "app/settings/account/WeChatQRWebView.h"
#include "app/settings/account/WeChatSignInCard.h"
#include "app/settings/blocks/PageHero.h"
#include "tests/app/settings/account/AccountViewHarness.h"
#include "tests/support/RecordingUrlOpener.h"

namespace sorvane {
namespace {

using Content = WeChatLoginQR::Content;
using State = AccountStore::LoginState;
using Kind = State::Kind;
using testing::kConfigReply;
using testing::kLoginReply;
using testing::pumpFor;
using testing::pumpUntil;

constexpr const char* kMeReply = R"({"success":true,"data":{"id":7,"nickname":"小明"}})";

const QString kHint = QStringLiteral("勾选上方的同意后，这里显示登录二维码");

class WeChatLoginQRTest : public testing::AccountViewTest {
protected:
    // The state of the page the card's web view loaded.
    static std::string pageState(WeChatLoginQR& card) {
        auto* view = card.webView();
        return view && view->state() ? *view->state() : std::string();
    }
    void redirect(const std::string& query) {
        ASSERT_TRUE(engine.last);
        // The policy cancels the redirect itself.
        EXPECT_FALSE(engine.last->navigate(QString::fromStdString("https://r.example/cb?" + query)));
    }
};

TEST_F(WeChatLoginQRTest, ContentFollowsConsentThenLoginState) {
    const WeChatOAuthConfig config{"wx1", "https://r.example/cb"};
    struct Case {
        State login;
        Content withConsent;
    };
    const Case cases[] = {
        {State::showingQR(config), Content::webView}, {State::loggedIn({7, "小明", {}}), Content::progress},
        {State::checking(), Content::progress},       {State::loggedOut(), Content::fetchButton},
        {State::loadingQR(), Content::progress},      {State::signingIn(), Content::signingIn},
    };
    for (const auto& c : cases) {
        for (bool consent : {false, true}) {
            auto store = AccountStore::preview(QtMainQueue::shared(), c.login, std::nullopt, consent);
            WeChatLoginQR card(*store, kHint, &engine);
            const Content expected = consent ? c.withConsent : Content::consentHint;
            EXPECT_EQ(card.content(), expected) << toString(c.login.kind) << " consent " << consent;
            EXPECT_EQ(card.size(), QSize(340, 400));
            EXPECT_EQ(showsText(card, kHint), !consent);
            EXPECT_EQ(showsText(card, QStringLiteral("获取登录二维码")), expected == Content::fetchButton);
            EXPECT_EQ(showsText(card, QStringLiteral("正在登录…")), expected == Content::signingIn);
            EXPECT_EQ(card.webView() != nullptr, expected == Content::webView);
        }
    }
    // The one QR page was WeChat's, with the state of its view.
    ASSERT_EQ(engine.made, 1);
}

TEST_F(WeChatLoginQRTest, TickingConsentLoadsTheQRPageAndTheRightStateSignsIn) {
    service.reply("auth/wechat/config", {200, kConfigReply});
    service.reply("auth/wechat/login", {200, kLoginReply});
    auto store = makeStore(false);
    WeChatLoginQR card(*store, kHint, &engine);
    store->start();
    ASSERT_TRUE(pumpUntil([&] { return store->login().is(Kind::loggedOut); }));
    pumpFor(std::chrono::milliseconds(100));  // nothing to wait for: the redraw keeps the hint
    EXPECT_EQ(card.content(), Content::consentHint);

    store->setTermsAccepted(true);
    ASSERT_TRUE(pumpUntil([&] { return card.content() == Content::webView; }));
    ASSERT_EQ(engine.made, 1);
    const std::string state = pageState(card);
    ASSERT_EQ(state.size(), 32u);
    ASSERT_EQ(engine.last->loads.size(), 1u);
    EXPECT_EQ(
        engine.last->loads[0].toString(QUrl::FullyEncoded).toStdString(),
        "https://open.weixin.qq.com/connect/qrconnect?appid=wx1&redirect_uri=https%3A%2F%2Fr.example%2Fcb"
        "&response_type=code&scope=snsapi_login&state=" +
            state + "#wechat_redirect");
    EXPECT_TRUE(card.webView()->loadTimerActive());
    // WeChat's own pages load.
    EXPECT_TRUE(engine.last->navigate(QStringLiteral("https://open.weixin.qq.com/connect/qrconnect?x=1")));

    redirect("code=C1&state=" + state);
    ASSERT_TRUE(pumpUntil([&] { return store->login().is(Kind::loggedIn); }));
    EXPECT_EQ(service.requests().back().body, R"({"code":"C1"})");
    EXPECT_FALSE(store->errorMessage());
    ASSERT_TRUE(pumpUntil([&] { return card.content() == Content::progress; }));
    EXPECT_EQ(card.webView(), nullptr);
}

TEST_F(WeChatLoginQRTest, FailuresDropToTheButtonWithTheirText) {
    service.reply("auth/wechat/config", {200, kConfigReply});
    auto store = makeStore(true);
    WeChatLoginQR card(*store, kHint, &engine);
    auto showQR = [&] { ASSERT_TRUE(pumpUntil([&] { return card.content() == Content::webView; })); };
    store->start();
    showQR();
    const std::string firstState = pageState(card);
    QPointer<WeChatQRWebView> firstView = card.webView();

    redirect("code=C1&state=OTHER");
    ASSERT_TRUE(pumpUntil([&] { return card.content() == Content::fetchButton; }));
    EXPECT_EQ(store->errorMessage(), "登录校验失败，请重新扫码。");
    EXPECT_TRUE(pumpUntil([&] { return firstView.isNull(); }));
    EXPECT_EQ(service.count("auth/wechat/login"), 0u);

    // The button fetches a new code; its page has a new state.
    ASSERT_TRUE(click(card, QStringLiteral("获取登录二维码")));
    EXPECT_FALSE(store->errorMessage());
    showQR();
    EXPECT_NE(pageState(card), firstState);
    // A cancelled navigation is no failure: nothing to wait for.
    engine.last->end({WebLoadEnd::Status::stopped, -3, false});
    pumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(card.content(), Content::webView);
    engine.last->end({WebLoadEnd::Status::failed, -102, false});
    ASSERT_TRUE(pumpUntil([&] { return card.content() == Content::fetchButton; }));
    EXPECT_EQ(store->errorMessage(), "未能连接到服务器。");

    // A redirect without a code, then an engine that cannot start.
    store->beginLogin();
    showQR();
    redirect("error=denied&state=" + pageState(card));
    ASSERT_TRUE(pumpUntil([&] { return card.content() == Content::fetchButton; }));
    EXPECT_EQ(store->errorMessage(), "微信授权已取消或失败，请重新扫码。");
    engine.refuse = true;
    store->beginLogin();
    ASSERT_TRUE(pumpUntil([&] { return store->errorMessage() == "未知错误"; }));
    EXPECT_TRUE(log->contains("[Sorvane] web view not made: no engine here"));
}

TEST_F(WeChatLoginQRTest, WithdrawingConsentReplacesThePageWithTheHint) {
    service.reply("auth/wechat/config", {200, kConfigReply});
    auto store = makeStore(true);
    WeChatLoginQR card(*store, kHint, &engine);
    store->start();
    ASSERT_TRUE(pumpUntil([&] { return card.content() == Content::webView; }));
    QPointer<WeChatQRWebView> view = card.webView();

    store->setTermsAccepted(false);
    ASSERT_TRUE(pumpUntil([&] { return card.content() == Content::consentHint; }));
    EXPECT_TRUE(pumpUntil([&] { return view.isNull(); }));
    EXPECT_TRUE(showsText(card, kHint));
    EXPECT_TRUE(store->login().is(Kind::loggedOut));
}

class AccountPagesTest : public testing::AccountViewTest {
protected:
    // The order in which the visible top-level blocks of the page stand.
    static std::vector<QWidget*> shownBlocks(AccountPage& page) {
        std::vector<QWidget*> blocks;
        for (QWidget* block : {static_cast<QWidget*>(page.hero()), page.errorBanner(), page.signedInSection(),
                               page.signInSection()}) {
            if (block->isVisibleTo(&page)) blocks.push_back(block);
        }
        std::sort(blocks.begin(), blocks.end(), [&](QWidget* a, QWidget* b) {
            return a->mapTo(&page, QPoint()).y() < b->mapTo(&page, QPoint()).y();
        });
        return blocks;
    }
    void signIn(AccountStore& store) {
        ASSERT_TRUE(secrets->write("T0", "brindor-auth-token"));
        store.start();
        ASSERT_TRUE(pumpUntil([&] { return store.login().is(Kind::loggedIn); }));
    }
    std::string stateFileText() {
        std::ifstream in(dir.path() / "state.json");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    testing::RecordingUrlOpener opener;
};

TEST_F(AccountPagesTest, PageFollowsTheStore) {
    service.reply("auth/wechat/config", {200, kConfigReply});
    auto store = makeStore(false);
    AccountPage page(*store, opener, &engine);
    page.resize(760, 1000);
    page.show();
    store->start();
    ASSERT_TRUE(pumpUntil([&] { return store->login().is(Kind::loggedOut); }));
    EXPECT_TRUE(pumpUntil([&] {
        return shownBlocks(page) == std::vector<QWidget*>{page.hero(), page.signInSection()};
    }));
    EXPECT_EQ(page.card()->content(), Content::consentHint);
    EXPECT_TRUE(showsText(page, QStringLiteral("中文输入不需要登录。")));
    EXPECT_TRUE(showsText(
        page, QStringLiteral("中文模式完全在本机。Sorvane模式的句子经 api.sorvane.example 转交 "
                             "DeepSeek 整理，服务器不保存句子；用自己的 Key 时直接发往 DeepSeek。")));

    // Ticking the box fetches the QR code at once.
    page.consentBox()->click();
    ASSERT_TRUE(pumpUntil([&] { return page.card()->content() == Content::webView; }));
    EXPECT_TRUE(store->termsAccepted());

    // A code with the right state signs in and shows the user row.
    service.reply("auth/wechat/login", {200, kLoginReply});
    ASSERT_TRUE(engine.last);
    EXPECT_FALSE(engine.last->navigate(
        QString::fromStdString("https://r.example/cb?code=C1&state=" + *page.card()->webView()->state())));
    ASSERT_TRUE(pumpUntil([&] { return page.signedInSection()->isVisibleTo(&page); }));
    EXPECT_EQ(page.userName()->text(), QStringLiteral("小明"));
    EXPECT_TRUE(showsText(page, QStringLiteral("已用微信登录")));
    EXPECT_FALSE(page.signInSection()->isVisibleTo(&page));
    EXPECT_EQ(page.hero()->subtitle()->text(),
              QStringLiteral("Sorvane AI 把中英混输整理成通顺的英文，还能帮你续写。"));
}

TEST_F(AccountPagesTest, ErrorRowStandsBetweenHeroAndSignedInSectionAndRetryClearsItFirst) {
    // A cached user with a token: shown at once; the user call then fails.
    defaults->setData("SorvaneAccountUser", *AccountUser{7, "", std::nullopt}.encoded());
    ASSERT_TRUE(secrets->write("T0", "brindor-auth-token"));
    service.reply("auth/me", {500, R"({"success":false,"error":"维护中"})"});
    service.reply("auth/me", {200, kMeReply});  // for the retry
    auto store = makeStore(true);
    AccountPage page(*store, opener, &engine);
    page.resize(760, 1000);
    page.show();
    store->start();
    ASSERT_TRUE(pumpUntil([&] { return store->errorMessage().has_value(); }));
    EXPECT_TRUE(pumpUntil([&] {
        return shownBlocks(page) ==
               std::vector<QWidget*>{page.hero(), page.errorBanner(), page.signedInSection()};
    }));
    // An empty nickname is no name.
    EXPECT_EQ(page.userName()->text(), QStringLiteral("微信用户"));
    const QString failure = QString::fromStdString(*store->errorMessage());
    EXPECT_TRUE(showsText(page, failure));

    // A long text wraps instead of being cut.
    std::string longText;
    for (int i = 0; i < 30; ++i) longText += "很长的错误说明 ";
    store->setErrorMessage(longText);
    EXPECT_TRUE(pumpUntil([&] { return page.errorBanner()->height() > 60; })) << page.errorBanner()->height();

    // The retry clears the text before the new attempt, whose failure shows again.
    const std::size_t calls = service.count("auth/me");
    ASSERT_TRUE(click(page, QStringLiteral("重试")));
    EXPECT_FALSE(store->errorMessage());
    EXPECT_FALSE(page.errorBanner()->isVisibleTo(&page));
    ASSERT_TRUE(pumpUntil(
        [&] { return service.count("auth/me") == calls + 1 && page.userName()->text() == "小明"; }));
}

TEST_F(AccountPagesTest, SignOutKeepsTheUserRowUntilTheServiceAnswers) {
    service.reply("auth/me", {200, kMeReply});
    // Held until the test releases it.
    service.reply("auth/logout", {200, R"({"success":true})", {}, std::chrono::seconds(30)});
    service.reply("auth/wechat/config", {200, kConfigReply});
    auto store = makeStore(true);
    AccountPage page(*store, opener, &engine);
    page.show();
    signIn(*store);
    ASSERT_TRUE(pumpUntil([&] { return page.signedInSection()->isVisibleTo(&page); }));

    ASSERT_TRUE(click(page, QStringLiteral("退出登录")));
    ASSERT_TRUE(pumpUntil([&] { return service.count("auth/logout") == 1; }));
    EXPECT_TRUE(page.signedInSection()->isVisibleTo(&page));  // the service has not answered yet
    service.release();
    ASSERT_TRUE(pumpUntil([&] { return page.signInSection()->isVisibleTo(&page); }));
    EXPECT_FALSE(page.signedInSection()->isVisibleTo(&page));
    EXPECT_FALSE(secrets->read("brindor-auth-token"));
    // With consent, a new QR code is on its way.
    ASSERT_TRUE(pumpUntil([&] { return page.card()->content() == Content::webView; }));
}

TEST_F(AccountPagesTest, SignInCardLayoutsConsentInBothStoresAndRetry) {
    service.reply("auth/wechat/config", {200, kConfigReply});
    auto store = makeStore(false);
    MacBillingStore::Services services;
    services.file = MacBillingStateFile(dir.path() / "billing.json");
    services.stateFile = AppStateFile{dir.path() / "state.json"};
    services.keyStore = {[](std::string_view) -> Expected<void, Secrets::KeychainError> { return {}; },
                         [] { return std::optional<std::string>(); },
                         []() -> Expected<void, Secrets::KeychainError> { return {}; }};
    services.hasToken = [] { return false; };
    MacBillingStore billing(services, QtMainQueue::shared());

    std::vector<std::string> order;
    const auto accountWatch = store->observeChanges([&] {
        if (order.empty() || order.back() != "account") order.push_back("account");
    });
    const auto billingWatch = billing.observeChanges([&] { order.push_back("billing"); });

    // Both layouts.
    for (bool stacked : {false, true}) {
        WeChatSignInCard card(*store, billing, stacked, opener, &engine);
        card.resize(stacked ? 500 : 760, 900);
        card.show();
        ASSERT_TRUE(pumpUntil([&] { return testing::laidOut(card); }));
        const QPoint qr = card.card()->mapTo(&card, QPoint());
        const QPoint consent = card.consentBox()->mapTo(&card, QPoint());
        EXPECT_EQ(card.points().front(), stacked ? QStringLiteral("打开手机微信，扫一扫下方二维码")
                                                 : QStringLiteral("打开手机微信，扫一扫右侧二维码"));
        if (stacked) {
            EXPECT_GT(qr.y(), consent.y());  // under the text
            EXPECT_NEAR(qr.x() + 170, card.width() / 2, 2);
        } else {
            EXPECT_GT(qr.x(), consent.x());  // beside it, at the top
            EXPECT_EQ(qr.y(), 22);
        }
        EXPECT_FALSE(card.errorRow()->isVisibleTo(&card));
    }

    WeChatSignInCard card(*store, billing, false, opener, &engine);
    card.show();
    store->start();
    ASSERT_TRUE(pumpUntil([&] { return store->login().is(Kind::loggedOut); }));
    order.clear();
    card.consentBox()->click();
    ASSERT_TRUE(store->termsAccepted());
    EXPECT_TRUE(billing.termsAccepted());
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ((std::vector<std::string>{order[0], order[1]}),
              (std::vector<std::string>{"account", "billing"}));
    EXPECT_NE(stateFileText().find(R"("termsAcceptedVersion": "2026-09-15")"), std::string::npos);
    ASSERT_TRUE(pumpUntil([&] { return card.card()->content() == Content::webView; }));

    // An error shows with its retry, which hides it at once and then checks
    // the sign-in again (no token: a new QR code).
    store->setErrorMessage("服务器暂时不可用（503）");
    ASSERT_TRUE(pumpUntil([&] { return card.errorRow()->isVisibleTo(&card); }));
    EXPECT_EQ(card.errorRow()->text()->text(), QStringLiteral("服务器暂时不可用（503）"));
    const auto configCalls = service.count("auth/wechat/config");
    ASSERT_TRUE(click(card, QStringLiteral("重试")));
    EXPECT_FALSE(card.errorRow()->isVisibleTo(&card));
    EXPECT_FALSE(store->errorMessage());
    EXPECT_EQ(service.count("auth/wechat/config"), configCalls);  // the check is a task of its own
    ASSERT_TRUE(pumpUntil([&] { return service.count("auth/wechat/config") == configCalls + 1; }));

    card.consentBox()->click();
    EXPECT_FALSE(store->termsAccepted());
    EXPECT_FALSE(billing.termsAccepted());
    EXPECT_EQ(stateFileText().find("termsAcceptedVersion"), std::string::npos);
    ASSERT_TRUE(pumpUntil([&] { return card.card()->content() == Content::consentHint; }));
    EXPECT_TRUE(showsText(card, QStringLiteral("勾选同意后，这里显示登录二维码")));
}

// A view that replaces its watch (the summary row following another store)
// while a redraw is queued: that redraw goes with the old watch, and the new
// watch's changes in one turn give one redraw.
TEST_F(AccountPagesTest, AReplacedWatchDropsItsQueuedRedraw) {
    auto store = AccountStore::preview(QtMainQueue::shared(), State::loggedOut(), std::nullopt, false);
    QObject view;
    int oldRedraws = 0, newRedraws = 0;
    auto watch = std::make_unique<AccountStoreWatch>(*store, &view, [&] { ++oldRedraws; });
    store->setErrorMessage("x");
    watch = std::make_unique<AccountStoreWatch>(*store, &view, [&] { ++newRedraws; });
    store->setErrorMessage("y");
    store->setErrorMessage(std::nullopt);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(oldRedraws, 0);
    EXPECT_EQ(newRedraws, 1);
}

TEST_F(AccountPagesTest, SummaryRowTitleFromEachSource) {
    using Name = std::optional<std::optional<std::string>>;
    auto signedIn = [](std::optional<std::string> nickname) {
        return AccountStore::preview(QtMainQueue::shared(), State::loggedIn({7, std::move(nickname), {}}),
                                     std::nullopt, true);
    };
    auto checking = AccountStore::preview(QtMainQueue::shared(), State::checking(), std::nullopt, true);
    auto ming = signedIn("小明");
    auto nameless = signedIn(std::nullopt);
    int cacheReads = 0;
    auto cached = [&](std::optional<std::string> nickname) -> AccountSummaryRow::CachedUser {
        return [&cacheReads, nickname]() -> std::optional<AccountUser> {
            ++cacheReads;
            return AccountUser{9, nickname, {}};
        };
    };
    const AccountSummaryRow::CachedUser noCache = [&]() -> std::optional<AccountUser> {
        ++cacheReads;
        return std::nullopt;
    };
    struct Case {
        Name preview;
        AccountStore* store;
        AccountSummaryRow::CachedUser cache;
        QString title;
        bool readsCache;
    };
    const Case cases[] = {
        {Name(std::string("小红")), ming.get(), cached("小白"), QStringLiteral("微信 · 小红"), false},
        {Name(std::in_place, std::nullopt), ming.get(), cached("小白"), QStringLiteral("已登录微信"), false},
        {Name(std::string()), nullptr, cached("小白"), QStringLiteral("已登录微信"), false},
        {std::nullopt, ming.get(), cached("小白"), QStringLiteral("微信 · 小明"), false},
        {std::nullopt, nameless.get(), cached("小白"), QStringLiteral("已登录微信"), false},
        {std::nullopt, checking.get(), cached("小白"), QStringLiteral("微信 · 小白"), true},
        {std::nullopt, nullptr, cached(""), QStringLiteral("已登录微信"), true},
        {std::nullopt, nullptr, noCache, QStringLiteral("已登录微信"), true},
    };
    for (const auto& c : cases) {
        cacheReads = 0;
        EXPECT_EQ(AccountSummaryRow::title(c.preview, c.store, c.cache), c.title) << c.title.toStdString();
        EXPECT_EQ(cacheReads > 0, c.readsCache) << c.title.toStdString();
    }

    // The row follows the model's store and opens the account page from its button only.
    service.reply("auth/me", {200, kMeReply});
    ASSERT_TRUE(secrets->write("T0", "brindor-auth-token"));
    SettingsModel::Inputs inputs;
    inputs.settingsFile.url = dir.path() / "settings.json";
    inputs.postsChanges = false;
    inputs.account = makeStore(true);
    inputs.billing =
        MacBillingStore::preview(false, MacBillingState::KeyStatus::ok, true, true, QtMainQueue::shared());
    inputs.mainQueue = &QtMainQueue::shared();
    SettingsModel model(std::move(inputs));
    AccountSummaryRow row(model, model.billing(), noCache);
    row.resize(600, 62);
    row.show();
    EXPECT_EQ(row.titleText()->text(), QStringLiteral("已登录微信"));
    EXPECT_GE(row.height(), 62);
    model.account()->start();
    ASSERT_TRUE(pumpUntil([&] { return row.titleText()->text() == QStringLiteral("微信 · 小明"); }))
        << toString(model.account()->login().kind) << " " << model.account()->errorMessage().value_or("-");

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 31), QPointF(100, 31), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(100, 31), QPointF(100, 31), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&row, &press);
    QApplication::sendEvent(&row, &release);
    EXPECT_EQ(model.page(), SettingsPage::welcome);
    row.accountButton()->click();
    EXPECT_EQ(model.page(), SettingsPage::account);
}

}  // namespace
}  // namespace sorvane
