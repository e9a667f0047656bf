#pragma once
// Which of Tab and Shift+Tab takes the whole suggestion in the English mode.
#include <array>
#include <optional>
#include <string_view>

namespace sorvane {

enum class AcceptKeys {
    tabNormalized,  // Tab: the rewrite only; Shift+Tab: rewrite and continuation
    tabFull,        // Tab: rewrite and continuation; Shift+Tab: the rewrite only
};

inline constexpr std::array<AcceptKeys, 2> allAcceptKeys{AcceptKeys::tabNormalized, AcceptKeys::tabFull};

constexpr std::string_view rawValue(AcceptKeys keys) {
    switch (keys) {
        case AcceptKeys::tabNormalized:
            return "tabNormalized";
        case AcceptKeys::tabFull:
            return "tabFull";
    }
    return "tabNormalized";
}

// Case-sensitive: "TabFull" or "" give no value.
constexpr std::optional<AcceptKeys> acceptKeysFromRaw(std::string_view raw) {
    for (AcceptKeys keys : allAcceptKeys) {
        if (rawValue(keys) == raw) return keys;
    }
    return std::nullopt;
}

}  // namespace sorvane
