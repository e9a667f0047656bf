#pragma once
// Reading and writing the JSON data files that other programs and older
// versions may have touched: depth-bounded parsing, and members kept as their
// original text where the library cannot hold their value exactly.
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace sorvane::JsonDocument {

// Deeper nesting is refused: writing such a value back recurses once per
// level, and pretty-printing it grows quadratically.
inline constexpr int maxDepth = 64;

// The parsed document; none when it is not JSON, nests deeper than maxDepth
// or holds a number beyond a double's range (1e400).
std::optional<nlohmann::json> parse(std::string_view text);

// The top-level members of a JSON object text whose value holds a number the
// library would write as another number (an integer beyond 64 bits, a
// decimal with more digits than a double keeps, one too small for a double
// such as 1e-400, which it reads as 0), by key, as their original text. A
// byte-order mark before the object is passed over, as the library does.
// Empty for anything that is not a JSON object.
std::map<std::string, std::string> inexactMembers(std::string_view text);

// `object` pretty-printed with sorted keys, as dump(2) writes it, except that
// a member of `originalText` whose value still equals the one in `original`
// is written as that text. Throws what dump throws.
std::string dumpKeeping(const nlohmann::json& object, const nlohmann::json& original,
                        const std::map<std::string, std::string>& originalText);

}  // namespace sorvane::JsonDocument
