#pragma once
// One line of a streamed chat-completion reply (server-sent events, one JSON
// frame per "data:" line) turned into an event.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "kit/route/PredictionUsage.h"

namespace sorvane {

struct SSEChunk {
    std::string delta;                        // text this frame adds to the reply; may be empty
    std::optional<std::string> finishReason;  // as sent, e.g. "length"
    std::optional<PredictionUsage> usage;     // only in the frame that carries the counts

    friend bool operator==(const SSEChunk&, const SSEChunk&) = default;
};

class SSEEvent {
public:
    enum class Kind { chunk, done, ignore };

    static SSEEvent chunk(SSEChunk chunk) { return SSEEvent(Kind::chunk, std::move(chunk)); }
    // A chunk with the text only.
    static SSEEvent delta(std::string text) {
        return chunk(SSEChunk{std::move(text), std::nullopt, std::nullopt});
    }
    static SSEEvent done() { return SSEEvent(Kind::done, {}); }
    static SSEEvent ignore() { return SSEEvent(Kind::ignore, {}); }

    Kind kind() const { return kind_; }
    // The frame of a `chunk` event; empty otherwise.
    const SSEChunk& chunk() const { return chunk_; }

    friend bool operator==(const SSEEvent&, const SSEEvent&) = default;

private:
    SSEEvent(Kind kind, SSEChunk chunk) : kind_(kind), chunk_(std::move(chunk)) {}

    Kind kind_;
    SSEChunk chunk_;
};

namespace SSEParser {

// Never fails: comments, other fields, unreadable frames and frames that carry
// nothing are `ignore`; "data: [DONE]" is `done`.
SSEEvent parse(std::string_view line);

}  // namespace SSEParser

}  // namespace sorvane
