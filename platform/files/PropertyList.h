#pragma once
// Property lists from outside (an application's Info.plist inside a
// downloaded package), XML or binary, read through libplist. Any thread.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace sorvane::PropertyList {

// libplist builds and frees its tree recursively, one call per level, so a
// small file can still nest deep enough to exhaust a thread's stack; a real
// Info.plist is a few KiB.
inline constexpr std::size_t maxBytes = 64 * 1024;

// The top-level dictionary, each key with its text value, or nothing for a
// value that is not text. Nothing at all when the bytes are not a property
// list (or too large) or its top level is not a dictionary.
std::optional<std::map<std::string, std::optional<std::string>>> dictionaryTexts(std::string_view bytes);

}  // namespace sorvane::PropertyList
