#pragma once
// The reply of one streamed chat-completion request as it arrives: the reply
// text, the growing partial suggestion, the token usage, and at the end the
// final suggestion.
#include <optional>
#include <string>
#include <string_view>

#include "kit/english/Suggestion.h"
#include "kit/route/PredictionError.h"
#include "kit/route/PredictionUsage.h"
#include "platform/Expected.h"
#include "platform/files/LineReader.h"
#include "prediction/PartialJSON.h"
#include "prediction/ReplyText.h"
#include "prediction/SSEParser.h"

namespace sorvane {

class StreamingReply {
public:
    // Takes one event. Returns the partial suggestion that the event makes
    // visible, when it is not empty and differs from the last one returned.
    // Events after "[DONE]" are ignored.
    std::optional<Suggestion> take(const SSEEvent& event);

    // Feeds raw bytes of the stream in chunks of any size; onPartial(const
    // Suggestion&) is called for each new partial suggestion, in stream order.
    template <class OnPartial>
    void feed(std::string_view bytes, OnPartial&& onPartial) {
        if (done_) return;
        lines_.feed(bytes, [&](std::string_view line) { takeLine(line, onPartial); });
    }
    // The stream has ended: its last line counts even without a line ending
    // ("data: [DONE]\r" ends a stream). A stream without "[DONE]" ends here too.
    template <class OnPartial>
    void finish(OnPartial&& onPartial) {
        if (!done_) lines_.finish([&](std::string_view line) { takeLine(line, onPartial); });
        done_ = true;
    }

    // "[DONE]" was read (or finish() was called).
    bool isDone() const { return done_; }
    // The whole reply text so far.
    const std::string& text() const { return text_; }
    // The last usage the stream reported.
    const std::optional<PredictionUsage>& usage() const { return usage_; }
    // A frame ended with the finish reason "length".
    bool truncated() const { return truncated_; }
    const std::optional<Suggestion>& lastPartial() const { return lastPartial_; }

    // The suggestion of a complete reply: a JSON object with "normalized" and
    // "continuation", possibly in a code fence, or failing that whatever can be
    // read of the two values.
    static Expected<Suggestion, PredictionError> finalSuggestion(std::string_view raw);
    Expected<Suggestion, PredictionError> finalSuggestion() const { return finalSuggestion(text_); }

private:
    template <class OnPartial>
    void takeLine(std::string_view line, OnPartial& onPartial) {
        if (done_) return;
        if (auto partial = take(SSEParser::parse(line))) onPartial(*partial);
    }

    LineReader lines_;
    std::string text_;
    ReplyText comparable_;  // text_ as the partial reader compares it
    PartialJSON::Reader reader_;
    std::optional<PredictionUsage> usage_;
    std::optional<Suggestion> lastPartial_;
    bool truncated_ = false;
    bool full_ = false;  // the partial reached Suggestion::maximumCharacters
    bool done_ = false;
};

}  // namespace sorvane
