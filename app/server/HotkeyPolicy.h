#pragma once
// Which modifier keys count as Shift, and which Shift the settings make the
// Chinese/English toggle.
#include "engine/RimeKeyEvent.h"
#include "kit/settings/AppSettings.h"

namespace sorvane::HotkeyPolicy {

constexpr bool isShift(ModifierKey key) {
    return key == ModifierKey::shiftLeft || key == ModifierKey::shiftRight;
}

constexpr bool isToggleShift(ModifierKey key, ToggleKey toggle) {
    switch (toggle) {
        case ToggleKey::eitherShift:
            return isShift(key);
        case ToggleKey::leftShift:
            return key == ModifierKey::shiftLeft;
        case ToggleKey::rightShift:
            return key == ModifierKey::shiftRight;
        case ToggleKey::off:
            return false;
    }
    return false;
}

}  // namespace sorvane::HotkeyPolicy
