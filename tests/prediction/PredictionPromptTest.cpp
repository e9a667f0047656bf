#include <gtest/gtest.h>

#include "platform/Text.h"
#include "prediction/PredictionPrompt.h"
#include "prediction/PredictionText.h"

namespace sorvane {
namespace {

std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> out;
    std::size_t from = 0;
    for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', from)) {
        out.emplace_back(text.substr(from, at - from));
        from = at + 1;
    }
    out.emplace_back(text.substr(from));
    return out;
}

TEST(PredictionPrompt, LengthAndShape) {
    const std::string_view prompt = PredictionPrompt::json;
    EXPECT_EQ(Text::characterCount(prompt), 1844u);
    EXPECT_EQ(prompt.size(), 1850u);
    const auto l = lines(prompt);
    ASSERT_EQ(l.size(), 27u);
    for (std::size_t i = 0; i < l.size(); ++i) {
        const bool blank = i + 1 == 2 || i + 1 == 6 || i + 1 == 9 || i + 1 == 15 || i + 1 == 19 ||
                           i + 1 == 22 || i + 1 == 25;
        EXPECT_EQ(l[i].empty(), blank) << "line " << i + 1;
    }
    EXPECT_NE(prompt.back(), '\n');
}

TEST(PredictionPrompt, ExactLines) {
    const auto l = lines(PredictionPrompt::json);
    ASSERT_EQ(l.size(), 27u);
    EXPECT_EQ(l[0],
              "You are the prediction engine of a macOS input method. The user types English but substitutes "
              "Hanyu Pinyin (or Chinese characters) for words they cannot spell.");
    EXPECT_EQ(l[2], "Given the partial input, do two things in one pass:");
    EXPECT_EQ(
        l[3],
        "1. Rewrite what the user has already typed as correct, natural English. Translate every pinyin "
        "syllable and every Chinese character into the English word it stands for. Fix tense, articles, "
        "plurals and capitalisation. Keep the user's meaning and register; do not add ideas. This rewrite "
        "is the \"normalized\" field: it covers ONLY what the user already typed.");
    EXPECT_EQ(
        l[4],
        "2. Continue the sentence with 3-8 NEW words so it reads as one complete, natural sentence, ending "
        "with proper punctuation. Those new words, and only those, are the \"continuation\" field. Do not "
        "repeat any part of \"normalized\" inside \"continuation\".");
    EXPECT_EQ(l[6], "Reply with a single json object and nothing else, in exactly this shape:");
    EXPECT_EQ(l[7], R"({"normalized": "...", "continuation": "..."})");
    EXPECT_EQ(l[9], "Rules:");
    EXPECT_EQ(l[10], "- Both fields must be 100% English. Neither may contain a single Chinese character.");
    EXPECT_EQ(l[11], R"(- "continuation" must not start with a space and must not repeat "normalized".)");
    EXPECT_EQ(l[12], "- No markdown fences, no extra keys, no commentary outside the json object.");
    EXPECT_EQ(
        l[13],
        "- Never ask a question back and never refuse; if the input is already fluent English, leave it "
        "as-is in \"normalized\" and just continue it.");
    EXPECT_EQ(l[15], "Examples:");
    EXPECT_EQ(l[16], "Input: i enter the chufang and");
    EXPECT_EQ(
        l[17],
        R"(Output: {"normalized": "I entered the kitchen and", "continuation": "started cooking dinner."})");
    EXPECT_EQ(l[19], "Input: wo juede this design is");
    EXPECT_EQ(
        l[20],
        R"(Output: {"normalized": "I think this design is", "continuation": "a bit over-engineered."})");
    EXPECT_EQ(l[22], "Input: can you bangwo check the");
    EXPECT_EQ(
        l[23],
        R"(Output: {"normalized": "Can you help me check the", "continuation": "latest deployment logs?"})");
    EXPECT_EQ(l[25], "Input: \u6211\u4eca\u5929 very tired because");
    EXPECT_EQ(
        l[26],
        R"(Output: {"normalized": "I am very tired today because", "continuation": "I barely slept last night."})");
}

TEST(PredictionPrompt, SystemAndUserMessage) {
    EXPECT_EQ(PredictionPrompt::system(OutputFormat::json), PredictionPrompt::json);
    EXPECT_EQ(PredictionPrompt::system(OutputFormat::text), std::nullopt);
    EXPECT_EQ(PredictionPrompt::userMessage("wo juede"), "Input: wo juede\nOutput:");
    EXPECT_EQ(outputFormatFromRaw("fim"), OutputFormat::fim);
    EXPECT_EQ(outputFormatFromRaw("JSON"), std::nullopt);
}

TEST(PredictionText, WordsAndCacheKey) {
    struct Case {
        const char* text;
        std::size_t count;
        const char* key;
    };
    const Case cases[] = {
        {"  a\tb  c ", 3, "a b c"},
        {"", 0, ""},
        {"   ", 0, ""},
        {"wo  \t juede", 2, "wo juede"},
        {"I\u3000am\r\nhere\u00a0now", 4, "I am here now"},
        {"Hello", 1, "Hello"},
        {"\u6211\u4eca\u5929 very", 2, "\u6211\u4eca\u5929 very"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PredictionText::wordCount(c.text), c.count) << c.text;
        EXPECT_EQ(PredictionText::cacheKey(c.text), c.key) << c.text;
    }
}

TEST(PredictionText, PrefixSuggestion) {
    struct Case {
        Suggestion last;
        const char* typed;
        std::optional<Suggestion> expected;
    };
    const Suggestion works{"I think", " it works."};
    const Case cases[] = {
        {works, "i THINK it", Suggestion{"I think it", " works."}},
        {works, "I think it works.", Suggestion{"I think it works.", ""}},
        {works, "I thought", std::nullopt},
        {works, "   ", std::nullopt},
        {works, "I think ", Suggestion{"I think", " it works."}},
        {works, "i  think", std::nullopt},
        {works, "I think it works. Yes", std::nullopt},
        {{"", ""}, "a", std::nullopt},
        {{"I am very tired.", ""}, "i am", Suggestion{"I am", " very tired."}},
        {{"Caf\u00e9 is", " open."}, "CAFE\u0301", Suggestion{"Caf\u00e9", " is open."}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PredictionText::prefixSuggestion(c.last, c.typed), c.expected) << c.typed;
    }
}

}  // namespace
}  // namespace sorvane
