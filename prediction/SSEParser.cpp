#include "prediction/SSEParser.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/Text.h"

namespace sorvane::SSEParser {
namespace {

using nlohmann::json;

// Reads a frame straight from the parser's events instead of building a
// document: the frames are mostly envelope (ids, model, fingerprints) that is
// never looked at. A member that is absent or null reads as none; a member of
// the wrong type makes the whole frame unreadable, and so does a frame that is
// not a JSON object. Duplicate members: the last one counts.
class FrameReader final : public json::json_sax_t {
public:
    struct Choice {
        std::optional<std::string> content;  // delta.content
        std::optional<std::string> text;
        std::optional<std::string> finishReason;
    };
    struct Usage {
        std::optional<int64_t> promptTokens, completionTokens, cacheHitTokens, cacheMissTokens;
    };

    std::optional<Choice> firstChoice;
    std::optional<Usage> usage;

    bool null() override { return scalar(Value::null, nullptr, 0); }
    bool boolean(bool) override { return scalar(Value::other, nullptr, 0); }
    bool number_integer(number_integer_t v) override { return scalar(Value::integer, nullptr, v); }
    bool number_unsigned(number_unsigned_t v) override {
        if (v > static_cast<number_unsigned_t>(INT64_MAX)) return scalar(Value::other, nullptr, 0);
        return scalar(Value::integer, nullptr, static_cast<int64_t>(v));
    }
    bool number_float(number_float_t, const string_t&) override { return scalar(Value::other, nullptr, 0); }
    bool string(string_t& v) override { return scalar(Value::string, &v, 0); }
    bool binary(binary_t&) override { return scalar(Value::other, nullptr, 0); }

