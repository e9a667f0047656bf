#pragma once
// The pages of the settings window. The raw value names a page on the
// command line (--settings <page>) and in the show-settings notification.
#include <array>
#include <optional>
#include <string_view>

namespace sorvane {

enum class SettingsPage { welcome, account, hotkeys, general, about, service, ownKey, privacy, rhythm };

inline constexpr std::array<SettingsPage, 9> allSettingsPages{
    SettingsPage::welcome, SettingsPage::account, SettingsPage::hotkeys,
    SettingsPage::general, SettingsPage::about,   SettingsPage::service,
    SettingsPage::ownKey,  SettingsPage::privacy, SettingsPage::rhythm};

constexpr std::string_view rawValue(SettingsPage page) {
    switch (page) {
        case SettingsPage::welcome:
            return "welcome";
        case SettingsPage::account:
            return "account";
        case SettingsPage::hotkeys:
            return "hotkeys";
        case SettingsPage::general:
            return "general";
        case SettingsPage::about:
            return "about";
        case SettingsPage::service:
            return "service";
        case SettingsPage::ownKey:
            return "ownKey";
        case SettingsPage::privacy:
            return "privacy";
        case SettingsPage::rhythm:
            return "rhythm";
    }
    return "welcome";
}

// Exact, case-sensitive match; none for any other text.
constexpr std::optional<SettingsPage> settingsPageFromRaw(std::string_view raw) {
    for (SettingsPage page : allSettingsPages) {
        if (rawValue(page) == raw) return page;
    }
    return std::nullopt;
}

}  // namespace sorvane
