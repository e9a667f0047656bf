// Shift switching through the controller: the tap series as the event time
// stamps give them (virtual time), the engine's own switch (real time, well
// inside its half second), and the settings that shape both.
#include <gtest/gtest.h>

#include "app/server/HotkeyPolicy.h"
#include "tests/app/server/ControllerHarness.h"

namespace sorvane {
namespace {

using testing::ControllerHarness;
using testing::Field;

class ShiftSwitchingTest : public ControllerHarness {
protected:
    void writeSettings(const AppSettings& settings) {
        // No notification: the cache notices the new file by itself.
        AppSettingsFile{home_.path() / "Library" / "SorvaneIME" / "settings.json", center_}.save(settings,
                                                                                                 false);
    }
    KeyEvent flags(std::uint16_t keyCode, std::uint64_t modifierFlags) const {
        return KeyEvent{KeyEventType::flagsChanged, keyCode, "", "", modifierFlags, seconds_};
    }
};

TEST_F(ShiftSwitchingTest, AShiftThatIsNotTheToggleKeyIsKeptFromTheEngine) {
    AppSettings settings;
    settings.toggleKey = ToggleKey::rightShift;
    writeSettings(settings);
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}", 0);
    // A right-Shift series in progress is cleared by the left Shift.
    play(c, field, "{rshift}", 0);
    ASSERT_EQ(c.currentMode(), InputMode::english);
    ASSERT_FALSE(c.shiftTaps().isClear());
    play(c, field, "{lshift}{lshift}", 0);
    EXPECT_EQ(c.currentMode(), InputMode::english);
    EXPECT_FALSE(c.asciiLocked());
    EXPECT_TRUE(c.shiftTaps().isClear());
    std::vector<testing::LogRecord> notToggle;
    for (const auto& r : log_->records())
        if (r.message.find(" not a toggle key (") != std::string::npos) notToggle.push_back(r);
    ASSERT_EQ(notToggle.size(), 4u);
    EXPECT_EQ(notToggle[0].message,
              "[Sorvane] flagsChanged key=shiftLeft press not a toggle key (rightShift)");
    EXPECT_EQ(notToggle[1].message,
              "[Sorvane] flagsChanged key=shiftLeft release not a toggle key (rightShift)");
    for (const auto& r : notToggle) EXPECT_EQ(r.level, LogLevel::debug);
    // The right Shift still switches.
    play(c, field, "{wait 500}{rshift}", 0);
    EXPECT_EQ(c.currentMode(), InputMode::chinese);
}

TEST_F(ShiftSwitchingTest, WhileLockedALongerTapReleasesButTooLongDoesNothing) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{shift}", 0);
    ASSERT_TRUE(c.asciiLocked());
    play(c, field, "{wait 500}{shift 600}", 0);
    EXPECT_TRUE(c.asciiLocked());
    play(c, field, "{wait 500}{shift 400}", 0);
    EXPECT_FALSE(c.asciiLocked());
    EXPECT_EQ(c.currentMode(), InputMode::chinese);

    // Held 0.4 s, a tap cannot open a double: the next quick tap is a
    // single of its own, which the engine takes to English.
    play(c, field, "{wait 500}{shift}{shift}", 0);
    ASSERT_TRUE(c.asciiLocked());
    log_->clear();
    play(c, field, "{wait 500}{shift 400}{wait 100}{shift}", 0);
    EXPECT_FALSE(c.asciiLocked());
    EXPECT_EQ(c.currentMode(), InputMode::english);
    EXPECT_TRUE(messagesContaining("double Shift").empty());
}

TEST_F(ShiftSwitchingTest, TapsFurtherApartThanTheGapAreTwoSingles) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{wait 360}{shift}", 0);
    EXPECT_FALSE(c.asciiLocked());
    EXPECT_EQ(c.currentMode(), InputMode::chinese);
    EXPECT_EQ(indicatorModes(), (std::vector<InputMode>{InputMode::english, InputMode::chinese}));

    play(c, field, "{wait 500}{shift}{wait 340}{shift}", 0);
    EXPECT_TRUE(c.asciiLocked());
}

TEST_F(ShiftSwitchingTest, WithoutTheLockADoubleTapSwitchesTwice) {
    AppSettings settings;
    settings.doubleShiftLock = false;
    writeSettings(settings);
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{shift}", 0);
    EXPECT_FALSE(c.asciiLocked());
    EXPECT_EQ(c.currentMode(), InputMode::chinese);
    EXPECT_EQ(indicatorModes(), (std::vector<InputMode>{InputMode::english, InputMode::chinese}));
}

TEST_F(ShiftSwitchingTest, FromTheLockADoubleTapWithoutLockGoesToEnglishByTheEngine) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{shift}", 0);
    ASSERT_TRUE(c.asciiLocked());
    AppSettings settings;
    settings.doubleShiftLock = false;
    writeSettings(settings);
    log_->clear();
    play(c, field, "{wait 500}{shift}{shift}", 0);
    EXPECT_FALSE(c.asciiLocked());
    EXPECT_EQ(c.currentMode(), InputMode::english);
    EXPECT_TRUE(messagesContaining("double Shift").empty());
    EXPECT_EQ(messagesContaining("[Sorvane] single Shift → chinese").size(), 1u);
    EXPECT_EQ(messagesContaining("[Sorvane] mode → 英").size(), 1u);
}

