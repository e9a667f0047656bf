// The home page's decisions as tables: widths, sign-in state and route, key,
// readiness and the account preparation.
#include <gtest/gtest.h>

#include "kit/SettingsHomePresenter.h"

namespace sorvane {
namespace {

using Source = MacBillingState::Source;
using Area = HomePageContent::AccountArea;

HomePageInput input(bool signedIn, Source route, bool key) {
    HomePageInput in;
    in.signedIn = signedIn;
    in.state = MacBillingState(route, key ? std::optional<std::string>("8f2a") : std::nullopt);
    in.keyShort = key ? std::optional<std::string>("sk-••••8f2a") : std::nullopt;
    in.keyStatusText = key ? "可用 · 改写直连 DeepSeek" : "还没填写 Key";
    in.hasAccountStore = true;
    in.version = "0.1.0";
    return in;
}

TEST(SettingsHomePresenterTest, NarrowWindowsStackTheCardsAndTheSignInCard) {
    const struct {
        double width;
        bool stacked;
    } cases[] = {{0, false}, {599.5, true}, {600, false}, {1, true}, {900, false}};
    for (const auto& c : cases) {
        SettingsHomePresenter p;
        p.setPaneWidth(c.width);
        const auto page = p.content(input(false, Source::credits, false));
        EXPECT_EQ(page.pairStacked, c.stacked) << c.width;
        EXPECT_EQ(page.signInStacked, c.stacked) << c.width;
    }
}

TEST(SettingsHomePresenterTest, RouteCardsFollowSignInRouteAndKey) {
    const struct {
        const char* name;
        bool signedIn;
        Source route;
        bool key;
        Area area;
        bool proxyInUse, proxyDimmed, proxySwitch;
        bool ownInUse, ownDimmed, ownSwitch;
        const char* privacy;
    } cases[] = {
        {"signed out, credits, no key", false, Source::credits, false, Area::signInCard, false, false, false,
         false, false, false, "句子经Kestrum转给 DeepSeek，不保存内容"},
        {"signed out, own key stored", false, Source::ownKey, true, Area::signInCard, false, false, true,
         false, false, true, "句子直接发往 DeepSeek，不经过Kestrum"},
        {"signed in, own key", true, Source::ownKey, true, Area::summaryRow, false, true, true, true, false,
         false, "句子直接发往 DeepSeek，不经过Kestrum"},
        {"signed in, credits, key stored", true, Source::credits, true, Area::summaryRow, true, false, false,
         false, true, true, "句子经Kestrum转给 DeepSeek，不保存内容"},
        {"signed in, credits, no key", true, Source::credits, false, Area::summaryRow, true, false, false,
         false, true, false, "句子经Kestrum转给 DeepSeek，不保存内容"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsHomePresenter p;
        const auto page = p.content(input(c.signedIn, c.route, c.key));
        EXPECT_EQ(page.account, c.area);
        EXPECT_EQ(page.proxyCard.showsInUse(), c.proxyInUse);
        EXPECT_EQ(page.proxyCard.dimmed, c.proxyDimmed);
        EXPECT_EQ(page.proxyCard.showsSwitch(), c.proxySwitch);
        EXPECT_EQ(page.ownKeyCard.showsInUse(), c.ownInUse);
        EXPECT_EQ(page.ownKeyCard.dimmed, c.ownDimmed);
        EXPECT_EQ(page.ownKeyCard.showsSwitch(), c.ownSwitch);
        EXPECT_EQ(page.ownKeyCard.switchTitle, "改用 Key");
        EXPECT_EQ(page.ownKeyCard.headline, c.key ? std::optional<std::string>("sk-••••8f2a") : std::nullopt);
        EXPECT_EQ(page.ownKeyCard.status,
                  c.key ? "可用 · 改写直连 DeepSeek" : "还差一步：填写你的 DeepSeek Key");
        EXPECT_EQ(page.ownKeyCard.buttonTitle, c.key ? "管理 Key" : "填写 Key");
        ASSERT_EQ(page.rows.size(), 6u);
        EXPECT_EQ(page.rows[4].subtitle, c.privacy);
    }
}

TEST(SettingsHomePresenterTest, ReadinessIsSettledOncePerAppearance) {
    bool systemEnabled = false;
    int asked = 0;
    auto enabled = [&] {
        ++asked;
        return systemEnabled;
    };
    SettingsHomePresenter p;
    EXPECT_FALSE(p.ready());
    p.appear(false, enabled, true);
    auto row = p.content(input(true, Source::credits, false)).rows.front();
    EXPECT_EQ(row.title, "设置输入法");
    EXPECT_EQ(row.subtitle, "在系统设置里添加Sorvane输入法");
    EXPECT_EQ(row.value, std::nullopt);
    EXPECT_EQ(row.opens, SettingsPage::general);

    // Enabled meanwhile: the row waits for the next appearance.
    systemEnabled = true;
    EXPECT_EQ(p.content(input(true, Source::credits, false)).rows.front().title, "设置输入法");
    p.appear(false, enabled, true);
    row = p.content(input(true, Source::credits, false)).rows.front();
    EXPECT_EQ(row.title, "输入法已就绪");
    EXPECT_EQ(row.subtitle, "已添加Sorvane · 随时开始输入");
    EXPECT_EQ(row.value, "✓");
    EXPECT_EQ(row.opens, std::nullopt);
    EXPECT_EQ(asked, 2);

    // A preview is ready whatever the system says, and the system is not asked.
    systemEnabled = false;
    p.appear(true, enabled, true);
    EXPECT_TRUE(p.ready());
    EXPECT_EQ(asked, 2);
}

TEST(SettingsHomePresenterTest, SignedOutAsksForTheAccountOnAppearingAndOnEachSignOut) {
    SettingsHomePresenter p;
    EXPECT_FALSE(p.signedInChanged(false));  // not on screen yet
    EXPECT_TRUE(p.appear(false, nullptr, false));
    EXPECT_FALSE(p.signedInChanged(false));  // no change, no second request
    EXPECT_FALSE(p.signedInChanged(true));
    EXPECT_TRUE(p.signedInChanged(false));
    EXPECT_FALSE(p.appear(false, nullptr, true));

    auto in = input(false, Source::credits, false);
    in.hasAccountStore = false;
    EXPECT_EQ(p.content(in).account, Area::progress);
}

TEST(SettingsHomePresenterTest, RowsInOrderWithTheirPages) {
    SettingsHomePresenter p;
    p.appear(true, nullptr, true);
    auto in = input(true, Source::credits, false);
    in.message = "先填写 DeepSeek Key。";
    const auto page = p.content(in);
    EXPECT_EQ(page.message, "先填写 DeepSeek Key。");
    const struct {
        const char* symbol;
        HomeRow::Tile tile;
        const char* title;
        std::optional<std::string> subtitle;
        std::optional<std::string> value;
        std::optional<SettingsPage> opens;
    } expected[] = {
        {"keyboard.badge.ellipsis", HomeRow::Tile::green, "输入法已就绪", "已添加Sorvane · 随时开始输入", "✓",
         std::nullopt},
        {"command", HomeRow::Tile::violet, "快捷键", "切换模式与采纳建议", std::nullopt,
         SettingsPage::hotkeys},
        {"metronome", HomeRow::Tile::orange, "打字节奏", "改写前停顿多久，按你的打字速度", std::nullopt,
         SettingsPage::rhythm},
        {"gearshape", HomeRow::Tile::gray, "通用", "输入法与自动更新", std::nullopt, SettingsPage::general},
        {"lock.shield", HomeRow::Tile::teal, "隐私与数据", "句子经Kestrum转给 DeepSeek，不保存内容",
         std::nullopt, SettingsPage::privacy},
        {"info.circle", HomeRow::Tile::gray, "关于与支持", std::nullopt, "0.1.0", SettingsPage::about},
    };
    ASSERT_EQ(page.rows.size(), std::size(expected));
    for (std::size_t i = 0; i < page.rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(page.rows[i].symbol, expected[i].symbol);
        EXPECT_EQ(page.rows[i].tile, expected[i].tile);
        EXPECT_EQ(page.rows[i].title, expected[i].title);
        EXPECT_EQ(page.rows[i].subtitle, expected[i].subtitle);
        EXPECT_EQ(page.rows[i].value, expected[i].value);
        EXPECT_EQ(page.rows[i].opens, expected[i].opens);
    }
}

}  // namespace
}  // namespace sorvane
