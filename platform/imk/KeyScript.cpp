#include "platform/imk/KeyScript.h"

#include <charconv>
#include <map>

namespace sorvane::KeyScript {
namespace {

struct KeyInfo {
    std::uint16_t code;
    std::string characters;
    std::uint64_t extraFlags = 0;
};

// US ANSI positions: unshifted character, shifted character.
struct Position {
    char plain;
    char shifted;
    std::uint16_t code;
};

constexpr Position kPositions[] = {
    {'a', 'A', 0},  {'s', 'S', 1},   {'d', 'D', 2},  {'f', 'F', 3},  {'h', 'H', 4},   {'g', 'G', 5},
    {'z', 'Z', 6},  {'x', 'X', 7},   {'c', 'C', 8},  {'v', 'V', 9},  {'b', 'B', 11},  {'q', 'Q', 12},
    {'w', 'W', 13}, {'e', 'E', 14},  {'r', 'R', 15}, {'y', 'Y', 16}, {'t', 'T', 17},  {'1', '!', 18},
    {'2', '@', 19}, {'3', '#', 20},  {'4', '$', 21}, {'6', '^', 22}, {'5', '%', 23},  {'=', '+', 24},
    {'9', '(', 25}, {'7', '&', 26},  {'-', '_', 27}, {'8', '*', 28}, {'0', ')', 29},  {']', '}', 30},
    {'o', 'O', 31}, {'u', 'U', 32},  {'[', '{', 33}, {'i', 'I', 34}, {'p', 'P', 35},  {'l', 'L', 37},
    {'j', 'J', 38}, {'\'', '"', 39}, {'k', 'K', 40}, {';', ':', 41}, {'\\', '|', 42}, {',', '<', 43},
    {'/', '?', 44}, {'n', 'N', 45},  {'m', 'M', 46}, {'.', '>', 47}, {'`', '~', 50},  {' ', ' ', 49},
};

constexpr std::uint64_t kArrowFlags = ModifierFlag::numericPad | ModifierFlag::function;

std::string utf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

const std::map<std::string, KeyInfo, std::less<>>& namedKeys() {
    static const std::map<std::string, KeyInfo, std::less<>> keys = {
        {"space", {49, " "}},
        {"return", {36, "\r"}},
        {"enter", {36, "\r"}},
        {"kpenter", {76, "\x03", ModifierFlag::numericPad}},
        {"tab", {48, "\t"}},
        {"backspace", {51, "\x7f"}},
        {"delete", {51, "\x7f"}},
        {"escape", {53, "\x1b"}},
        {"esc", {53, "\x1b"}},
        {"up", {126, utf8(0xF700), kArrowFlags}},
        {"down", {125, utf8(0xF701), kArrowFlags}},
        {"left", {123, utf8(0xF702), kArrowFlags}},
        {"right", {124, utf8(0xF703), kArrowFlags}},
        {"home", {115, utf8(0xF729), ModifierFlag::function}},
        {"end", {119, utf8(0xF72B), ModifierFlag::function}},
        {"pageup", {116, utf8(0xF72C), ModifierFlag::function}},
        {"pagedown", {121, utf8(0xF72D), ModifierFlag::function}},
        {"lbrace", {33, "{"}},
        {"rbrace", {30, "}"}},
    };
    return keys;
}

struct ModifierKey {
    std::uint16_t code;
    std::uint64_t flags;  // device-independent bit plus the side bit
};

const std::map<std::string, ModifierKey, std::less<>>& modifierKeys() {
    static const std::map<std::string, ModifierKey, std::less<>> keys = {
        {"shift", {56, ModifierFlag::shift | ModifierFlag::deviceLeftShift}},
        {"lshift", {56, ModifierFlag::shift | ModifierFlag::deviceLeftShift}},
        {"rshift", {60, ModifierFlag::shift | ModifierFlag::deviceRightShift}},
        {"ctrl", {59, ModifierFlag::control | ModifierFlag::deviceLeftControl}},
        {"opt", {58, ModifierFlag::option | ModifierFlag::deviceLeftOption}},
        {"alt", {58, ModifierFlag::option | ModifierFlag::deviceLeftOption}},
        {"cmd", {55, ModifierFlag::command | ModifierFlag::deviceLeftCommand}},
    };
    return keys;
}

class Parser {
public:
    explicit Parser(std::string_view script) : script_(script) {}

