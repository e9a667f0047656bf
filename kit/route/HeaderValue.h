#pragma once
// HTTP header values come from the keychain and from what users paste; a
// control character in one (CR, LF, NUL and the rest) would split or cut the
// request, so such a value is refused before any request is built. The rule
// is the transport's own, checked again there for every header.
#include <string_view>

#include "platform/HttpClient.h"

namespace sorvane::HeaderValue {

inline bool isSafe(std::string_view value) {
    return isSendableHeaderText(value);
}

}  // namespace sorvane::HeaderValue
