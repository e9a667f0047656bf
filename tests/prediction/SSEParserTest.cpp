#include <gtest/gtest.h>

#include "prediction/SSEParser.h"

namespace sorvane {
namespace {

SSEEvent chunk(std::string delta, std::optional<std::string> reason = std::nullopt,
               std::optional<PredictionUsage> usage = std::nullopt) {
    return SSEEvent::chunk(SSEChunk{std::move(delta), std::move(reason), usage});
}

TEST(SSEParser, Lines) {
    struct Case {
        std::string line;
        SSEEvent expected;
    };
    const Case cases[] = {
        {"data: [DONE]", SSEEvent::done()},
        {"   data:[DONE]  ", SSEEvent::done()},
        {"\tdata: [DONE]\u3000", SSEEvent::done()},  // ideographic space is a space separator
        {"data: [done]", SSEEvent::ignore()},
        {"DATA: {\"choices\":[{\"delta\":{\"content\":\"x\"}}]}", SSEEvent::ignore()},
        {"event: message", SSEEvent::ignore()},
        {"id: 7", SSEEvent::ignore()},
        {": keep-alive", SSEEvent::ignore()},
        {"", SSEEvent::ignore()},
        {"   ", SSEEvent::ignore()},
        {"data:", SSEEvent::ignore()},
        {"data: {", SSEEvent::ignore()},
        {"data: []", SSEEvent::ignore()},
        {"data: 17", SSEEvent::ignore()},
        {"data: {\"choices\":[{\"delta\":{\"content\":\"\"},\"finish_reason\":null}]}", SSEEvent::ignore()},
        {"data: {\"choices\":[{\"delta\":{\"content\":\"\"},\"finish_reason\":\"length\"}]}",
         chunk("", "length")},
        {"data: {\"choices\":[{\"delta\":{},\"text\":\"abc\"}]}", SSEEvent::delta("abc")},
        {"data: {\"choices\":[{\"delta\":{\"content\":\"x\"},\"text\":\"abc\"}]}", SSEEvent::delta("x")},
        {"data: {\"choices\":[{\"delta\":{\"content\":\"\"},\"text\":\"abc\"}]}", SSEEvent::ignore()},
        {"data: {\"choices\":[{\"delta\":{\"content\":null},\"text\":\"abc\"}]}", SSEEvent::delta("abc")},
        {"data:{\"choices\":[{\"delta\":{\"content\":\"hi\"}}],\"extra\":{\"a\":[1]}}",
         SSEEvent::delta("hi")},
        // Only the first choice counts, but every choice must be readable.
        {"data: {\"choices\":[{\"delta\":{\"content\":\"a\"}},{\"delta\":{\"content\":\"b\"}}]}",
         SSEEvent::delta("a")},
        {"data: {\"choices\":[{\"delta\":{\"content\":\"a\"}},{\"delta\":{\"content\":5}}]}",
         SSEEvent::ignore()},
        // A member of the wrong type makes the frame unreadable.
        {"data: {\"choices\":[{\"delta\":{\"content\":1}}]}", SSEEvent::ignore()},
        {"data: {\"choices\":{}}", SSEEvent::ignore()},
        {"data: {\"choices\":[{\"delta\":\"x\"}]}", SSEEvent::ignore()},
        {"data: {\"choices\":[{\"finish_reason\":3}]}", SSEEvent::ignore()},
        {"data: {\"choices\":[{\"delta\":{\"content\":\"a\"}}],\"usage\":{\"prompt_tokens\":\"1\"}}",
         SSEEvent::ignore()},
        {"data: {\"choices\":[{\"delta\":{\"content\":\"a\"}}],\"usage\":{\"prompt_tokens\":1.5}}",
         SSEEvent::ignore()},
        {"data: {\"choices\":null,\"usage\":null}", SSEEvent::ignore()},
        {"data: "
         "{\"choices\":[],\"usage\":{\"prompt_tokens\":100,\"prompt_cache_hit_tokens\":64,\"completion_"
         "tokens\":20}}",
         chunk("", std::nullopt, PredictionUsage{64, 36, 20})},
        {"data: "
         "{\"choices\":[],\"usage\":{\"prompt_tokens\":100,\"prompt_cache_hit_tokens\":150,\"completion_"
         "tokens\":20}}",
         chunk("", std::nullopt, PredictionUsage{150, 0, 20})},
        {"data: "
         "{\"usage\":{\"prompt_tokens\":100,\"prompt_cache_hit_tokens\":64,\"prompt_cache_miss_tokens\":7}}",
         chunk("", std::nullopt, PredictionUsage{64, 7, 0})},
        {"data: {\"usage\":{}}", chunk("", std::nullopt, PredictionUsage{0, 0, 0})},
        {"data: "
         "{\"choices\":[{\"delta\":{\"content\":\"\"},\"finish_reason\":\"stop\"}],\"usage\":{\"completion_"
         "tokens\":3}}",
         chunk("", "stop", PredictionUsage{0, 0, 3})},
        // Members elsewhere that share a name are not mistaken for the frame's.
        {R"(data: {"meta":{"content":5,"usage":"x"},"choices":[{"delta":{"content":"a","x":{"content":7}},"logprobs":{"content":[{"token":"a"}]}}]})",
         SSEEvent::delta("a")},
        // The last of duplicate members counts, as for a parsed document.
        {R"(data: {"choices":[{"delta":{"content":"a","content":"b"}}]})", SSEEvent::delta("b")},
        {R"(data: {"usage":{"completion_tokens":1},"usage":null})", SSEEvent::ignore()},
        {R"(data: {"choices":[{"delta":null,"text":"t"}]})", SSEEvent::delta("t")},
        {R"(data: {"choices":[null]})", SSEEvent::ignore()},
        {R"(data: {"choices":["a"]})", SSEEvent::ignore()},
        {R"(data: {"choices":[[]]})", SSEEvent::ignore()},
        {R"(data: {"usage":5})", SSEEvent::ignore()},
        {R"(data: {"usage":{"prompt_tokens":18446744073709551615}})", SSEEvent::ignore()},
        {R"(data: {"usage":{"prompt_tokens":-5,"prompt_cache_hit_tokens":3}})",
         chunk("", std::nullopt, PredictionUsage{3, 0, 0})},
        {R"(data: "text")", SSEEvent::ignore()},
        {R"(data: {"choices":[{"delta":{"content":"a"}}]} trailing)", SSEEvent::ignore()},
        // Escaped surrogate pairs are joined by the JSON reader; lone halves make the frame unreadable.
        {"data: {\"choices\":[{\"delta\":{\"content\":\"\\ud83d\\ude00\"}}]}", SSEEvent::delta("\U0001F600")},
        {"data: {\"choices\":[{\"delta\":{\"content\":\"\\ud83d\"}}]}", SSEEvent::ignore()},
        // Broken UTF-8 reads as U+FFFD, as a lenient line decoder gives it.
        {"data: {\"choices\":[{\"delta\":{\"content\":\"a\xff\"}}]}", SSEEvent::delta("a\uFFFD")},
    };
    for (const auto& c : cases) {
        const SSEEvent got = SSEParser::parse(c.line);
        EXPECT_EQ(got, c.expected) << c.line << " -> kind " << static_cast<int>(got.kind()) << " delta "
                                   << got.chunk().delta;
    }
}

}  // namespace
}  // namespace sorvane