    Expected<std::vector<KeyScriptStep>, KeyScriptError> run() {
        std::size_t i = 0;
        while (i < script_.size()) {
            const unsigned char c = static_cast<unsigned char>(script_[i]);
            if (c == '{') {
                const std::size_t close = script_.find('}', i);
                if (close == std::string_view::npos) return fail(i, "unclosed {");
                if (auto r = braced(i, script_.substr(i + 1, close - i - 1)); !r)
                    return unexpected(r.error());
                i = close + 1;
                continue;
            }
            if (c == '}') return fail(i, "} without {: write {rbrace}");
            if (c >= 0x80) return fail(i, "no key on the keyboard types this character");
            std::uint16_t code = 0;
            bool shifted = false;
            if (c == '\n' || c == '\r') {
                typeKey(namedKeys().at("return"), {});
            } else if (c == '\t') {
                typeKey(namedKeys().at("tab"), {});
            } else if (keyCodeFor(c, code, shifted)) {
                typeCharacter(static_cast<char>(c), code, shifted);
            } else {
                return fail(i, "no key types character " + std::to_string(c));
            }
            ++i;
        }
        return steps_;
    }

private:
    Unexpected<KeyScriptError> fail(std::size_t at, std::string message) {
        return unexpected(KeyScriptError{at, std::move(message)});
    }

    static bool number(std::string_view text, int& out) {
        if (text.empty()) return false;
        auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
        return ec == std::errc() && p == text.data() + text.size() && out >= 0;
    }

    Expected<void, KeyScriptError> braced(std::size_t at, std::string_view body) {
        std::string_view name = body;
        std::string_view arg;
        if (const auto space = body.find(' '); space != std::string_view::npos) {
            name = body.substr(0, space);
            arg = body.substr(space + 1);
        }
        if (name == "wait") {
            int ms = 0;
            if (!number(arg, ms)) return fail(at, "{wait N} needs a whole number of milliseconds");
            steps_.push_back({KeyScriptStep::Kind::wait, {}, ms, {}, {}});
            return {};
        }
        if (name == "activate" || name == "deactivate" || name == "commit" || name == "hide" ||
            name == "menu") {
            if (!arg.empty()) return fail(at, std::string("{").append(name).append("} takes no argument"));
            command(std::string(name), {});
            return {};
        }
        if (name == "action") {
            if (arg.empty()) return fail(at, "{action NAME} needs a name");
            command("action", std::string(arg));
            return {};
        }
        if (name == "secure") {
            if (arg != "on" && arg != "off") return fail(at, "{secure on} or {secure off}");
            command("secure", std::string(arg));
            return {};
        }
        if (name == "capslock") {
            capsLock_ = !capsLock_;
            flagsChanged(57, 0);
            return {};
        }
        if (auto m = modifierKeys().find(name);
            m != modifierKeys().end() && name != "ctrl" && name != "opt" && name != "alt" && name != "cmd") {
            int hold = kShiftTapMs;
            if (!arg.empty() && !number(arg, hold))
                return fail(at, "{" + std::string(name) + " N}: N in milliseconds");
            flagsChanged(m->second.code, m->second.flags);
            steps_.push_back({KeyScriptStep::Kind::wait, {}, hold, {}, {}});
            flagsChanged(m->second.code, 0);
            return {};
        }
        if (!arg.empty()) return fail(at, "unknown {" + std::string(body) + "}");
        // A chord: modifiers joined by '+' and one key last.
        std::vector<const ModifierKey*> held;
        std::string_view rest = name;
        while (true) {
            const auto plus = rest.find('+');
            if (plus == std::string_view::npos || plus + 1 == rest.size()) break;
            const auto m = modifierKeys().find(rest.substr(0, plus));
            if (m == modifierKeys().end()) return fail(at, "unknown modifier in {" + std::string(body) + "}");
            held.push_back(&m->second);
            rest = rest.substr(plus + 1);
        }
        KeyInfo key;
        std::uint16_t code = 0;
        bool shifted = false;
        if (auto k = namedKeys().find(rest); k != namedKeys().end()) {
            key = k->second;
        } else if (rest.size() == 1 && keyCodeFor(static_cast<unsigned char>(rest[0]), code, shifted) &&
                   !shifted) {
            key = {code, std::string(1, rest[0])};
        } else {
            return fail(at, "unknown key {" + std::string(body) + "}");
        }
        std::uint64_t flags = 0;
        for (const ModifierKey* m : held) {
            flags |= m->flags;
            flagsChanged(m->code, flags);
        }
        typeKey(key, flags);
        for (auto it = held.rbegin(); it != held.rend(); ++it) {
            flags &= ~(*it)->flags;
            flagsChanged((*it)->code, flags);
        }
        return {};
    }

