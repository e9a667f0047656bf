#pragma once
// What the input controller makes of one key press in the English mode.
#include <string>
#include <utility>

namespace sorvane {

class EnglishKey {
public:
    enum class Kind {
        text,              // printable text typed by the user (one key's characters)
        acceptNormalized,  // take the suggestion's rewritten part
        acceptFull,        // take the rewritten part followed by the continuation
        commitRaw,         // commit the buffer exactly as typed
        escape,            // drop the suggestion, or the buffer when none is shown
        backspace,
        caretLeft,
        caretRight,
        caretHome,
        caretEnd,
    };

    // An empty text is a valid key; the composer declines it.
    static EnglishKey text(std::string characters) { return EnglishKey(Kind::text, std::move(characters)); }
    static EnglishKey acceptNormalized() { return EnglishKey(Kind::acceptNormalized); }
    static EnglishKey acceptFull() { return EnglishKey(Kind::acceptFull); }
    static EnglishKey commitRaw() { return EnglishKey(Kind::commitRaw); }
    static EnglishKey escape() { return EnglishKey(Kind::escape); }
    static EnglishKey backspace() { return EnglishKey(Kind::backspace); }
    static EnglishKey caretLeft() { return EnglishKey(Kind::caretLeft); }
    static EnglishKey caretRight() { return EnglishKey(Kind::caretRight); }
    static EnglishKey caretHome() { return EnglishKey(Kind::caretHome); }
    static EnglishKey caretEnd() { return EnglishKey(Kind::caretEnd); }

    Kind kind() const { return kind_; }
    // The typed characters of a `text` key; empty for every other kind.
    const std::string& characters() const { return characters_; }

    friend bool operator==(const EnglishKey& a, const EnglishKey& b);

private:
    explicit EnglishKey(Kind kind, std::string characters = {})
        : kind_(kind), characters_(std::move(characters)) {}

    Kind kind_;
    std::string characters_;
};

}  // namespace sorvane
