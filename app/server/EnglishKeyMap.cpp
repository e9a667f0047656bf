#include "app/server/EnglishKeyMap.h"

#include <unicode/uchar.h>

#include "platform/Text.h"

namespace sorvane::EnglishKeyMap {
namespace {

constexpr std::uint64_t kCommandKeys = ModifierFlag::control | ModifierFlag::option | ModifierFlag::command;

bool isPrintableScalar(char32_t c) {
    if (c >= 0xF700 && c <= 0xF8FF) return false;
    switch (u_charType(static_cast<UChar32>(c))) {
        case U_CONTROL_CHAR:  // Cc
        case U_FORMAT_CHAR:   // Cf
        case U_UNASSIGNED:    // Cn, non-characters included
        case U_SURROGATE:
            return false;
        default:
            return true;
    }
}

}  // namespace

std::optional<std::string> printableText(const KeyEvent& event) {
    const std::string& text = event.characters;
    if (text.empty() || !Text::isValidUtf8(text)) return std::nullopt;
    for (char32_t c : Text::codePoints(text)) {
        if (!isPrintableScalar(c)) return std::nullopt;
    }
    return text;
}

bool handleKeyDown(EnglishComposer& composer, const KeyEvent& event) {
    if (!composer.predictionEnabled()) return false;
    if (event.modifierFlags & kCommandKeys) return false;
    const bool shift = (event.modifierFlags & ModifierFlag::shift) != 0;
    switch (event.keyCode) {
        case Code::returnKey:
        case Code::keypadEnter: {
            const bool taken = composer.handle(EnglishKey::commitRaw());
            // Shift+Return commits the sentence and still reaches the
            // application (a soft line break in most editors).
            return shift ? false : taken;
        }
        case Code::tab: {
            const bool full = shift != (composer.acceptKeys() == AcceptKeys::tabFull);
            return composer.handle(full ? EnglishKey::acceptFull() : EnglishKey::acceptNormalized());
        }
        case Code::backspace:
            return composer.handle(EnglishKey::backspace());
        case Code::escape:
            return composer.handle(EnglishKey::escape());
        case Code::home:
            return composer.handle(EnglishKey::caretHome());
        case Code::end:
            return composer.handle(EnglishKey::caretEnd());
        case Code::left:
            return composer.handle(EnglishKey::caretLeft());
        case Code::right:
            return composer.handle(EnglishKey::caretRight());
        default:
            break;
    }
    const auto text = printableText(event);
    if (!text) return false;
    return composer.handle(EnglishKey::text(*text));
}

}  // namespace sorvane::EnglishKeyMap
