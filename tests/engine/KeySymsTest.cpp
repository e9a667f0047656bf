#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/KeySyms.h"

namespace sorvane {
namespace {

// Every row by value, written from the hardware codes and X11 values rather
// than from the constants the tables are built of.
TEST(KeySyms, TablesHoldTheirRows) {
    std::map<std::uint16_t, std::uint32_t> fixed = {
        {0x39, 0xFFE5}, {0x37, 0xFFEB}, {0x36, 0xFFEC}, {0x3B, 0xFFE3}, {0x3E, 0xFFE4}, {0x3A, 0xFFE9},
        {0x3D, 0xFFEA}, {0x38, 0xFFE1}, {0x3C, 0xFFE2}, {0x3F, 0xFFED}, {0x33, 0xFF08}, {0x75, 0xFFFF},
        {0x35, 0xFF1B}, {0x24, 0xFF0D}, {0x31, 0x20},   {0x30, 0xFF09}, {0x72, 0xFF6A}, {0x7E, 0xFF52},
        {0x7D, 0xFF54}, {0x7B, 0xFF51}, {0x7C, 0xFF53}, {0x74, 0xFF55}, {0x79, 0xFF56}, {0x73, 0xFF50},
        {0x77, 0xFF57}, {0x47, 0xFF0B}, {0x41, 0xFFAE}, {0x51, 0xFFBD}, {0x4E, 0xFFAD}, {0x43, 0xFFAA},
        {0x45, 0xFFAB}, {0x4B, 0xFFAF}, {0x4C, 0xFF8D}, {0x0A, 0xA7},   {0x5D, 0xA5},   {0x5E, 0x5F},
        {0x5F, 0x2C},   {0x66, 0xFF2F}, {0x68, 0xFF2E},
    };
    const std::uint16_t functionKeys[] = {0x7A, 0x78, 0x63, 0x76, 0x60, 0x61, 0x62, 0x64, 0x65, 0x6D,
                                          0x67, 0x6F, 0x69, 0x6B, 0x71, 0x6A, 0x40, 0x4F, 0x50, 0x5A};
    for (std::uint32_t n = 0; n < 20; ++n) fixed[functionKeys[n]] = 0xFFBE + n;
    const std::uint16_t keypadDigits[] = {0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5B, 0x5C};
    for (std::uint32_t n = 0; n < 10; ++n) fixed[keypadDigits[n]] = 0xFFB0 + n;
    EXPECT_EQ(KeySyms::fixedKeySyms(), fixed);

    std::map<std::uint16_t, std::uint32_t> ansi = {
        {0x32, '`'}, {0x1B, '-'},  {0x18, '='}, {0x21, '['}, {0x1E, ']'}, {0x2A, '\\'},
        {0x29, ';'}, {0x27, '\''}, {0x2B, ','}, {0x2F, '.'}, {0x2C, '/'},
    };
    const std::string_view letters = "asdfhgzxcvbqwerytouipljknm";
    const std::uint16_t letterKeys[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                                        0x09, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x1F,
                                        0x20, 0x22, 0x23, 0x25, 0x26, 0x28, 0x2D, 0x2E};
    for (std::size_t n = 0; n < letters.size(); ++n)
        ansi[letterKeys[n]] = static_cast<std::uint32_t>(letters[n]);
    const std::uint16_t digitKeys[] = {0x1D, 0x12, 0x13, 0x14, 0x15,
                                       0x17, 0x16, 0x1A, 0x1C, 0x19};  // 0 ... 9
    for (std::uint32_t n = 0; n < 10; ++n) ansi[digitKeys[n]] = '0' + n;
    EXPECT_EQ(KeySyms::ansiKeySyms(), ansi);

    std::map<std::string, std::uint32_t> named = {
        {"space", 0x20},       {"Return", 0xFF0D},    {"Linefeed", 0xFF0A}, {"Tab", 0xFF09},
        {"Escape", 0xFF1B},    {"BackSpace", 0xFF08}, {"Delete", 0xFFFF},   {"Clear", 0xFF0B},
        {"Insert", 0xFF63},    {"Home", 0xFF50},      {"End", 0xFF57},      {"Page_Up", 0xFF55},
        {"Page_Down", 0xFF56}, {"Prior", 0xFF55},     {"Next", 0xFF56},     {"Up", 0xFF52},
        {"Down", 0xFF54},      {"Left", 0xFF51},      {"Right", 0xFF53},    {"Begin", 0xFF58},
        {"Menu", 0xFF67},      {"Help", 0xFF6A},      {"Shift_L", 0xFFE1},  {"Shift_R", 0xFFE2},
        {"Control_L", 0xFFE3}, {"Control_R", 0xFFE4}, {"Alt_L", 0xFFE9},    {"Alt_R", 0xFFEA},
        {"Super_L", 0xFFEB},   {"Super_R", 0xFFEC},   {"Meta_L", 0xFFE7},   {"Meta_R", 0xFFE8},
        {"Caps_Lock", 0xFFE5}, {"KP_Enter", 0xFF8D},
    };
    const char* punctuation[] = {"exclam",    "quotedbl",   "numbersign", "dollar",     "percent",
                                 "ampersand", "apostrophe", "parenleft",  "parenright", "asterisk",
                                 "plus",      "comma",      "minus",      "period",     "slash"};
    for (std::uint32_t n = 0; n < 15; ++n) named[punctuation[n]] = 0x21 + n;
    const char* morePunctuation[] = {"colon", "semicolon", "less", "equal", "greater", "question", "at"};
    for (std::uint32_t n = 0; n < 7; ++n) named[morePunctuation[n]] = 0x3A + n;
    const char* brackets[] = {"bracketleft", "backslash",  "bracketright",
                              "asciicircum", "underscore", "grave"};
    for (std::uint32_t n = 0; n < 6; ++n) named[brackets[n]] = 0x5B + n;
    const char* braces[] = {"braceleft", "bar", "braceright", "asciitilde"};
    for (std::uint32_t n = 0; n < 4; ++n) named[braces[n]] = 0x7B + n;
    for (std::uint32_t n = 1; n <= 20; ++n) named["F" + std::to_string(n)] = 0xFFBE + n - 1;
    for (std::uint32_t n = 0; n <= 9; ++n) named["KP_" + std::to_string(n)] = 0xFFB0 + n;
    ASSERT_EQ(named.size(), 96u);
    const auto& table = KeySyms::namedKeySyms();
    const std::map<std::string, std::uint32_t> byName(table.begin(), table.end());
    EXPECT_EQ(byName, named);
    EXPECT_EQ(table.size(), 96u) << "no name twice";
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
