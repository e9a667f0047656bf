// The home page's decisions as tables: widths, sign-in state, route and key,
// and the account preparation.
#include <gtest/gtest.h>

#include "kit/settings/SettingsHomePresenter.h"

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

TEST(SettingsHomePresenterTest, SignedOutAsksForTheAccountOnAppearingAndOnEachSignOut) {
    SettingsHomePresenter p;
    EXPECT_FALSE(p.signedInChanged(false));  // not on screen yet
    EXPECT_TRUE(p.appear(false, nullptr, false));
    EXPECT_FALSE(p.signedInChanged(false));  // no change, no second request
    EXPECT_FALSE(p.signedInChanged(true));
    EXPECT_TRUE(p.signedInChanged(false));
    EXPECT_FALSE(p.appear(true, nullptr, true));
    EXPECT_TRUE(p.ready());  // a preview asks nobody

    auto in = input(false, Source::credits, false);
    in.hasAccountStore = false;
    EXPECT_EQ(p.content(in).account, Area::progress);
}

}  // namespace
}  // namespace sorvane
