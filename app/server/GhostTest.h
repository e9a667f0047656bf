#pragma once
// A developer switch that makes every marked text visibly ours: with it on,
// " …ghost" is drawn after each non-empty marked text. Read at activation.
#include <optional>
#include <string_view>

#include "platform/files/UserDefaults.h"

namespace sorvane::GhostTest {

inline constexpr std::string_view key = "SorvaneGhostTest";

// The environment variable SorvaneGhostTest when it is set, else the
// standard user defaults' Boolean of the same key.
bool isEnabled();
// The same rule over given sources; `environment` is the variable's value,
// none when unset.
bool isEnabled(std::optional<std::string_view> environment, const UserDefaults* defaults);

// How a text reads as a Boolean: after blanks and an optional sign and
// leading zeros, "Y", "y", "T", "t" or a digit 1 to 9 means true; anything
// else is false. Trailing characters do not matter ("yes", "10", "true!").
bool boolValue(std::string_view text);

}  // namespace sorvane::GhostTest
