#include "kit/route/KeyRedaction.h"

#include "platform/Text.h"

namespace sorvane::KeyRedaction {

std::string redact(std::string_view text, std::string_view key) {
    if (key.empty() || Text::characterCount(key) < minimumKeyCharacters) return std::string(text);
    // Searching bytes rather than Characters can only hide more: a key that
    // happens to fuse with a following combining mark is still hidden.
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(key); at != std::string_view::npos; at = text.find(key, from)) {
        out.append(text.substr(from, at - from));
        out.append(placeholder);
        from = at + key.size();
    }
    out.append(text.substr(from));
    return out;
}

}  // namespace sorvane::KeyRedaction
