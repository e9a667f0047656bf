#include <gtest/gtest.h>

#include "engine/KeySyms.h"

namespace sorvane {
namespace {

TEST(KeySyms, TablesHaveTheirRows) {
    EXPECT_EQ(KeySyms::fixedKeySyms().size(), 69u);
    EXPECT_EQ(KeySyms::ansiKeySyms().size(), 47u);
    EXPECT_EQ(KeySyms::namedKeySyms().size(), 96u);
}

struct PressCase {
    const char* what;
    std::uint16_t virtualKey;
    std::optional<std::string_view> character;
    bool shift;
    bool capsLock;
    std::uint32_t keysym;
};

TEST(KeySyms, KeyPresses) {
    const PressCase cases[] = {
        {"a with Shift and Caps Lock is small", 0x00, "a", true, true, 0x61},
        {"a with Caps Lock only is capital", 0x00, "a", false, true, 0x41},
        {"a with Shift only is capital", 0x00, "a", true, false, 0x41},
        {"capital from the layout stays", 0x00, "A", true, false, 0x41},
        {"Control+a falls back to the ANSI table", 0x00, "\x01", false, false, 0x61},
        {"Control+[ gives [", MacVirtualKey::leftBracket, "\x1b", false, false, 0x5B},
        {"Control+\\ gives \\", MacVirtualKey::backslash, "\x1c", false, false, 0x5C},
        {"Control+] gives ]", MacVirtualKey::rightBracket, "\x1d", false, false, 0x5D},
        {"Control+- gives -", MacVirtualKey::minus, "\x1f", false, false, 0x2D},
        {"code 30 has no mapping: the key's ANSI character", MacVirtualKey::six, "\x1e", false, false, 0x36},
        {"keypad 5 ignores the character", 0x57, "5", false, false, 0xFFB5},
        {"Space with Shift is still space", MacVirtualKey::space, " ", true, false, 0x20},
        {"Return", MacVirtualKey::returnKey, "\r", false, false, 0xFF0D},
        {"F13", MacVirtualKey::f13, std::nullopt, false, false, 0xFFCA},
        {"Function key is Hyper_L", MacVirtualKey::function, std::nullopt, false, false, 0xFFED},
        {"Option+e under another layout: ANSI e", MacVirtualKey::e, "\xc2\xb4", false, false, 0x65},
        {"no character: ANSI position", MacVirtualKey::quote, std::nullopt, false, false, 0x27},
        {"shifted digit from the layout", MacVirtualKey::one, "!", true, false, 0x21},
        {"not in any table, non-ASCII", 0x6E, "\xc3\xa9", false, false, 0xFFFFFF},
        {"not in any table, no character", 0x6E, std::nullopt, false, false, 0xFFFFFF},
        {"ISO section key", MacVirtualKey::isoSection, "\xc2\xa7", false, false, 0xA7},
        {"JIS Eisu", MacVirtualKey::jisEisu, std::nullopt, false, false, 0xFF2F},
        {"DEL character falls back", 0x6E, "\x7f", false, false, 0xFFFFFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeySyms::keysym(c.virtualKey, c.character, c.shift, c.capsLock), c.keysym) << c.what;
}

TEST(KeySyms, ModifierKeys) {
    struct Row {
        std::uint16_t virtualKey;
        std::optional<ModifierKey> key;
        std::uint32_t keysym;
        std::uint32_t mask;
    };
    const Row rows[] = {
        {0x38, ModifierKey::shiftLeft, 0xFFE1, 0x1},
        {0x3C, ModifierKey::shiftRight, 0xFFE2, 0x1},
        {0x3B, ModifierKey::controlLeft, 0xFFE3, 0x4},
        {0x3E, ModifierKey::controlRight, 0xFFE4, 0x4},
        {0x3A, ModifierKey::optionLeft, 0xFFE9, 0x8},
        {0x3D, ModifierKey::optionRight, 0xFFEA, 0x8},
        {0x37, ModifierKey::commandLeft, 0xFFEB, 1u << 26},
        {0x36, ModifierKey::commandRight, 0xFFEC, 1u << 26},
        {0x39, ModifierKey::capsLock, 0xFFE5, 0x2},
    };
    for (const auto& r : rows) {
        auto key = ModifierKey::fromVirtualKey(r.virtualKey);
        ASSERT_TRUE(key.has_value()) << r.virtualKey;
        EXPECT_EQ(*key, *r.key);
        EXPECT_EQ(key->keysym(), r.keysym);
        EXPECT_EQ(key->contributedMask(), r.mask);
    }
    EXPECT_FALSE(ModifierKey::fromVirtualKey(0x3F).has_value()) << "Function is no modifier key";
    EXPECT_FALSE(ModifierKey::fromVirtualKey(0x00).has_value());
    EXPECT_EQ(ModifierKey(ModifierKey::commandRight).rawValue(), "commandRight");
    EXPECT_EQ(ModifierKey::allCases().size(), 9u);
    EXPECT_TRUE(MacVirtualKey::isModifierKeyCode(0x3F));
    EXPECT_FALSE(MacVirtualKey::isModifierKeyCode(0x31));
}

TEST(KeySyms, Masks) {
    EXPECT_EQ(RimeModifier::mask(false, false, false, false, false), 0u);
    EXPECT_EQ(RimeModifier::mask(true, false, false, false, true), 0x3u);
    EXPECT_EQ(RimeModifier::mask(true, true, true, true, true), 0x400000Fu);
    EXPECT_EQ(RimeModifier::all, 0x5F001FFFu);
    EXPECT_TRUE((RimeKeyEvent{0xFFE1, 0x40000000}.isRelease()));
    EXPECT_FALSE((RimeKeyEvent{0xFFE1, 0x1}.isRelease()));
}

TEST(KeySyms, KeyEventsFromText) {
    struct Case {
        const char* text;
        std::optional<RimeKeyEvent> event;
    };
    const Case cases[] = {
        {"Control+Shift+a", RimeKeyEvent{0x61, 0x5}},
        {"ctrl+plus", RimeKeyEvent{0x2B, 0x4}},
        {"Control++", std::nullopt},
        {"Shift+", RimeKeyEvent{0x2B, 0x1}},
        {"+", RimeKeyEvent{0x2B, 0}},
        {"Hyper+a", std::nullopt},
        {"F13", RimeKeyEvent{0xFFCA, 0}},
        {"Release+Shift_L", RimeKeyEvent{0xFFE1, 0x40000000}},
        {"CMD+Option+Caps+KP_3", RimeKeyEvent{0xFFB3, (1u << 26) | 0x8 | 0x2}},
        {"return", std::nullopt},
        {"Return", RimeKeyEvent{0xFF0D, 0}},
        {"", std::nullopt},
        {"Shift+é", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(KeySyms::keyEvent(c.text), c.event) << c.text;
}

TEST(KeySyms, NamesOfKeysyms) {
    struct Case {
        std::uint32_t keysym;
        const char* name;
    };
    const Case cases[] = {
        {0xFFBE, "F1"},   {0x61, "a"},     {0x1234, "0x1234"}, {0xA5, "0x00a5"}, {0xFF55, "Page_Up"},
        {0xFF56, "Next"}, {0x20, "space"}, {0x2B, "plus"},     {0xFFB0, "KP_0"}, {0xFFFFFF, "0xffffff"},
    };
    for (const auto& c : cases) EXPECT_EQ(KeySyms::name(c.keysym), c.name) << c.keysym;
    EXPECT_EQ(KeySyms::keysym(std::string_view("Prior")), 0xFF55u);
    EXPECT_EQ(KeySyms::keysym(std::string_view("~")), 0x7Eu);
    EXPECT_FALSE(KeySyms::keysym(std::string_view("ab")).has_value());
}

TEST(KeySyms, ModifierPressAndRelease) {
    EXPECT_EQ(KeySyms::modifierKeyPress(ModifierKey::shiftLeft, 0x40000004), (RimeKeyEvent{0xFFE1, 0x5}));
    EXPECT_EQ(KeySyms::modifierKeyRelease(ModifierKey::shiftLeft, 0x5), (RimeKeyEvent{0xFFE1, 0x40000004}));
    EXPECT_EQ(KeySyms::modifierKeyRelease(ModifierKey::commandRight, (1u << 26) | 0x1),
              (RimeKeyEvent{0xFFEC, 0x40000001}));
}

}  // namespace
}  // namespace sorvane
