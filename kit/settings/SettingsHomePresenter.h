#pragma once
// What the settings window's home page shows, decided without a toolkit:
// whether the input method is ready, which account area stands near the top,
// the two rewrite-route cards (which one is in use, which is dimmed, which
// offers a switch), the narrow-window rule and the rows about this Mac.
//
// The page widget feeds it what the settings model and the route store hold
// and draws the content it gives. Main thread only.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kit/route/MacBillingState.h"
#include "kit/settings/SettingsPage.h"

namespace sorvane {

// What the page reads from the settings model and the route store.
struct HomePageInput {
    bool signedIn = false;
    MacBillingState state;
    std::optional<std::string> message;
    bool isPreview = false;
    std::optional<std::string> keyShort;
    std::string keyStatusText;
    bool hasAccountStore = false;
    std::string version;
    std::chrono::system_clock::time_point now;
};

struct HomeRouteCard {
    MacBillingState::Source route = MacBillingState::Source::credits;
    std::string title;
    std::string symbol;
    double glowOpacity = 0;
    bool inUse = false;
    // Drawn desaturated and faded, without its shadow.
    bool dimmed = false;
    std::string switchTitle;
    bool canSwitch = false;
    // The large line under the header (the masked key on the own-key card).
    std::optional<std::string> headline;
    std::string status;
    // The own-key card's button, which opens `ownKey`.
    std::optional<std::string> buttonTitle;

    // The header's trailing item: "使用中", the switch, or nothing.
    bool showsInUse() const { return inUse; }
    bool showsSwitch() const { return !inUse && canSwitch; }
};

struct HomeRow {
    // The tile colours: the platform's standard green, orange and gray, and
    // two of the page's own.
    enum class Tile { green, violet, orange, gray, teal };

    std::string symbol;
    Tile tile = Tile::gray;
    std::string title;
    std::optional<std::string> subtitle;
    std::optional<std::string> value;
    std::optional<SettingsPage> opens;
};

struct HomePageContent {
    enum class AccountArea { summaryRow, signInCard, progress };

    AccountArea account = AccountArea::progress;
    bool signInStacked = false;
    bool pairStacked = false;
    HomeRouteCard proxyCard;
    HomeRouteCard ownKeyCard;
    std::optional<std::string> message;
    // The readiness row first, then hotkeys, rhythm, general, privacy, about.
    std::vector<HomeRow> rows;
};

class SettingsHomePresenter {
public:
    static constexpr const char* title = "Sorvane输入法";
    static constexpr const char* subtitle = "拼音夹英文，停顿一下就是英文";
    static constexpr const char* serviceHeader = "改写服务";
    static constexpr const char* allServiceSettings = "全部改写设置";
    static constexpr double narrowWidth = 600;

    // The page came on screen: readiness is settled once per appearance (a
    // preview is always ready; `enabledInSystem` is not asked then), and the
    // watch on `signedIn` starts. True when the page must ask the model to
    // prepare the account (signed out).
    bool appear(bool isPreview, const std::function<bool()>& enabledInSystem, bool signedIn);
    // The route store's `signedIn` as it stands now; true when it has turned
    // false, so the account must be prepared.
    bool signedInChanged(bool signedIn);
    // The measured width of the card pair; 0 means not measured.
    void setPaneWidth(double width) { paneWidth_ = width; }

    bool ready() const { return ready_; }
    double paneWidth() const { return paneWidth_; }
    // Narrow: the cards stack and so does the sign-in card.
    bool stacked() const { return paneWidth_ > 0 && paneWidth_ < narrowWidth; }

    // While signed out neither route is in use; signed in, exactly one.
    static bool inUse(MacBillingState::Source route, const HomePageInput& input);

    HomePageContent content(const HomePageInput& input) const;

private:
    bool ready_ = false;
    double paneWidth_ = 0;
    std::optional<bool> watchedSignedIn_;
};

}  // namespace sorvane
