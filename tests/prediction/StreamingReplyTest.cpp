#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/files/LineReader.h"
#include "prediction/StreamingReply.h"

namespace sorvane {
namespace {

std::string recordedReply() {
    std::ifstream in(std::string(SORVANE_SOURCE_DIR) + "/tests/prediction/data/deepseek-reply.sse",
                     std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Replay {
    std::vector<Suggestion> partials;
    std::optional<PredictionUsage> usage;
    std::string text;
    bool truncated = false;
    bool done = false;
    Expected<Suggestion, PredictionError> final = unexpected(PredictionError::emptyResponse());
};

// Feeds the stream in the given pieces and ends it.
Replay replay(std::string_view stream, const std::vector<std::size_t>& cuts) {
    StreamingReply reply;
    Replay out;
    const auto onPartial = [&](const Suggestion& s) { out.partials.push_back(s); };
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        reply.feed(stream.substr(from, cut - from), onPartial);
        from = cut;
    }
    reply.feed(stream.substr(from), onPartial);
    out.done = reply.isDone();
    reply.finish(onPartial);
    out.usage = reply.usage();
    out.text = reply.text();
    out.truncated = reply.truncated();
    out.final = reply.finalSuggestion();
    return out;
}

void expectSame(const Replay& a, const Replay& b, const std::string& label) {
    EXPECT_EQ(a.partials, b.partials) << label;
    EXPECT_EQ(a.usage, b.usage) << label;
    EXPECT_EQ(a.text, b.text) << label;
    EXPECT_EQ(a.truncated, b.truncated) << label;
    EXPECT_EQ(a.done, b.done) << label;
    ASSERT_EQ(a.final.hasValue(), b.final.hasValue()) << label;
    if (a.final.hasValue()) {
        EXPECT_EQ(*a.final, *b.final) << label;
    }
}

TEST(StreamingReply, RecordedReplyWhole) {
    const Replay r = replay(recordedReply(), {});
    const std::string n = "I think this design is";
    const std::string c = " a bit over-engineered \u2014 frankly";
    const std::vector<Suggestion> expected = {
        {"I", ""},
        {"I think", ""},
        {"I think this", ""},
        {"I think this design", ""},
        {n, ""},
        {n, " a"},
        {n, " a bit"},
        {n, " a bit over"},
        {n, " a bit over-"},
        {n, " a bit over-engine"},
        {n, " a bit over-engineered"},
        {n, " a bit over-engineered \u2014"},
        {n, c},
        {n, c + " \""},
        {n, c + " \"too"},
        {n, c + " \"too much"},
        {n, c + " \"too much\""},
        {n, c + " \"too much\"."},
    };
    EXPECT_EQ(r.partials, expected);
    EXPECT_TRUE(r.done);
    EXPECT_EQ(r.usage, (PredictionUsage{448, 64, 29}));
    EXPECT_FALSE(r.truncated);
    ASSERT_TRUE(r.final.hasValue());
    EXPECT_EQ(*r.final, (Suggestion{n, c + " \"too much\"."}));
}

TEST(StreamingReply, EverySplitInTwoAndThreeGivesTheSameReply) {
    const std::string stream = recordedReply();
    const Replay whole = replay(stream, {});
    for (std::size_t i = 0; i <= stream.size(); ++i) {
        expectSame(whole, replay(stream, {i}), "cut at " + std::to_string(i));
        if (HasFailure()) return;
    }
    // Three pieces, with the second cut at every offset after a moving first one.
    for (std::size_t i = 0; i < stream.size(); i += 397) {
        for (std::size_t j = i; j <= stream.size(); j += 29) {
            expectSame(whole, replay(stream, {i, j}), "cuts " + std::to_string(i) + "," + std::to_string(j));
            if (HasFailure()) return;
        }
    }
}

TEST(StreamingReply, ByteByByteGivesTheSameReply) {
    const std::string stream = recordedReply();
    std::vector<std::size_t> cuts(stream.size());
    for (std::size_t i = 0; i < cuts.size(); ++i) cuts[i] = i;
    expectSame(replay(stream, {}), replay(stream, cuts), "byte by byte");
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
        s.replace(at, from.size(), to);
    }
    return s;
}

TEST(StreamingReply, LineEndingsAreInterchangeable) {
    const std::string lf = recordedReply();
    const Replay whole = replay(lf, {});
    for (const char* ending : {"\r\n", "\r"}) {
        const std::string stream = replaceAll(lf, "\n", ending);
        expectSame(whole, replay(stream, {}), std::string("ending ") + (ending[1] ? "CRLF" : "CR"));
        std::vector<std::size_t> cuts(stream.size());
        for (std::size_t i = 0; i < cuts.size(); ++i) cuts[i] = i;
        expectSame(whole, replay(stream, cuts), "byte by byte");
    }
}

TEST(StreamingReply, Cases) {
    struct Case {
        const char* name;
        std::string stream;
        std::vector<Suggestion> partials;
        std::optional<PredictionUsage> usage;
        bool truncated;
        Expected<Suggestion, PredictionError> final;
    };
    const auto frame = [](std::string content) {
        return "data: {\"choices\":[{\"delta\":{\"content\":\"" + content + "\"}}]}\n\n";
    };
    const Case cases[] = {
        {"empty reply", "", {}, std::nullopt, false, unexpected(PredictionError::emptyResponse())},
        {"keep-alive only",
         ": keep-alive\n\n: keep-alive\n\n",
         {},
         std::nullopt,
         false,
         unexpected(PredictionError::emptyResponse())},
        {"done only",
         "data: [DONE]\n\n",
         {},
         std::nullopt,
         false,
         unexpected(PredictionError::emptyResponse())},
        {"malformed frames skipped",
         "data: {\"choices\":[{\"delta\":{\"content\":\n\n" + frame("{\\\"normalized\\\":\\\"Hi") +
             "data: {\"choices\":[{\"delta\":{\"content\":7}}]}\n" + "event: ping\n" + "data: nonsense\n" +
             frame("\\\"}"),
         {{"Hi", ""}},
         std::nullopt,
         false,
         Suggestion{"Hi", ""}},
        {"escaped surrogate pair in a frame",
         frame("{\\\"normalized\\\":\\\"ok \\\\ud83d\\\\ude00") + frame(" fine\\\"}"),
         {{"ok", ""}},
         std::nullopt,
         false,
         Suggestion{"ok \U0001F600 fine", ""}},
        {"surrogate pair decoded by the frame reader",
         frame("{\\\"normalized\\\":\\\"ok \\ud83d\\ude00") + frame(" fine\\\"}"),
         {{"ok \U0001F600", ""}, {"ok \U0001F600 fine", ""}},
         std::nullopt,
         false,
         Suggestion{"ok \U0001F600 fine", ""}},
        {"truncated, usage replaced by a later frame, no [DONE]",
         frame("{\\\"normalized\\\":\\\"Hi there") +
             "data: {\"choices\":[{\"delta\":{\"content\":\"\"},\"finish_reason\":\"length\"}],"
             "\"usage\":{\"prompt_tokens\":10,\"completion_tokens\":1}}\n" +
             "data: {\"choices\":[],\"usage\":{\"prompt_tokens\":12,\"completion_tokens\":2}}",
         {{"Hi there", ""}},
         PredictionUsage{0, 12, 2},
         true,
         Suggestion{"Hi there", ""}},
        {"lines after [DONE] are not read",
         frame("{\\\"normalized\\\":\\\"A b\\\"}") + "data: [DONE]\r" + frame("{\\\"normalized\\\":\\\"X"),
         {{"A b", ""}},
         std::nullopt,
         false,
         Suggestion{"A b", ""}},
        {"[DONE] ended by a lone CR as the last line",
         frame("{\\\"normalized\\\":\\\"A b\\\"}") + "data: [DONE]\r",
         {{"A b", ""}},
         std::nullopt,
         false,
         Suggestion{"A b", ""}},
        {"whitespace-only partials are not shown",
         frame("{\\\"normalized\\\":\\\"   ") + frame("\\\"}"),
         {},
         std::nullopt,
         false,
         unexpected(PredictionError::emptyResponse())},
    };
    for (const auto& c : cases) {
        const Replay r = replay(c.stream, {});
        EXPECT_EQ(r.partials, c.partials) << c.name;
        EXPECT_EQ(r.usage, c.usage) << c.name;
        EXPECT_EQ(r.truncated, c.truncated) << c.name;
        ASSERT_EQ(r.final.hasValue(), c.final.hasValue()) << c.name;
        if (c.final.hasValue()) {
            EXPECT_EQ(*r.final, *c.final) << c.name;
        } else {
            EXPECT_EQ(r.final.error(), c.final.error()) << c.name;
        }
        std::vector<std::size_t> cuts(c.stream.size());
        for (std::size_t i = 0; i < cuts.size(); ++i) cuts[i] = i;
        expectSame(r, replay(c.stream, cuts), std::string(c.name) + ", byte by byte");
    }
}

TEST(StreamingReply, FinalSuggestion) {
    struct Case {
        const char* name;
        std::string raw;
        Expected<Suggestion, PredictionError> expected;
    };
    const auto decoding =
        unexpected(PredictionError::decoding(R"(expected {"normalized","continuation"} json object)"));
    const Case cases[] = {
        {"object", R"({"normalized": "Hi", "continuation": "there."})", Suggestion{"Hi", " there."}},
        {"fenced", "```json\n{\"normalized\": \"Hi\", \"continuation\": \"there.\"}\n```",
         Suggestion{"Hi", " there."}},
        {"fenced with CRLF", "```json\r\n{\"normalized\": \"Hi\", \"continuation\": \"there.\"}\r\n```",
         Suggestion{"Hi", " there."}},
        {"both empty", R"({"normalized": "", "continuation": ""})",
         unexpected(PredictionError::emptyResponse())},
        {"whitespace members", R"({"normalized": " ", "continuation": "\n"})",
         unexpected(PredictionError::emptyResponse())},
        {"spaces only", "   \n ", unexpected(PredictionError::emptyResponse())},
        {"continuation only", R"({"continuation": "go"})", Suggestion{"", "go"}},
        {"non-string member", R"({"normalized": 5, "continuation": "go"})", Suggestion{"", "go"}},
        {"cut off after normalized", R"({"normalized": "Hi", "contin)", Suggestion{"Hi", ""}},
        {"cut off inside continuation", R"({"normalized": "Hi", "continuation": "th)",
         Suggestion{"Hi", " th"}},
        {"not json", "hello", decoding},
        {"array", R"(["normalized"])", decoding},
        {"fence without newline", "```json", decoding},
        // A rewrite that is there but blank, cut off or not, is no answer.
        {"blank normalized", R"({"normalized": " \t", "continuation": "go"})",
         unexpected(PredictionError::emptyResponse())},
        {"empty normalized, not an object", R"({"normalized": "", "continuation": "x")",
         unexpected(PredictionError::emptyResponse())},
        {"cut off in a blank normalized", R"({"normalized": "   )",
         unexpected(PredictionError::emptyResponse())},
    };
    for (const auto& c : cases) {
        const auto got = StreamingReply::finalSuggestion(c.raw);
        ASSERT_EQ(got.hasValue(), c.expected.hasValue()) << c.name;
        if (got.hasValue()) {
            EXPECT_EQ(*got, *c.expected) << c.name;
        } else {
            EXPECT_EQ(got.error(), c.expected.error()) << c.name;
        }
    }
}

TEST(LineReader, EndingsAndUnfinishedLastLine) {
    struct Case {
        std::string stream;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"a\nb\r\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"\r\n\r\n", {"", ""}},
        {"\n\r", {"", ""}},
        {"", {}},
        {"tail", {"tail"}},
    };
    for (const auto& c : cases) {
        for (std::size_t step = 1; step <= c.stream.size() + 1; ++step) {
            LineReader reader;
            std::vector<std::string> lines;
            const auto collect = [&](std::string_view l) { lines.emplace_back(l); };
            for (std::size_t i = 0; i < c.stream.size(); i += step) {
                reader.feed(std::string_view(c.stream).substr(i, step), collect);
            }
            reader.finish(collect);
            EXPECT_EQ(lines, c.lines) << "step " << step;
        }
    }
}

}  // namespace
}  // namespace sorvane
