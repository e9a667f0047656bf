#pragma once
// Hides an API key in texts that leave the process (error bodies, logs).
#include <cstddef>
#include <string>
#include <string_view>

namespace sorvane::KeyRedaction {

inline constexpr std::string_view placeholder = "<redacted>";
// Shorter keys are left alone: they would blank out ordinary words.
inline constexpr std::size_t minimumKeyCharacters = 8;

// Every occurrence of `key` (literal, case-sensitive) replaced by the
// placeholder, when the key has at least minimumKeyCharacters Characters.
std::string redact(std::string_view text, std::string_view key);

}  // namespace sorvane::KeyRedaction
