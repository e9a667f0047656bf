#include "kit/settings/SettingsHomePresenter.h"

namespace sorvane {
namespace {

using Source = MacBillingState::Source;
using Tile = HomeRow::Tile;

HomeRow readinessRow(bool ready) {
    if (ready)
        return {"keyboard.badge.ellipsis",      Tile::green, "输入法已就绪",
                "已添加Sorvane · 随时开始输入", "✓",         {}};
    return {"keyboard.badge.ellipsis",       Tile::green, "设置输入法",
            "在系统设置里添加Sorvane输入法", {},          SettingsPage::general};
}

// A row that leads to a detail page; the page gives its symbol, tile and title.
HomeRow link(SettingsPage page, std::string subtitle) {
    HomeRow row;
    row.subtitle = std::move(subtitle);
    row.opens = page;
    switch (page) {
        case SettingsPage::hotkeys:
            row.symbol = "command", row.tile = Tile::violet, row.title = "快捷键";
            break;
        case SettingsPage::rhythm:
            row.symbol = "metronome", row.tile = Tile::orange, row.title = "打字节奏";
            break;
        case SettingsPage::general:
            row.symbol = "gearshape", row.tile = Tile::gray, row.title = "通用";
            break;
        case SettingsPage::privacy:
            row.symbol = "lock.shield", row.tile = Tile::teal, row.title = "隐私与数据";
            break;
        default:
            break;
    }
    return row;
}

// While signed in, the card of the route not in use is dimmed.
HomeRouteCard routeCard(Source route, const char* title, const char* symbol, double glow,
                        const char* switchTitle, const HomePageInput& input) {
    HomeRouteCard card;
    card.route = route;
    card.title = title;
    card.symbol = symbol;
    card.glowOpacity = glow;
    card.switchTitle = switchTitle;
    card.inUse = SettingsHomePresenter::inUse(route, input);
    const Source other = route == Source::credits ? Source::ownKey : Source::credits;
    card.dimmed = SettingsHomePresenter::inUse(other, input);
    return card;
}

}  // namespace

bool SettingsHomePresenter::appear(bool isPreview, const std::function<bool()>& enabledInSystem,
                                   bool signedIn) {
    ready_ = isPreview || (enabledInSystem && enabledInSystem());
    watchedSignedIn_ = signedIn;
    return !signedIn;
}

bool SettingsHomePresenter::signedInChanged(bool signedIn) {
    if (!watchedSignedIn_ || *watchedSignedIn_ == signedIn) return false;
    watchedSignedIn_ = signedIn;
    return !signedIn;
}

bool SettingsHomePresenter::inUse(Source route, const HomePageInput& input) {
    if (!input.signedIn) return false;
    const bool ownKey = input.state.usesOwnKey(input.now);
    return route == Source::ownKey ? ownKey : !ownKey;
}

HomePageContent SettingsHomePresenter::content(const HomePageInput& input) const {
    HomePageContent page;
    if (input.signedIn) {
        page.account = HomePageContent::AccountArea::summaryRow;
    } else {
        page.account = input.hasAccountStore ? HomePageContent::AccountArea::signInCard
                                             : HomePageContent::AccountArea::progress;
    }
    page.signInStacked = stacked();
    page.pairStacked = stacked();

    const bool usesOwnKey = input.state.usesOwnKey(input.now);

    HomeRouteCard& proxy = page.proxyCard =
        routeCard(Source::credits, "Kestrum 代理", "circle.hexagongrid", 0.18, "改用代理", input);
    proxy.canSwitch = usesOwnKey;
    proxy.headline = "不用自己的 Key";
    proxy.status = "登录微信即可改写 · 经Kestrum转给 DeepSeek";

    HomeRouteCard& own = page.ownKeyCard =
        routeCard(Source::ownKey, "我的 DeepSeek Key", "key", 0.16, "改用 Key", input);
    own.canSwitch = input.keyShort.has_value();
    own.headline = input.keyShort;
    own.status = input.keyShort ? input.keyStatusText : "还差一步：填写你的 DeepSeek Key";
    own.buttonTitle = input.keyShort ? "管理 Key" : "填写 Key";

    page.message = input.message;

    page.rows.push_back(readinessRow(ready_));
    page.rows.push_back(link(SettingsPage::hotkeys, "切换模式与采纳建议"));
    page.rows.push_back(link(SettingsPage::rhythm, "改写前停顿多久，按你的打字速度"));
    page.rows.push_back(link(SettingsPage::general, "输入法与自动更新"));
    // Where sentences go depends on the stored route alone, signed in or not.
    page.rows.push_back(link(SettingsPage::privacy, usesOwnKey ? "句子直接发往 DeepSeek，不经过Kestrum"
                                                               : "句子经Kestrum转给 DeepSeek，不保存内容"));
    page.rows.push_back({"info.circle", Tile::gray, "关于与支持", {}, input.version, SettingsPage::about});
    return page;
}

}  // namespace sorvane