    void command(std::string name, std::string arg) {
        steps_.push_back({KeyScriptStep::Kind::command, {}, 0, std::move(name), std::move(arg)});
    }

    std::uint64_t withCaps(std::uint64_t flags) const {
        return capsLock_ ? (flags | ModifierFlag::capsLock) : flags;
    }

    void flagsChanged(std::uint16_t code, std::uint64_t flags) {
        KeyEvent e;
        e.type = KeyEventType::flagsChanged;
        e.keyCode = code;
        e.modifierFlags = withCaps(flags);
        steps_.push_back({KeyScriptStep::Kind::key, e, 0, {}, {}});
    }

    void typeKey(const KeyInfo& key, std::uint64_t held) {
        KeyEvent e;
        e.keyCode = key.code;
        e.modifierFlags = withCaps(held | key.extraFlags);
        e.charactersIgnoringModifiers = key.characters;
        e.characters = key.characters;
        if ((held & ModifierFlag::shift) && key.characters.size() == 1) {
            // Shift types the key's upper character in both fields.
            for (const auto& p : kPositions)
                if (p.plain == key.characters[0])
                    e.characters = e.charactersIgnoringModifiers = std::string(1, p.shifted);
        }
        if ((held & ModifierFlag::control) && key.characters.size() == 1) {
            const char c = key.characters[0];
            if (c >= 'a' && c <= 'z') e.characters = std::string(1, static_cast<char>(c - 'a' + 1));
        }
        steps_.push_back({KeyScriptStep::Kind::key, e, 0, {}, {}});
    }

    void typeCharacter(char c, std::uint16_t code, bool shifted) {
        const auto& shift = modifierKeys().at("shift");
        std::string chars(1, c);
        // Caps Lock types capitals without Shift.
        if (capsLock_ && c >= 'a' && c <= 'z') chars[0] = static_cast<char>(c - 'a' + 'A');
        if (!shifted) {
            typeKey({code, chars}, 0);
            return;
        }
        flagsChanged(shift.code, shift.flags);
        KeyEvent e;
        e.keyCode = code;
        e.modifierFlags = withCaps(shift.flags);
        e.characters = e.charactersIgnoringModifiers = chars;
        steps_.push_back({KeyScriptStep::Kind::key, e, 0, {}, {}});
        flagsChanged(shift.code, 0);
    }

    std::string_view script_;
    std::vector<KeyScriptStep> steps_;
    bool capsLock_ = false;
};

}  // namespace

bool keyCodeFor(char32_t character, std::uint16_t& keyCode, bool& shifted) {
    for (const auto& p : kPositions) {
        if (static_cast<char32_t>(static_cast<unsigned char>(p.plain)) == character) {
            keyCode = p.code;
            shifted = false;
            return true;
        }
        if (static_cast<char32_t>(static_cast<unsigned char>(p.shifted)) == character) {
            keyCode = p.code;
            shifted = true;
            return true;
        }
    }
    return false;
}

Expected<std::vector<KeyScriptStep>, KeyScriptError> parse(std::string_view script) {
    return Parser(script).run();
}

}  // namespace sorvane::KeyScript
