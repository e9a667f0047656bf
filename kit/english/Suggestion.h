#pragma once
// A rewrite of the typed sentence and the words that would complete it.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace sorvane {

struct Suggestion {
    // What the user has typed so far, rewritten as English.
    std::string normalized;
    // The new words; begins with one space when both parts are non-empty.
    std::string continuation;

    // The only way model text becomes a suggestion: both parts trimmed, and the
    // continuation given its one leading space when both are non-empty.
    static Suggestion joined(std::string_view normalized, std::string_view continuation);

    // More than any reply the request allows; a longer suggestion is cut here,
    // so that no reply, however long, is laid out whole on every partial.
    static constexpr std::size_t maximumCharacters = 4000;

    std::string full() const { return normalized + continuation; }
    // This suggestion cut to maximumCharacters Characters, the rewrite first.
    Suggestion bounded() const;
    // True when nothing but whitespace and newlines would be shown.
    bool isEmpty() const;
    // The printable form: normalized‹continuation›.
    std::string description() const;

    friend bool operator==(const Suggestion& a, const Suggestion& b);
};

}  // namespace sorvane

// Canonically equal suggestions hash alike.
template <>
struct std::hash<sorvane::Suggestion> {
    std::size_t operator()(const sorvane::Suggestion& s) const noexcept;
};
