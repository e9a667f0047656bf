#pragma once
// Keys as the RIME engine takes them (X11 keysyms plus a modifier mask) and
// the macOS key codes they come from. Pure constants; conversions live in
// KeySyms.h.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace sorvane {

// RIME/X11 modifier mask bits.
namespace RimeModifier {
inline constexpr std::uint32_t shift = 0x1;
inline constexpr std::uint32_t lock = 0x2;
inline constexpr std::uint32_t control = 0x4;
inline constexpr std::uint32_t mod1 = 0x8;
inline constexpr std::uint32_t alt = 0x8;  // the same bit as mod1
inline constexpr std::uint32_t mod2 = 0x10;
inline constexpr std::uint32_t mod3 = 0x20;
inline constexpr std::uint32_t mod4 = 0x40;
inline constexpr std::uint32_t mod5 = 0x80;
inline constexpr std::uint32_t button1 = 0x100;
inline constexpr std::uint32_t button2 = 0x200;
inline constexpr std::uint32_t button3 = 0x400;
inline constexpr std::uint32_t button4 = 0x800;
inline constexpr std::uint32_t button5 = 0x1000;
inline constexpr std::uint32_t handled = 1u << 24;
inline constexpr std::uint32_t forward = 1u << 25;
inline constexpr std::uint32_t superKey = 1u << 26;
inline constexpr std::uint32_t hyper = 1u << 27;
inline constexpr std::uint32_t meta = 1u << 28;
inline constexpr std::uint32_t release = 1u << 30;
inline constexpr std::uint32_t all = 0x5F001FFF;

// Option is Alt and Command is Super for the engine.
constexpr std::uint32_t mask(bool shift, bool control, bool option, bool command, bool capsLock) {
    return (shift ? RimeModifier::shift : 0) | (control ? RimeModifier::control : 0) |
           (option ? RimeModifier::alt : 0) | (command ? RimeModifier::superKey : 0) |
           (capsLock ? RimeModifier::lock : 0);
}
}  // namespace RimeModifier

