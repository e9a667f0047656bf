// The Shift switching between the Chinese, English and ASCII modes: the
// modifier events, the tap series, carrying a composition from one mode to
// the other, the mode announcements and the settings that shape them.
#include "app/server/HotkeyPolicy.h"
#include "app/server/SorvaneInputController.h"
#include "kit/panel/ModeIndicator.h"
#include "platform/SorvaneLog.h"
#include "platform/Text.h"

namespace sorvane {
namespace {

const char* boolText(bool value) {
    return value ? "true" : "false";
}

// The macOS flag of a modifier key's group.
std::uint64_t groupFlag(ModifierKey key) {
    switch (key) {
        case ModifierKey::shiftLeft:
        case ModifierKey::shiftRight:
            return ModifierFlag::shift;
        case ModifierKey::controlLeft:
        case ModifierKey::controlRight:
            return ModifierFlag::control;
        case ModifierKey::optionLeft:
        case ModifierKey::optionRight:
            return ModifierFlag::option;
        case ModifierKey::commandLeft:
        case ModifierKey::commandRight:
            return ModifierFlag::command;
        case ModifierKey::capsLock:
            return ModifierFlag::capsLock;
    }
    return 0;
}

// The RIME bit a modifier key contributes to the mask.
std::uint32_t ownBit(ModifierKey key) {
    switch (key) {
        case ModifierKey::shiftLeft:
        case ModifierKey::shiftRight:
            return RimeModifier::shift;
        case ModifierKey::controlLeft:
        case ModifierKey::controlRight:
            return RimeModifier::control;
        case ModifierKey::optionLeft:
        case ModifierKey::optionRight:
            return RimeModifier::alt;
        case ModifierKey::commandLeft:
        case ModifierKey::commandRight:
            return RimeModifier::superKey;
        case ModifierKey::capsLock:
            return RimeModifier::lock;
    }
    return 0;
}

}  // namespace

bool SorvaneInputController::handleFlagsChanged(const KeyEvent& event) {
    const std::uint64_t flags = event.modifierFlags & ModifierFlag::deviceIndependentMask;
    const std::uint64_t previous = heldModifiers_;
    heldModifiers_ = flags;

    const auto maybeKey = ModifierKey::fromVirtualKey(event.keyCode);
    if (!chinese_ || !maybeKey) {
        shiftTaps_.clear();
        SorvaneLog::log("[Sorvane] flagsChanged ignored keyCode=" + std::to_string(event.keyCode) +
                        " flags=" + std::to_string(flags) + " engine=" + boolText(chinese_ != nullptr));
        return false;
    }
    const ModifierKey key = *maybeKey;
    const std::string keyName(key.rawValue());

    const bool wasAscii = chinese_->isAsciiMode();
    const std::size_t bufferLength = english_->buffer().size();
    const std::uint32_t previousMask =
        RimeModifier::mask(previous & ModifierFlag::shift, previous & ModifierFlag::control,
                           previous & ModifierFlag::option, previous & ModifierFlag::command, capsLockOn_);

    const std::optional<bool> isPress = modifierPress(key, event, flags, previous);
    if (!isPress) return false;
    const bool press = *isPress;
    const std::string action = press ? "press" : "release";

    if (silencedBySecureInput()) return false;

    const AppSettings settings = services_.settings();
    if (HotkeyPolicy::isShift(key) && !HotkeyPolicy::isToggleShift(key, settings.toggleKey)) {
        shiftTaps_.clear();
        if (SorvaneLog::debugEnabled()) {
            SorvaneLog::debug("[Sorvane] flagsChanged key=" + keyName + " " + action + " not a toggle key (" +
                              std::string(rawValue(settings.toggleKey)) + ")");
        }
        return false;
    }

    ShiftTap tap = trackShiftTap(key, press, flags, event.timestamp);
    const bool lockAllowed = settings.toggleKey != ToggleKey::off && settings.doubleShiftLock;
    if (tap == ShiftTap::doubleTap && !lockAllowed) tap = ShiftTap::single;

    if (asciiLocked_) {
        SorvaneLog::log("[Sorvane] flagsChanged key=" + keyName + " " + action +
                        " flags=" + std::to_string(flags) + " ascii-locked");
        shiftTapWhileAsciiLocked(tap);
        return false;
    }

    if (HotkeyPolicy::isShift(key) && withholdShift(keyName, press, flags, tap)) return false;

    const std::uint32_t bit = ownBit(key);
    const std::uint32_t mask = press ? (previousMask | bit) : ((previousMask & ~bit) | RimeModifier::release);
    chinese_->forwardModifier(RimeKeyEvent{key.keysym(), mask});
    const bool nowAscii = chinese_->isAsciiMode();
    SorvaneLog::log("[Sorvane] flagsChanged key=" + keyName + " " + action +
                    " flags=" + std::to_string(flags) + " ascii " + boolText(wasAscii) + "→" +
                    boolText(nowAscii) + " composing=" + boolText(chinese_->isComposing()));
    followEngineModeSwitch(wasAscii, nowAscii, bufferLength);
    if (tap == ShiftTap::doubleTap && lockAllowed) doubleShift();
    return false;
}

std::optional<bool> SorvaneInputController::modifierPress(ModifierKey key, const KeyEvent& event,
                                                          std::uint64_t flags, std::uint64_t previous) {
    if (key == ModifierKey::capsLock) {
        const bool on = (event.modifierFlags & ModifierFlag::capsLock) != 0;
        const bool press = on != capsLockOn_;
        capsLockOn_ = on;
        return press;
    }
    const std::uint64_t group = groupFlag(key);
    const bool now = (flags & group) != 0;
    const bool before = (previous & group) != 0;
    if (now == before) {
        SorvaneLog::log("[Sorvane] flagsChanged key=" + std::string(key.rawValue()) +
                        " duplicate (held=" + boolText(now) + ") ignored");
        return std::nullopt;
    }
    return now;
}

// In a password field the engine sees no key at all, modifiers included: a
// Shift held for a capital letter would reach it as a tap and switch the mode
// behind the user's back.
bool SorvaneInputController::silencedBySecureInput() {
    refreshPasswordInput();
    if (!secureInputOn()) return false;
    shiftTaps_.clear();
    shiftWithheld_ = false;
    if (chinese_->isComposing()) chinese_->commitComposition();
    return true;
}

void SorvaneInputController::shiftTapWhileAsciiLocked(ShiftTap tap) {
    if (tap == ShiftTap::doubleTap) {
        doubleShift();
    } else if (tap == ShiftTap::single) {
        rawLetters_ = false;
        asciiLocked_ = false;
        chinese_->setAsciiMode(false);
        english_->reset();
        SorvaneLog::log("[Sorvane] single Shift → " + std::string(inputModeName(currentMode())) +
                        " host=" + host());
    }
}

bool SorvaneInputController::withholdShift(const std::string& keyName, bool press, std::uint64_t flags,
                                           ShiftTap tap) {
    if (press && isComposingAnything()) {
        // The engine would act on the release mid-composition; we carry the
        // composition across ourselves instead.
        shiftWithheld_ = true;
        SorvaneLog::log("[Sorvane] flagsChanged key=" + keyName + " press flags=" + std::to_string(flags) +
                        " withheld (composing)");
        return true;
    }
    if (!press && shiftWithheld_) {
        shiftWithheld_ = false;
        SorvaneLog::log("[Sorvane] flagsChanged key=" + keyName + " release flags=" + std::to_string(flags) +
                        " withheld (composing)");
        if (tap == ShiftTap::doubleTap)
            doubleShift();
        else if (tap == ShiftTap::single)
            carryComposition();
        return true;
    }
    return false;
}

// The engine switched its ASCII mode on a modifier: an English buffer typed
// before the switch is committed, or one left from before is dropped.
void SorvaneInputController::followEngineModeSwitch(bool wasAscii, bool nowAscii, std::size_t bufferLength) {
    if (nowAscii == wasAscii || chinese_->isComposing()) return;
    if (wasAscii) {
        if (bufferLength != 0) english_->commitBuffer();
    } else {
        english_->reset();
    }
    SorvaneLog::log(std::string("[Sorvane] mode → ") + (nowAscii ? "英" : "中"));
}

ShiftTap SorvaneInputController::trackShiftTap(ModifierKey key, bool isPress, std::uint64_t flags,
                                               double at) {
    if (!HotkeyPolicy::isShift(key) || (flags & commandFlags)) {
        shiftTaps_.clear();
        return ShiftTap::none;
    }
    if (!isPress) return shiftTaps_.release(at);
    if (shiftTaps_.press(at)) modeBeforeShiftTaps_ = currentMode();
    return ShiftTap::none;
}

void SorvaneInputController::doubleShift() {
    enter(modeBeforeShiftTaps_ != InputMode::ascii ? InputMode::ascii : InputMode::english);
    SorvaneLog::log("[Sorvane] double Shift → " + std::string(inputModeName(currentMode())) +
                    " host=" + host());
}

void SorvaneInputController::enter(InputMode mode) {
    if (!chinese_) return;
    rawLetters_ = false;
    if (mode != InputMode::ascii) {
        asciiLocked_ = false;
        chinese_->setAsciiMode(mode == InputMode::english);
        english_->reset();
        return;
    }
    if (asciiLocked_) return;
    if (chinese_->isComposing()) {
        chinese_->handleKey(KeySym::returnKey, 0);
        if (chinese_->isComposing()) chinese_->commitComposition();
    }
    english_->commitBuffer();
    chinese_->setAsciiMode(true);
    asciiLocked_ = true;
    english_->reset();
    hidePanel();
}

void SorvaneInputController::carryComposition() {
    if (!chinese_) return;
    if (chinese_->isComposing()) {
        const std::string rest = chinese_->takeComposition();
        rawLetters_ = false;
        chinese_->setAsciiMode(true);
        english_->reset();
        english_->setPredictionEnabled(!secureInputOn());
        english_->begin(rest);
        SorvaneLog::log("[Sorvane] Shift mid-composition 中 → 英, carried " +
                        std::to_string(Text::characterCount(rest)) + " chars");
        return;
    }
    if (!english_->hasBuffer()) return;
    const std::string buffer = english_->buffer();
    std::string word;
    if (ChineseComposer::canCompose(buffer)) {
        // The engine's cost grows faster than the pinyin's length: only a
        // tail is carried, the letters before it go in as typed.
        const std::size_t headLength =
            buffer.size() > maxCarriedLetters ? buffer.size() - maxCarriedLetters : 0;
        english_->reset();
        if (headLength > 0) insertText(buffer.substr(0, headLength));
        chinese_->compose(buffer.substr(headLength));
        word = "composed";
    } else {
        english_->commitBuffer();
        chinese_->setAsciiMode(false);
        word = "committed";
    }
    SorvaneLog::log("[Sorvane] Shift mid-composition 英 → 中, " + word + " " +
                    std::to_string(Text::characterCount(buffer)) + " chars");
}

void SorvaneInputController::noteModeChange() {
    if (!chinese_ || rawLetters_) return;
    const InputMode mode = currentMode();
    if (mode == lastKnownMode_) return;
    lastKnownMode_ = mode;
    const std::optional<std::string> bundleId = client_ ? client_->bundleIdentifier() : std::nullopt;
    if (bundleId) environment_.modeMemory().remember(*bundleId, mode);
    if (!chinese_->isComposing() && !english_->hasBuffer()) {
        if (services_.showModeIndicator) services_.showModeIndicator(mode, caretRect());
        SorvaneLog::log("[Sorvane] mode HUD " + std::string(ModeTile::face(mode, false).glyph) +
                        " host=" + host());
    } else {
        SorvaneLog::log("[Sorvane] mode → " + std::string(inputModeName(mode)) +
                        " with text carried, no HUD host=" + host());
    }
}

void SorvaneInputController::applySettings() {
    const AppSettings settings = services_.settings();
    shiftTaps_.clear();
    if (!asciiLocked_ || settings.toggleKey != ToggleKey::off) return;
    // No Shift could leave the lock any more.
    rawLetters_ = false;
    asciiLocked_ = false;
    if (chinese_) chinese_->setAsciiMode(false);
    english_->reset();
    lastKnownMode_ = currentMode();
    if (client_) {
        if (auto bundleId = client_->bundleIdentifier())
            environment_.modeMemory().remember(*bundleId, lastKnownMode_);
    }
    SorvaneLog::log("[Sorvane] settings: toggle key off, ascii lock released → " +
                    std::string(inputModeName(lastKnownMode_)));
}

}  // namespace sorvane
