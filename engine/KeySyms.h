#pragma once
// Conversions from what macOS delivers (virtual key code, characters, flags)
// and from key names ("Control+Shift+a") to RIME keysyms and masks.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/RimeKeyEvent.h"

namespace sorvane::KeySyms {

// Keys whose keysym does not depend on the layout or the character typed.
const std::map<std::uint16_t, std::uint32_t>& fixedKeySyms();
// The unshifted character at each position of the US ANSI layout.
const std::map<std::uint16_t, std::uint32_t>& ansiKeySyms();
// Key names (case-sensitive) in their declaration order.
const std::vector<std::pair<std::string, std::uint32_t>>& namedKeySyms();

// The keysym of a key press. `character` is the UTF-8 text of the one
// character the key produced, if any. Gives KeySym::voidSymbol when the key
// has no keysym.
std::uint32_t keysym(std::uint16_t virtualKey, std::optional<std::string_view> character, bool shift,
                     bool capsLock);

std::optional<std::uint32_t> keysym(std::string_view name);
// "Control+Shift+a", "Release+Shift_L", "Shift+" (the plus key).
std::optional<RimeKeyEvent> keyEvent(std::string_view text);
// The first name of the keysym in sorted order, its character, or "0x%04x".
std::string name(std::uint32_t keysym);

RimeKeyEvent modifierKeyPress(ModifierKey key, std::uint32_t otherModifiers);
RimeKeyEvent modifierKeyRelease(ModifierKey key, std::uint32_t otherModifiers);

}  // namespace sorvane::KeySyms