    bool start_object(std::size_t) override {
        switch (slot()) {
            case Slot::frame:
                return enter(Scope::frame);
            case Slot::choice:
                // Later choices must read too, but only the first counts.
                if (firstChoice) {
                    scratch_ = Choice{};
                    current_ = &scratch_;
                } else {
                    firstChoice.emplace();
                    current_ = &*firstChoice;
                }
                return enter(Scope::choice);
            case Slot::delta:
                current_->content.reset();
                return enter(Scope::delta);
            case Slot::usage:
                usage.emplace();
                return enter(Scope::usage);
            case Slot::any:
                return enter(Scope::skip);
            default:
                return false;
        }
    }
    bool end_object() override { return leave(); }
    bool start_array(std::size_t) override {
        switch (slot()) {
            case Slot::choices:
                firstChoice.reset();
                return enter(Scope::choices);
            case Slot::any:
                return enter(Scope::skip);
            default:
                return false;
        }
    }
    bool end_array() override { return leave(); }
    bool key(string_t& name) override {
        key_ = name;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    enum class Scope { frame, choices, choice, delta, usage, skip };
    // What the next value may be.
    enum class Slot { frame, choices, choice, delta, usage, string, integer, any };
    enum class Value { null, string, integer, other };

    Slot slot() const {
        if (scopes_.empty()) return Slot::frame;
        switch (scopes_.back()) {
            case Scope::frame:
                if (key_ == "choices") return Slot::choices;
                if (key_ == "usage") return Slot::usage;
                return Slot::any;
            case Scope::choices:
                return Slot::choice;
            case Scope::choice:
                if (key_ == "delta") return Slot::delta;
                if (key_ == "text" || key_ == "finish_reason") return Slot::string;
                return Slot::any;
            case Scope::delta:
                return key_ == "content" ? Slot::string : Slot::any;
            case Scope::usage:
                if (key_ == "prompt_tokens" || key_ == "completion_tokens" ||
                    key_ == "prompt_cache_hit_tokens" || key_ == "prompt_cache_miss_tokens") {
                    return Slot::integer;
                }
                return Slot::any;
            case Scope::skip:
                return Slot::any;
        }
        return Slot::any;
    }

    bool scalar(Value value, string_t* text, int64_t number) {
        const Slot s = slot();
        if (s == Slot::any) return true;
        if (s == Slot::frame) return false;
        const bool isNull = value == Value::null;
        if (s == Slot::choice) return false;  // a choice must be an object
        if (s == Slot::choices || s == Slot::delta || s == Slot::usage) {
            if (!isNull) return false;
            if (s == Slot::choices) firstChoice.reset();
            if (s == Slot::delta) current_->content.reset();
            if (s == Slot::usage) usage.reset();
            return true;
        }
        if (s == Slot::string && !isNull && value != Value::string) return false;
        if (s == Slot::integer && !isNull && value != Value::integer) return false;
        std::optional<std::string> str =
            text && !isNull ? std::optional<std::string>(std::move(*text)) : std::nullopt;
        const std::optional<int64_t> integer = isNull ? std::nullopt : std::optional<int64_t>(number);
        switch (scopes_.back()) {
            case Scope::delta:
                current_->content = std::move(str);
                break;
            case Scope::choice:
                (key_ == "text" ? current_->text : current_->finishReason) = std::move(str);
                break;
            case Scope::usage:
                if (key_ == "prompt_tokens") usage->promptTokens = integer;
                if (key_ == "completion_tokens") usage->completionTokens = integer;
                if (key_ == "prompt_cache_hit_tokens") usage->cacheHitTokens = integer;
                if (key_ == "prompt_cache_miss_tokens") usage->cacheMissTokens = integer;
                break;
            default:
                break;
        }
        return true;
    }

    bool enter(Scope scope) {
        scopes_.push_back(scope);
        key_.clear();
        return true;
    }
    bool leave() {
        scopes_.pop_back();
        // The key that led into a container is not needed after it.
        key_.clear();
        return true;
    }

    std::vector<Scope> scopes_;
    std::string key_;
    Choice scratch_;
    Choice* current_ = nullptr;
};

PredictionUsage usageFrom(const FrameReader::Usage& usage) {
    PredictionUsage out;
    out.cacheHitTokens = usage.cacheHitTokens.value_or(0);
    // Saturating: a hostile frame must not overflow the subtraction.
    const int64_t p = usage.promptTokens.value_or(0);
    const int64_t h = out.cacheHitTokens;
    const bool underflows = h > 0 && p < INT64_MIN + h;
    const bool overflows = h < 0 && p > INT64_MAX + h;
    const int64_t difference = underflows ? INT64_MIN : overflows ? INT64_MAX : p - h;
    out.cacheMissTokens = usage.cacheMissTokens ? *usage.cacheMissTokens : std::max<int64_t>(0, difference);
    out.outputTokens = usage.completionTokens.value_or(0);
    return out;
}

std::optional<FrameReader> readFrame(std::string_view payload) {
    FrameReader reader;
    if (json::sax_parse(payload, &reader)) return reader;
    if (Text::isValidUtf8(payload)) return std::nullopt;
    // The line was decoded leniently: broken bytes stand for U+FFFD.
    FrameReader lenient;
    if (json::sax_parse(Text::sanitizedUtf8(payload), &lenient)) return lenient;
    return std::nullopt;
}

}  // namespace

SSEEvent parse(std::string_view line) {
    const std::string_view trimmed = Text::trimmedEndsHorizontally(line);
    constexpr std::string_view field = "data:";
    if (trimmed.empty() || trimmed.front() == ':' || !trimmed.starts_with(field)) return SSEEvent::ignore();
    const std::string_view payload = Text::trimmedEndsHorizontally(trimmed.substr(field.size()));
    if (payload == "[DONE]") return SSEEvent::done();
    std::optional<FrameReader> frame = readFrame(payload);
    if (!frame) return SSEEvent::ignore();
    std::optional<PredictionUsage> usage;
    if (frame->usage) usage = usageFrom(*frame->usage);
    if (!frame->firstChoice) {
        if (!usage) return SSEEvent::ignore();
        return SSEEvent::chunk(SSEChunk{{}, std::nullopt, usage});
    }
    FrameReader::Choice& first = *frame->firstChoice;
    // A present content, even empty, wins over "text".
    std::string delta = first.content ? std::move(*first.content) : first.text ? std::move(*first.text) : "";
    if (!usage && delta.empty() && !first.finishReason) return SSEEvent::ignore();
    return SSEEvent::chunk(SSEChunk{std::move(delta), std::move(first.finishReason), usage});
}

}  // namespace sorvane::SSEParser