// X11 keysyms the tables need. Letters and digits are their ASCII codes.
// (return, delete and break are C++ keywords, hence the Key suffix.)
namespace KeySym {
inline constexpr std::uint32_t voidSymbol = 0xFFFFFF;
inline constexpr std::uint32_t space = 0x20;
inline constexpr std::uint32_t exclam = 0x21;
inline constexpr std::uint32_t quotedbl = 0x22;
inline constexpr std::uint32_t numbersign = 0x23;
inline constexpr std::uint32_t dollar = 0x24;
inline constexpr std::uint32_t percent = 0x25;
inline constexpr std::uint32_t ampersand = 0x26;
inline constexpr std::uint32_t apostrophe = 0x27;
inline constexpr std::uint32_t parenleft = 0x28;
inline constexpr std::uint32_t parenright = 0x29;
inline constexpr std::uint32_t asterisk = 0x2A;
inline constexpr std::uint32_t plus = 0x2B;
inline constexpr std::uint32_t comma = 0x2C;
inline constexpr std::uint32_t minus = 0x2D;
inline constexpr std::uint32_t period = 0x2E;
inline constexpr std::uint32_t slash = 0x2F;
inline constexpr std::uint32_t colon = 0x3A;
inline constexpr std::uint32_t semicolon = 0x3B;
inline constexpr std::uint32_t less = 0x3C;
inline constexpr std::uint32_t equal = 0x3D;
inline constexpr std::uint32_t greater = 0x3E;
inline constexpr std::uint32_t question = 0x3F;
inline constexpr std::uint32_t at = 0x40;
inline constexpr std::uint32_t bracketleft = 0x5B;
inline constexpr std::uint32_t backslash = 0x5C;
inline constexpr std::uint32_t bracketright = 0x5D;
inline constexpr std::uint32_t asciicircum = 0x5E;
inline constexpr std::uint32_t underscore = 0x5F;
inline constexpr std::uint32_t grave = 0x60;
inline constexpr std::uint32_t braceleft = 0x7B;
inline constexpr std::uint32_t bar = 0x7C;
inline constexpr std::uint32_t braceright = 0x7D;
inline constexpr std::uint32_t asciitilde = 0x7E;
inline constexpr std::uint32_t yen = 0xA5;
inline constexpr std::uint32_t section = 0xA7;
inline constexpr std::uint32_t backSpace = 0xFF08;
inline constexpr std::uint32_t tab = 0xFF09;
inline constexpr std::uint32_t linefeed = 0xFF0A;
inline constexpr std::uint32_t clear = 0xFF0B;
inline constexpr std::uint32_t returnKey = 0xFF0D;
inline constexpr std::uint32_t pause = 0xFF13;
inline constexpr std::uint32_t scrollLock = 0xFF14;
inline constexpr std::uint32_t sysReq = 0xFF15;
inline constexpr std::uint32_t escape = 0xFF1B;
inline constexpr std::uint32_t deleteKey = 0xFFFF;
inline constexpr std::uint32_t home = 0xFF50;
inline constexpr std::uint32_t left = 0xFF51;
inline constexpr std::uint32_t up = 0xFF52;
inline constexpr std::uint32_t right = 0xFF53;
inline constexpr std::uint32_t down = 0xFF54;
inline constexpr std::uint32_t pageUp = 0xFF55;
inline constexpr std::uint32_t pageDown = 0xFF56;
inline constexpr std::uint32_t end = 0xFF57;
inline constexpr std::uint32_t begin = 0xFF58;
inline constexpr std::uint32_t select = 0xFF60;
inline constexpr std::uint32_t print = 0xFF61;
inline constexpr std::uint32_t execute = 0xFF62;
inline constexpr std::uint32_t insert = 0xFF63;
inline constexpr std::uint32_t undo = 0xFF65;
inline constexpr std::uint32_t redo = 0xFF66;
inline constexpr std::uint32_t menu = 0xFF67;
inline constexpr std::uint32_t find = 0xFF68;
inline constexpr std::uint32_t cancel = 0xFF69;
inline constexpr std::uint32_t help = 0xFF6A;
inline constexpr std::uint32_t breakKey = 0xFF6B;
inline constexpr std::uint32_t kpSpace = 0xFF80;
inline constexpr std::uint32_t kpTab = 0xFF89;
inline constexpr std::uint32_t kpEnter = 0xFF8D;
inline constexpr std::uint32_t kpMultiply = 0xFFAA;
inline constexpr std::uint32_t kpAdd = 0xFFAB;
inline constexpr std::uint32_t kpSeparator = 0xFFAC;
inline constexpr std::uint32_t kpSubtract = 0xFFAD;
inline constexpr std::uint32_t kpDecimal = 0xFFAE;
inline constexpr std::uint32_t kpDivide = 0xFFAF;
inline constexpr std::uint32_t kpEqual = 0xFFBD;
inline constexpr std::uint32_t shiftL = 0xFFE1;
inline constexpr std::uint32_t shiftR = 0xFFE2;
inline constexpr std::uint32_t controlL = 0xFFE3;
inline constexpr std::uint32_t controlR = 0xFFE4;
inline constexpr std::uint32_t capsLock = 0xFFE5;
inline constexpr std::uint32_t shiftLock = 0xFFE6;
inline constexpr std::uint32_t metaL = 0xFFE7;
inline constexpr std::uint32_t metaR = 0xFFE8;
inline constexpr std::uint32_t altL = 0xFFE9;
inline constexpr std::uint32_t altR = 0xFFEA;
inline constexpr std::uint32_t superL = 0xFFEB;
inline constexpr std::uint32_t superR = 0xFFEC;
inline constexpr std::uint32_t hyperL = 0xFFED;
inline constexpr std::uint32_t hyperR = 0xFFEE;
inline constexpr std::uint32_t eisuShift = 0xFF2F;
inline constexpr std::uint32_t kanaShift = 0xFF2E;

// F1 ... F20 and keypad 0 ... 9, as in X11.
constexpr std::uint32_t function(int n) {
    return 0xFFBE + static_cast<std::uint32_t>(n) - 1;
}
constexpr std::uint32_t keypadDigit(int n) {
    return 0xFFB0 + static_cast<std::uint32_t>(n);
}
}  // namespace KeySym

