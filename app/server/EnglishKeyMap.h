#pragma once
// How the English mode's keys reach the English composer: the editing keys
// by key code, printable characters as typed text, everything else to the
// application.
#include <optional>
#include <string>

#include "kit/english/EnglishComposer.h"
#include "platform/imk/KeyEvent.h"

namespace sorvane::EnglishKeyMap {

// macOS key codes the map knows.
namespace Code {
inline constexpr std::uint16_t returnKey = 36;
inline constexpr std::uint16_t keypadEnter = 76;
inline constexpr std::uint16_t tab = 48;
inline constexpr std::uint16_t backspace = 51;
inline constexpr std::uint16_t escape = 53;
inline constexpr std::uint16_t home = 115;
inline constexpr std::uint16_t end = 119;
inline constexpr std::uint16_t left = 123;
inline constexpr std::uint16_t right = 124;
}  // namespace Code

// The event's characters when they hold no control or format character, no
// unassigned or non-character code point and nothing of the function-key
// range U+F700…U+F8FF; none otherwise (arrows, function keys, empty).
std::optional<std::string> printableText(const KeyEvent& event);

// One key-down of the English mode; true when the composer took it.
bool handleKeyDown(EnglishComposer& composer, const KeyEvent& event);

}  // namespace sorvane::EnglishKeyMap
