#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "platform/DateText.h"
#include "platform/Text.h"

namespace sorvane {
namespace {

using namespace std::chrono;

struct GraphemeCase {
    const char* name;
    std::string text;
    std::vector<std::string> characters;
};

TEST(Text, GraphemeClusters) {
    const GraphemeCase cases[] = {
        {"empty", "", {}},
        {"ascii", "ab c", {"a", "b", " ", "c"}},
        {"CJK", "中文字", {"中", "文", "字"}},
        {"combining acute", "e\u0301a", {"e\u0301", "a"}},
        {"two combining marks", "a\u0308\u0323!", {"a\u0308\u0323", "!"}},
        {"emoji with skin tone", "👍🏽x", {"👍🏽", "x"}},
        {"family ZWJ sequence", "👨‍👩‍👧‍👦", {"👨‍👩‍👧‍👦"}},
        {"flags", "🇨🇳🇯🇵", {"🇨🇳", "🇯🇵"}},
        {"CRLF is one", "a\r\nb", {"a", "\r\n", "b"}},
        {"hangul jamo", "\u1100\u1161\u11A8", {"\u1100\u1161\u11A8"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text::characters(c.text), c.characters) << c.name;
        EXPECT_EQ(Text::characterCount(c.text), c.characters.size()) << c.name;

        // The walking helpers agree with the whole-text split: the count
        // after text is appended at every code-point boundary, where the
        // last Character starts, and one walk Character by Character.
        for (std::size_t split = 0; split <= c.text.size(); ++split) {
            if (Text::codePointBoundaryAtOrBefore(c.text, split) != split) continue;
            const std::size_t before = Text::characterCount(c.text.substr(0, split));
            EXPECT_EQ(Text::characterCountAfterAppend(c.text, split, before), c.characters.size())
                << c.name << " split at " << split;
        }
        const std::size_t lastStart = c.characters.empty() ? 0 : c.text.size() - c.characters.back().size();
        EXPECT_EQ(Text::lastCharacterStart(c.text), lastStart) << c.name;
        std::vector<std::string> walked;
        Text::forEachCharacter(c.text, [&](std::string_view character) {
            walked.emplace_back(character);
            Text::characterCount("e\u0301x");  // helpers inside the walk leave it alone
            return walked.size() < 2;
        });
        const std::size_t expected = std::min<std::size_t>(2, c.characters.size());
        EXPECT_EQ(walked, std::vector<std::string>(c.characters.begin(), c.characters.begin() + expected))
            << c.name;
    }
}

TEST(Text, PrefixAndDropByCharacter) {
    const std::string s = "e\u0301👍🏽中x";
    EXPECT_EQ(Text::prefixCharacters(s, 0), "");
    EXPECT_EQ(Text::prefixCharacters(s, 2), "e\u0301👍🏽");
    EXPECT_EQ(Text::prefixCharacters(s, 99), s);
    EXPECT_EQ(Text::dropCharacters(s, 2), "中x");
    EXPECT_EQ(Text::dropCharacters(s, 4), "");
    EXPECT_EQ(Text::dropCharacters(s, 99), "");
}

TEST(Text, Utf16OffsetsWithAstralCharacters) {
    const std::string s = "a😀中b";  // bytes: 1 + 4 + 3 + 1; UTF-16: 1 + 2 + 1 + 1
    struct Case {
        std::size_t byte, utf16;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {5, 3}, {8, 4}, {9, 5}, {100, 5}};
    for (const auto& c : cases) EXPECT_EQ(Text::utf16Offset(s, c.byte), c.utf16) << c.byte;
    // Inside a sequence counts from its start.
    EXPECT_EQ(Text::utf16Offset(s, 2), 1u);
    EXPECT_EQ(Text::utf16Offset(s, 4), 1u);
    EXPECT_EQ(Text::utf16Offset(s, 7), 3u);
    EXPECT_EQ(Text::utf16Length(s), 5u);
    const Case back[] = {{0, 0}, {1, 1}, {5, 3}, {8, 4}, {9, 5}};
    for (const auto& c : back) EXPECT_EQ(Text::utf8Offset(s, c.utf16), c.byte) << c.utf16;
    // Between the two halves of a surrogate pair: never inside the sequence.
    EXPECT_EQ(Text::utf8Offset(s, 2), 1u);
    EXPECT_EQ(Text::utf8Offset(s, 50), 9u);
    EXPECT_EQ(Text::toUtf8(Text::toUtf16(s)), s);
    EXPECT_EQ(Text::toUtf16(s).size(), 5u);
}

TEST(Text, BoundaryBeforeMidSequenceOffsets) {
    const std::string s = "a😀中";  // 😀 at 1..4, 中 at 5..7
    const std::pair<std::size_t, std::size_t> cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 1},
                                                         {5, 5}, {6, 5}, {7, 5}, {8, 8}, {20, 8}};
    for (const auto& [offset, boundary] : cases) {
        EXPECT_EQ(Text::codePointBoundaryAtOrBefore(s, offset), boundary) << offset;
    }
}

TEST(Text, InvalidUtf8) {
    EXPECT_TRUE(Text::isValidUtf8("中文 ok"));
    EXPECT_FALSE(Text::isValidUtf8("a\xC3"));
    EXPECT_FALSE(Text::isValidUtf8("\xED\xA0\x80"));  // a lone surrogate
    EXPECT_EQ(Text::sanitizedUtf8("a\xFF"
                                  "b"),
              "a\xEF\xBF\xBD"
              "b");
}

TEST(Text, WhitespaceSets) {
    EXPECT_TRUE(Text::isWhitespace(U' '));
    EXPECT_TRUE(Text::isWhitespace(U'\u3000'));  // ideographic space
    EXPECT_TRUE(Text::isWhitespace(U'\n'));
    EXPECT_FALSE(Text::isWhitespace(U'\u200B'));  // zero width space is not White_Space
    EXPECT_TRUE(Text::isWhitespaceOrNewline(U'\u2028'));
    EXPECT_TRUE(Text::isWhitespaceOrNewline(U'\u0085'));
    EXPECT_FALSE(Text::isWhitespaceOrNewline(U'x'));
    EXPECT_TRUE(Text::isWhitespaceCharacter("\r\n"));
    EXPECT_FALSE(Text::isWhitespaceCharacter(""));
    EXPECT_EQ(Text::trimmed("\u3000 \t中 文\n\u2029"), "中 文");
    EXPECT_EQ(Text::trimmed(" \n "), "");
    for (const char* blank : {"", " \n ", "\u3000\u2029\t"}) EXPECT_TRUE(Text::isBlank(blank)) << blank;
    for (const char* text : {" x ", "\u200B", "\xFF"}) EXPECT_FALSE(Text::isBlank(text)) << text;
    EXPECT_EQ(Text::trimmedEnds("\u3000 \t中 文\n\u2029"), "中 文");
    EXPECT_EQ(Text::trimmedEnds(" \n "), "");
    EXPECT_EQ(Text::trimmedEnds(" \xFF x "), "\xFF x");  // a broken sequence stops the trimming
    EXPECT_EQ(Text::trimmedEndsHorizontally("\u3000\t a b \n"), "a b \n");
}

TEST(Text, Iso8601RoundTrip) {
    const sys_seconds t = sys_days{year{2026} / 12 / 6} + hours(14) + minutes(38) + seconds(50);
    EXPECT_EQ(DateText::iso8601(t), "2026-12-06T14:38:50Z");
    EXPECT_EQ(DateText::parseISO8601("2026-12-06T14:38:50Z"), t);
    EXPECT_EQ(DateText::iso8601(t + milliseconds(999)), "2026-12-06T14:38:50Z");
    EXPECT_EQ(DateText::parseISO8601("2026-12-06T22:38:50+08:00"), t);
    EXPECT_EQ(DateText::parseISO8601("2026-12-06T09:38:50-05:00"), t);
    EXPECT_EQ(DateText::parseISO8601("1970-01-01T00:00:00Z"), sys_seconds{});
    // Stored files carry whole seconds and a colon in the offset: anything
    // else is not one of ours.
    for (const char* bad :
         {"", "2026-12-06", "2026-12-06T14:38:50", "2026-13-06T14:38:50Z", "2026-12-06T14:38:50Zjunk",
          "2026-12-06 14:38:50Z", "2026-12-06T14:38:50.Z", "2026-12-06T24:00:00Z", "2026-02-29T00:00:00Z",
          "2026-02-31T10:00:00Z", "2026-04-31T10:00:00Z", "+026-12-06T14:38:50Z", "2026-12-06T14:-1:50Z",
          "2026-12- 6T14:38:50Z", "2026-12-06T09:38:50-0500", "2026-12-06T14:38:50.250Z"}) {
        EXPECT_EQ(DateText::parseISO8601(bad), std::nullopt) << bad;
    }
    for (auto s : {sys_days{year{2000} / 2 / 29} + hours(23) + minutes(59) + seconds(59),
                   sys_days{year{2038} / 1 / 19} + hours(3) + minutes(14) + seconds(8)}) {
        const sys_seconds tp = s;
        EXPECT_EQ(DateText::parseISO8601(DateText::iso8601(tp)), tp);
    }
}

}  // namespace
}  // namespace sorvane
