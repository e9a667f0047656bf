#include "kit/english/Suggestion.h"

#include "platform/Text.h"

namespace sorvane {
namespace {

// Replies are trimmed after every token, and only their ends can hold white
// space to drop.
std::string trimmed(std::string_view text) {
    return std::string(Text::trimmedEnds(text));
}

}  // namespace

Suggestion Suggestion::joined(std::string_view normalized, std::string_view continuation) {
    Suggestion s{trimmed(normalized), trimmed(continuation)};
    if (!s.normalized.empty() && !s.continuation.empty()) s.continuation = " " + s.continuation;
    return s;
}

Suggestion Suggestion::bounded() const {
    // A Character is at least one byte: short texts need no counting.
    if (normalized.size() + continuation.size() <= maximumCharacters) return *this;
    Suggestion cut;
    cut.normalized = Text::prefixCharacters(normalized, maximumCharacters);
    const std::size_t used = Text::characterCount(cut.normalized);
    if (used < maximumCharacters)
        cut.continuation = Text::prefixCharacters(continuation, maximumCharacters - used);
    return cut;
}

bool Suggestion::isEmpty() const {
    return trimmed(normalized).empty() && trimmed(continuation).empty();
}

std::string Suggestion::description() const {
    return normalized + "\u2039" + continuation + "\u203A";
}

bool operator==(const Suggestion& a, const Suggestion& b) {
    return Text::canonicallyEqual(a.normalized, b.normalized) &&
           Text::canonicallyEqual(a.continuation, b.continuation);
}

}  // namespace sorvane

std::size_t std::hash<sorvane::Suggestion>::operator()(const sorvane::Suggestion& s) const noexcept {
    const std::hash<std::string> h;
    const std::size_t a = h(sorvane::Text::canonicalForm(s.normalized));
    const std::size_t b = h(sorvane::Text::canonicalForm(s.continuation));
    return a ^ (b + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
}
