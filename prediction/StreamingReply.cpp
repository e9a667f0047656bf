#include "prediction/StreamingReply.h"

#include <nlohmann/json.hpp>

#include "platform/Text.h"
#include "prediction/PartialJSON.h"

namespace sorvane {

std::optional<Suggestion> StreamingReply::take(const SSEEvent& event) {
    if (done_) return std::nullopt;
    switch (event.kind()) {
        case SSEEvent::Kind::done:
            done_ = true;
            return std::nullopt;
        case SSEEvent::Kind::ignore:
            return std::nullopt;
        case SSEEvent::Kind::chunk:
            break;
    }
    const SSEChunk& chunk = event.chunk();
    if (chunk.finishReason == "length") truncated_ = true;
    if (chunk.usage) usage_ = chunk.usage;
    if (chunk.delta.empty()) return std::nullopt;
    text_ += chunk.delta;
    // Values only grow as the reply does: once the shown part is full, what
    // follows cannot change it.
    if (full_) return std::nullopt;
    comparable_.append(chunk.delta);
    const PartialJSON::Fields fields = reader_.extract(comparable_);
    if (!fields.normalized || fields.normalized->empty()) return std::nullopt;
    Suggestion partial = Suggestion::joined(*fields.normalized, fields.continuation.value_or(""));
    if (partial.normalized.size() + partial.continuation.size() > Suggestion::maximumCharacters) {
        partial = partial.bounded();
        full_ = Text::characterCount(partial.full()) >= Suggestion::maximumCharacters;
    }
    if (partial.isEmpty()) return std::nullopt;
    // Both come from the same NFC text, so equal ones are equal byte for byte.
    if (lastPartial_ && partial.normalized == lastPartial_->normalized &&
        partial.continuation == lastPartial_->continuation)
        return std::nullopt;
    lastPartial_ = partial;
    return partial;
}

Expected<Suggestion, PredictionError> StreamingReply::finalSuggestion(std::string_view raw) {
    std::string text = Text::trimmed(raw);
    if (text.empty()) return unexpected(PredictionError::emptyResponse());
    if (text.starts_with("```")) {
        if (const auto newline = text.find('\n'); newline != std::string::npos) text.erase(0, newline + 1);
        if (const auto fence = text.rfind("```"); fence != std::string::npos) text.resize(fence);
        text = Text::trimmed(text);
    }
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (json.is_object()) {
        const auto member = [&](const char* name) {
            const auto it = json.find(name);
            return it != json.end() && it->is_string() ? it->get<std::string>() : std::string();
        };
        const std::string normalized = member("normalized");
        const std::string continuation = member("continuation");
        // Members of nothing but whitespace are as empty as missing ones; a
        // rewrite that is there but blank rewrites nothing, whatever follows.
        Suggestion suggestion = Suggestion::joined(normalized, continuation);
        const auto rewrite = json.find("normalized");
        const bool blankRewrite =
            rewrite != json.end() && rewrite->is_string() && suggestion.normalized.empty();
        if (suggestion.isEmpty() || blankRewrite) return unexpected(PredictionError::emptyResponse());
        return suggestion.bounded();
    }
    const PartialJSON::Fields fields = PartialJSON::extract(text);
    if (fields.normalized) {
        Suggestion suggestion = Suggestion::joined(*fields.normalized, fields.continuation.value_or(""));
        if (suggestion.normalized.empty()) return unexpected(PredictionError::emptyResponse());
        return suggestion.bounded();
    }
    return unexpected(PredictionError::decoding(R"(expected {"normalized","continuation"} json object)"));
}

}  // namespace sorvane
