#pragma once
// HTTP header values come from the keychain and from what users paste; a CR,
// LF or NUL in one would split or cut the request, so such a value is refused
// before any request is built.
#include <string_view>

namespace sorvane::HeaderValue {

constexpr bool isSafe(std::string_view value) {
    for (char c : value) {
        if (c == '\r' || c == '\n' || c == '\0') return false;
    }
    return true;
}

}  // namespace sorvane::HeaderValue