TEST_F(ShiftSwitchingTest, ADoubleTapFromEnglishLocksAndTheNextDoubleReturnsToEnglish) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{shift}{wait 500}{shift}{shift}", 0);
    EXPECT_TRUE(c.asciiLocked());
    play(c, field, "{wait 500}{shift}{shift}", 0);
    EXPECT_EQ(c.currentMode(), InputMode::english);
    EXPECT_EQ(messagesContaining("[Sorvane] double Shift"),
              (std::vector<std::string>{"[Sorvane] double Shift → ascii host=com.example.editor",
                                        "[Sorvane] double Shift → english host=com.example.editor"}));
}

TEST_F(ShiftSwitchingTest, RepeatedFlagsAreDuplicatesAndOtherKeysAreIgnored) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}", 0);
    EXPECT_FALSE(c.handleEvent(flags(56, ModifierFlag::shift), &field.client));
    EXPECT_FALSE(c.handleEvent(flags(56, ModifierFlag::shift), &field.client));
    EXPECT_FALSE(c.handleEvent(flags(63, ModifierFlag::shift | ModifierFlag::function), &field.client));
    EXPECT_TRUE(c.shiftTaps().isClear());
    EXPECT_FALSE(c.handleEvent(flags(56, 0), &field.client));
    EXPECT_EQ(
        messagesContaining("duplicate"),
        (std::vector<std::string>{"[Sorvane] flagsChanged key=shiftLeft duplicate (held=true) ignored"}));
    EXPECT_EQ(
        messagesContaining("ignored keyCode"),
        (std::vector<std::string>{"[Sorvane] flagsChanged ignored keyCode=63 flags=8519680 engine=true"}));
}

TEST_F(ShiftSwitchingTest, CapsLockAndControlAreForwardedAndChangeNoMode) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{capslock}{capslock}{ctrl+a}", 0);
    EXPECT_EQ(c.currentMode(), InputMode::chinese);
    EXPECT_TRUE(indicator_.empty());
    const auto forwarded = messagesContaining("flagsChanged key=capsLock");
    ASSERT_EQ(forwarded.size(), 2u);
    EXPECT_EQ(forwarded[0],
              "[Sorvane] flagsChanged key=capsLock press flags=65536 ascii false→false composing=false");
    // Each toggle of Caps Lock is one event, and each counts as a press.
    EXPECT_EQ(forwarded[1],
              "[Sorvane] flagsChanged key=capsLock press flags=0 ascii false→false composing=false");
    EXPECT_EQ(messagesContaining("flagsChanged key=controlLeft").size(), 2u);
}

TEST_F(ShiftSwitchingTest, ShiftWithCommandIsNoTap) {
    Field field;
    auto& c = controller(field);
    play(c, field, "{activate}", 0);
    c.handleEvent(flags(55, ModifierFlag::command), &field.client);
    c.handleEvent(flags(56, ModifierFlag::command | ModifierFlag::shift), &field.client);
    EXPECT_TRUE(c.shiftTaps().isClear());
}

}  // namespace
}  // namespace sorvane

namespace sorvane {
namespace {

TEST(HotkeyPolicyTest, WhichShiftToggles) {
    const std::vector<std::tuple<ToggleKey, bool, bool>> cases = {
        // toggle key, left Shift toggles, right Shift toggles
        {ToggleKey::eitherShift, true, true},
        {ToggleKey::leftShift, true, false},
        {ToggleKey::rightShift, false, true},
        {ToggleKey::off, false, false},
    };
    for (const auto& [toggle, left, right] : cases) {
        EXPECT_EQ(HotkeyPolicy::isToggleShift(ModifierKey::shiftLeft, toggle), left) << rawValue(toggle);
        EXPECT_EQ(HotkeyPolicy::isToggleShift(ModifierKey::shiftRight, toggle), right) << rawValue(toggle);
        for (ModifierKey key : ModifierKey::allCases()) {
            if (HotkeyPolicy::isShift(key)) continue;
            EXPECT_FALSE(HotkeyPolicy::isToggleShift(key, toggle)) << key.rawValue();
        }
    }
    int shifts = 0;
    for (ModifierKey key : ModifierKey::allCases()) shifts += HotkeyPolicy::isShift(key);
    EXPECT_EQ(shifts, 2);
}

}  // namespace
}  // namespace sorvane

namespace sorvane {
namespace {

class CapsLockTest : public testing::ControllerHarness {};

TEST_F(CapsLockTest, ShiftStillTogglesAfterCapsLockWentOnAndOff) {
    testing::Field field;
    auto& c = controller(field);
    play(c, field, "{activate}{capslock}{capslock}{wait 500}{shift}", 0);
    EXPECT_EQ(c.currentMode(), InputMode::english);
    play(c, field, "{wait 500}{shift}{wait 500}ni{space}", 0);
    EXPECT_EQ(field.text, "你");
}

}  // namespace
}  // namespace sorvane
