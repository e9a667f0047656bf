#pragma once
// Settings models with fixed, repeatable contents, for renders, demos and
// tests: settings in a temporary file of their own that no change is ever
// announced from, preview account and route stores that never reach the
// keychain or the network, and a typing rhythm that is given rather than
// read from the user defaults. The folders they create go when the process
// ends (PreviewFiles). Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit/settings/SettingsModel.h"

namespace sorvane::SettingsPreviews {

inline constexpr std::string_view folderPrefix = "sorvane-settings-preview-";
inline constexpr std::string_view version = "0.2.0";

struct Arguments {
    SettingsPage page = SettingsPage::welcome;
    std::unique_ptr<AccountStore> account;
    AppSettings settings;
    // None: a preview store on the proxy route, signed in, terms accepted.
    std::unique_ptr<MacBillingStore> billing;
    // None: the account row follows the account; a present none: a signed-in
    // account without a nickname; a name: that name.
    std::optional<std::optional<std::string>> accountName;
    // None: an empty snapshot, whatever the user defaults hold.
    std::optional<TypingRhythm::Snapshot> rhythm;
};

std::unique_ptr<SettingsModel> model(Arguments arguments, MainQueue& mainQueue);

struct State {
    std::string name;
    std::unique_ptr<SettingsModel> model;
};

// The seventeen named states in their fixed order, every model built afresh.
std::vector<State> states(MainQueue& mainQueue);

}  // namespace sorvane::SettingsPreviews
