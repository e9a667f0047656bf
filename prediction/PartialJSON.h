#pragma once
// Reads string values out of a JSON object that is still arriving, so that a
// suggestion can be shown while the reply streams. Works on Characters
// (extended grapheme clusters), never on bytes.
#include <optional>
#include <string>
#include <string_view>

#include "prediction/ReplyText.h"

namespace sorvane::PartialJSON {

// The value of the first occurrence of "key" in the text: what has been read
// of it so far when the text is cut off inside it; none when the text holds no
// value for the key yet (or the first occurrence is not followed by a string).
// Escaped surrogate pairs are never joined: the value ends before them.
std::optional<std::string> string(std::string_view key, std::string_view text);

struct Fields {
    std::optional<std::string> normalized;
    std::optional<std::string> continuation;
};

// The "normalized" and "continuation" values.
Fields extract(std::string_view text);
// The same of a reply kept in NFC as it streamed in.
Fields extract(const ReplyText& reply);

// extract() of one reply as it grows, going on where the last call left off
// in the part of the text that can no longer change.
class Reader {
public:
    Fields extract(const ReplyText& reply);

private:
    struct Progress {
        std::optional<std::size_t> start;  // the value's first Character
        std::size_t at = 0;                // read up to this Character
        std::string value;                 // what that gave
        bool closed = false;               // the whole value is final
    };
    static std::optional<std::string> read(std::string_view key, Progress& progress, const ReplyText& reply);

    Progress normalized_;
    Progress continuation_;
};

}  // namespace sorvane::PartialJSON
