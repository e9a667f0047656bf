#include <gtest/gtest.h>

#include "platform/Text.h"
#include "prediction/PartialJSON.h"

namespace sorvane {
namespace {

TEST(PartialJSON, NormalizedWhileStreaming) {
    struct Case {
        std::string text;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {R"({"normalized": "I am)", "I am"},
        {R"({"normalized":)", std::nullopt},
        {R"({"normalized":  )", std::nullopt},
        {R"({"normalized)", std::nullopt},
        {R"({"normalized")", std::nullopt},
        {R"({"normalized": ")", ""},
        {R"({"normalized": "a\)", "a"},
        {R"({"normalized": "a\u00e9b")", "a\u00e9b"},
        {R"({"normalized": "a\u00)", "a"},
        {R"({"normalized": "a\u00e)", "a"},
        {R"({"normalized": "a\u00zzb")", "a"},
        {R"({"normalized": "\ud83d\ude00 hi")", ""},
        {R"({"normalized": "a\ud83d\ude00")", "a"},
        {R"({"normalized": "aqb\qc")", "aqbqc"},
        {R"({"normalized": "a\n\t\r\"\\\/b")", "a\n\t\r\"\\/b"},
        {R"({"normalized": "done", "continuation": "x"})", "done"},
        {R"({"normalized" 5})", std::nullopt},
        {R"({"normalized": 5, "x": "normalized"})", std::nullopt},
        {"{\"normalized\"\r\n:\r\n\"hi", "hi"},
        {"{\"normalized\"\u3000:\"hi\"", "hi"},
        {"{\"normalized\": \"caf\u00e9 \u6211", "caf\u00e9 \u6211"},
        // A quote fused with a combining mark is not a quote: the value goes on.
        {"{\"normalized\": \"a\"\u0301b\"", "a\"\u0301b"},
        // Nor is a backslash so fused an escape.
        {"{\"normalized\": \"a\\\u0301nb", "a\\\u0301nb"},
        // Characters compare by canonical equivalence; values come back in NFC.
        {"{\"normalized\": \"cafe\u0301", "caf\u00e9"},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(PartialJSON::string("normalized", c.text), c.expected) << c.text;
}

TEST(PartialJSON, OnlyTheFirstOccurrenceOfTheKeyIsTried) {
    // The escaped quote, the word and the closing quote spell the quoted key,
    // which is then followed by a comma rather than a colon.
    const std::string text = R"({"normalized": "say \"continuation", "continuation": "more"})";
    const auto fields = PartialJSON::extract(text);
    EXPECT_EQ(fields.normalized, R"(say "continuation)");
    EXPECT_EQ(fields.continuation, std::nullopt);
}

TEST(PartialJSON, ExtractReadsBothKeys) {
    const auto fields = PartialJSON::extract(R"({"normalized": "Hi", "continuation": "the)");
    EXPECT_EQ(fields.normalized, "Hi");
    EXPECT_EQ(fields.continuation, "the");
    const auto none = PartialJSON::extract("{");
    EXPECT_EQ(none.normalized, std::nullopt);
    EXPECT_EQ(none.continuation, std::nullopt);
}

TEST(PartialJSON, BrokenUtf8IsReadAsReplacementCharacters) {
    EXPECT_EQ(PartialJSON::string("normalized", "{\"normalized\": \"a\xff\xfe"), "a\uFFFD\uFFFD");
}

// A reply read as it streams in, delta by delta, reads at every step exactly
// as the whole text so far does: normalization that joins a delta's first
// characters to the last ones before it, Characters that grow across a delta
// (combining marks, CR LF, emoji sequences) and broken UTF-8 included.
TEST(PartialJSON, StreamedReplyReadsAsTheWholeTextAtEveryDelta) {
    std::vector<std::vector<std::string>> replies = {
        {"{\"normalized\": \"", "I am", " fine", "\", \"contin", "uation\": \"", " thanks", "\"}"},
        {"{\"normalized\": \"cafe", "\u0301", " ok", "\u0308\u0301", "\"}"},
        {"{\"normalized\": \"a\r", "\nb\", \"continuation\": \"c", "\"}"},
        {"{\"normalized\": \"\xF0\x9F\x91\xA9\u200D", "\xF0\x9F\x92\xBB", "\u0301", " x\"}"},
        {"{\"normal", "ized\": \"我们", "今天", "去\u0301", "餐厅\", \"continuation\": \"吃饭\"}"},
        {"{\"normalized\": \"o", "\xCC\x88 bad \xFF", "\"}"},
        {"{\"normalized\": \"\\u00e9", "\\n", "\u3099", "\\\"", "\"}"},
        {"{\"normalized", "\u0301\": \"no\", \"normalized\": \"yes", "\"}"},
        {"{\"normalized\": \"a\\", "u00", "e9b\\", "\"c", "\", \"continuation\": \"x\\u", "d83d\"}"},
        {"{\"normalized\": \"", "long", " value ", "that ", "grows", "\", \"contin", "uation\"", ": \"",
         "more", "\"}"},
    };
    // One letter with marks enough to pass the bound on text held back for
    // normalization, twice.
    std::string marks;
    for (int j = 0; j < 100; ++j) marks += "\u0301";
    std::vector<std::string> marked = {"{\"normalized\": \"e"};
    marked.insert(marked.end(), 50, marks);
    marked.push_back("\"}");
    replies.push_back(marked);
    for (const auto& deltas : replies) {
        ReplyText streamed;
        PartialJSON::Reader reader;
        std::string whole;
        for (const std::string& delta : deltas) {
            streamed.append(delta);
            whole += delta;
            const PartialJSON::Fields expected = PartialJSON::extract(whole);
            for (const PartialJSON::Fields& got :
                 {PartialJSON::extract(streamed), reader.extract(streamed)}) {
                EXPECT_EQ(got.normalized, expected.normalized) << whole;
                EXPECT_EQ(got.continuation, expected.continuation) << whole;
            }
            EXPECT_EQ(streamed.text(), Text::canonicalForm(Text::sanitizedUtf8(whole))) << whole;
        }
    }
}

}  // namespace
}  // namespace sorvane
