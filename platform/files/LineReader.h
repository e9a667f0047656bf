#pragma once
// Splits a byte stream that arrives in arbitrary chunks into lines. A line
// ends at LF, CRLF or a lone CR (a CRLF split between two chunks is still one
// ending); a last line without an ending is handed out by finish(). The one
// splitter of streamed replies: the HTTP client's line mode, and the stream
// replays of tests, fuzzing and benchmarks.
#include <string>
#include <string_view>

namespace sorvane {

class LineReader {
public:
    // Calls onLine(std::string_view) for every line the chunk completes. The
    // view is valid only during the call.
    template <class OnLine>
    void feed(std::string_view chunk, OnLine&& onLine) {
        std::size_t pos = 0;
        if (afterCR_ && !chunk.empty()) {
            afterCR_ = false;
            if (chunk.front() == '\n') pos = 1;
        }
        while (pos < chunk.size()) {
            const std::size_t end = lineEnd(chunk, pos);
            if (end == std::string_view::npos) {
                pending_.append(chunk.substr(pos));
                return;
            }
            if (pending_.empty()) {
                onLine(chunk.substr(pos, end - pos));
            } else {
                pending_.append(chunk.substr(pos, end - pos));
                onLine(std::string_view(pending_));
                pending_.clear();
            }
            pos = end + 1;
            if (chunk[end] == '\r') {
                if (pos == chunk.size()) {
                    afterCR_ = true;
                } else if (chunk[pos] == '\n') {
                    ++pos;
                }
            }
        }
    }

    // Hands out the last line when the stream ended without a line ending.
    template <class OnLine>
    void finish(OnLine&& onLine) {
        afterCR_ = false;
        if (pending_.empty()) return;
        std::string last;
        last.swap(pending_);
        onLine(std::string_view(last));
    }

    // Bytes of an unfinished line held back so far.
    std::size_t pendingSize() const { return pending_.size(); }

private:
    // string_view::find_first_of calls memchr for every byte; this is several
    // times faster on long frames.
    static std::size_t lineEnd(std::string_view s, std::size_t from) {
        for (std::size_t i = from; i < s.size(); ++i) {
            if (s[i] == '\n' || s[i] == '\r') return i;
        }
        return std::string_view::npos;
    }

    std::string pending_;
    bool afterCR_ = false;
};

}  // namespace sorvane