// macOS hardware key codes of the ANSI, ISO and JIS layouts.
namespace MacVirtualKey {
inline constexpr std::uint16_t a = 0x00, s = 0x01, d = 0x02, f = 0x03, h = 0x04, g = 0x05, z = 0x06, x = 0x07,
                               c = 0x08, v = 0x09, b = 0x0B, q = 0x0C, w = 0x0D, e = 0x0E, r = 0x0F, y = 0x10,
                               t = 0x11, o = 0x1F, u = 0x20, i = 0x22, p = 0x23, l = 0x25, j = 0x26, k = 0x28,
                               n = 0x2D, m = 0x2E;
inline constexpr std::uint16_t one = 0x12, two = 0x13, three = 0x14, four = 0x15, six = 0x16, five = 0x17,
                               nine = 0x19, seven = 0x1A, eight = 0x1C, zero = 0x1D;
inline constexpr std::uint16_t equalSign = 0x18, minus = 0x1B, rightBracket = 0x1E, leftBracket = 0x21,
                               quote = 0x27, semicolon = 0x29, backslash = 0x2A, comma = 0x2B, slash = 0x2C,
                               period = 0x2F, grave = 0x32, isoSection = 0x0A;
inline constexpr std::uint16_t returnKey = 0x24, tab = 0x30, space = 0x31, backspace = 0x33, escape = 0x35,
                               forwardDelete = 0x75, help = 0x72, home = 0x73, pageUp = 0x74, end = 0x77,
                               pageDown = 0x79, leftArrow = 0x7B, rightArrow = 0x7C, downArrow = 0x7D,
                               upArrow = 0x7E;
inline constexpr std::uint16_t command = 0x37, rightCommand = 0x36, shift = 0x38, rightShift = 0x3C,
                               capsLock = 0x39, option = 0x3A, rightOption = 0x3D, control = 0x3B,
                               rightControl = 0x3E, function = 0x3F;
inline constexpr std::uint16_t f1 = 0x7A, f2 = 0x78, f3 = 0x63, f4 = 0x76, f5 = 0x60, f6 = 0x61, f7 = 0x62,
                               f8 = 0x64, f9 = 0x65, f10 = 0x6D, f11 = 0x67, f12 = 0x6F, f13 = 0x69,
                               f14 = 0x6B, f15 = 0x71, f16 = 0x6A, f17 = 0x40, f18 = 0x4F, f19 = 0x50,
                               f20 = 0x5A;
inline constexpr std::uint16_t keypadDecimal = 0x41, keypadMultiply = 0x43, keypadPlus = 0x45,
                               keypadClear = 0x47, keypadDivide = 0x4B, keypadEnter = 0x4C,
                               keypadMinus = 0x4E, keypadEquals = 0x51, keypad0 = 0x52, keypad1 = 0x53,
                               keypad2 = 0x54, keypad3 = 0x55, keypad4 = 0x56, keypad5 = 0x57, keypad6 = 0x58,
                               keypad7 = 0x59, keypad8 = 0x5B, keypad9 = 0x5C;
inline constexpr std::uint16_t jisYen = 0x5D, jisUnderscore = 0x5E, jisKeypadComma = 0x5F, jisEisu = 0x66,
                               jisKana = 0x68;

// Both Shifts, Controls, Options and Commands, Caps Lock and Function.
inline constexpr std::array<std::uint16_t, 10> modifierKeyCodes = {0x38, 0x3C, 0x3B, 0x3E, 0x3A,
                                                                   0x3D, 0x37, 0x36, 0x39, 0x3F};
constexpr bool isModifierKeyCode(std::uint16_t code) {
    for (auto k : modifierKeyCodes)
        if (k == code) return true;
    return false;
}
}  // namespace MacVirtualKey

// A physical modifier key. Function (0x3F) is not one: the engine has no use
// for it.
class ModifierKey {
public:
    enum Value : std::uint8_t {
        shiftLeft,
        shiftRight,
        controlLeft,
        controlRight,
        optionLeft,
        optionRight,
        commandLeft,
        commandRight,
        capsLock,
    };

    constexpr ModifierKey(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    static std::optional<ModifierKey> fromVirtualKey(std::uint16_t virtualKey);
    static const std::array<ModifierKey, 9>& allCases();

    std::uint16_t virtualKey() const;
    std::uint32_t keysym() const;
    std::uint32_t contributedMask() const;
    // The case name ("shiftLeft").
    std::string_view rawValue() const;

private:
    Value value_;
};

struct RimeKeyEvent {
    std::uint32_t keysym = KeySym::voidSymbol;
    std::uint32_t mask = 0;

    bool isRelease() const { return (mask & RimeModifier::release) != 0; }
    bool operator==(const RimeKeyEvent&) const = default;
};

}  // namespace sorvane
