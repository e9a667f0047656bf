#include "kit/Suggestion.h"

#include "platform/Text.h"

namespace sorvane {
namespace {

// Text::trimmed, with the common all-ASCII edges handled without decoding.
std::string trimmed(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    if (!text.empty() && (static_cast<unsigned char>(text.front()) >= 0x80 ||
                          static_cast<unsigned char>(text.back()) >= 0x80)) {
        return Text::trimmed(text);
    }
    return std::string(text);
}

}  // namespace

Suggestion Suggestion::joined(std::string_view normalized, std::string_view continuation) {
    Suggestion s{trimmed(normalized), trimmed(continuation)};
    if (!s.normalized.empty() && !s.continuation.empty()) s.continuation = " " + s.continuation;
    return s;
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
