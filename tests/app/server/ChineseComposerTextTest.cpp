// The composer's text arithmetic: UTF-8 offsets from the engine turned into
// UTF-16 carets, style runs and split points, and the raw tail of a partly
// converted composition. These need no session, so the snapshots are made up,
// including offsets that the engine should never report.
#include <gtest/gtest.h>

#include "app/server/ChineseComposer.h"
#include "platform/Text.h"
#include "tests/support/RecordingCandidatePanel.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

const std::string emoji = "\U0001F600";  // 4 UTF-8 bytes, 2 UTF-16 units

TEST(ChineseComposerText, Utf16CaretOfAUtf8Offset) {
    struct Case {
        std::string text;
        int offset;
        int expected;
    };
    const Case cases[] = {
        {"ni hao", 6, 6},
        {"ni hao", 3, 3},
        {"ni hao", 0, 0},
        {"ni hao", -4, 0},
        {"ni hao", 99, 6},
        {"你好", 3, 1},
        {"你好", 6, 2},
        {"你好", 4, 2},  // inside 好: the end of the marked text
        {"你好", 1, 2},  // inside 你
        {"a" + emoji + "b", 1, 1},
        {"a" + emoji + "b", 5, 3},
        {"a" + emoji + "b", 3, 4},  // inside the emoji
        {"", 0, 0},
        {"", 2, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChineseComposer::utf16Offset(c.offset, c.text), c.expected) << c.text << " @" << c.offset;
}

TEST(ChineseComposerText, SplitsMoveBackToACharacterBoundary) {
    struct Case {
        std::string text;
        int offset;
        std::string head;
        std::string tail;
    };
    const Case cases[] = {
        {"你好ma", 6, "你好", "ma"},
        {"你好ma", 4, "你", "好ma"},
        {"你好ma", 5, "你", "好ma"},
        {"你好ma", 2, "", "你好ma"},
        {"你好ma", 0, "", "你好ma"},
        {"你好ma", -1, "", "你好ma"},
        {"你好ma", 40, "你好ma", ""},
        {"你好lüe", 7, "你好l", "üe"},
        {"你好lüe", 8, "你好l", "üe"},  // inside ü
        {"你好lüe", 9, "你好lü", "e"},
        {"a" + emoji + "b", 3, "a", emoji + "b"},
        {"a" + emoji + "b", 5, "a" + emoji, "b"},
    };
    for (const auto& c : cases) {
        auto [head, tail] = ChineseComposer::splitComposition(c.text, c.offset);
        EXPECT_EQ(head, c.head) << c.text << " @" << c.offset;
        EXPECT_EQ(tail, c.tail) << c.text << " @" << c.offset;
    }
}

TEST(ChineseComposerText, NoSplitEverBreaksACharacter) {
    const std::string texts[] = {"你好ma", "中文zhong wen", "lüe" + emoji + "字", emoji + emoji};
    for (const auto& text : texts)
        for (int offset = -1; offset <= static_cast<int>(text.size()) + 1; ++offset) {
            auto [head, tail] = ChineseComposer::splitComposition(text, offset);
            EXPECT_EQ(head + tail, text) << offset;
            EXPECT_TRUE(Text::isValidUtf8(head)) << text << " @" << offset;
            EXPECT_TRUE(Text::isValidUtf8(tail)) << text << " @" << offset;
            EXPECT_EQ(head.find("\uFFFD"), std::string::npos);
            EXPECT_EQ(tail.find("\uFFFD"), std::string::npos);
        }
}

TEST(ChineseComposerText, RawRemainderFindsTheTypedSpellingOfTheShownRest) {
    struct Case {
        std::string raw;
        std::string shown;
        std::string expected;
    };
    const Case cases[] = {
        {"nihaoma", "ma", "ma"},
        {"nizaigan", "zai gan", "zaigan"},
        {"lüe", "lve", "lüe"},        // the raw form wins
        {"nihaolve", "lüe", "lve"},   // ü shown, v typed
        {"abc", "xyz", "xyz"},        // nothing matches: the shown letters
        {"abc", " ' ", ""},           // only blanks and apostrophes
        {"xi'an", "xi'an", "xi'an"},  // the apostrophe typed is kept
        {"nixian", "xi an", "xian"},
        {"", "ma", "ma"},
        {"ma", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChineseComposer::rawRemainder(c.raw, c.shown), c.expected) << c.raw << " / " << c.shown;
}

TEST(ChineseComposerText, CanComposeOnlyLowercaseLetters) {
    const std::pair<const char*, bool> cases[] = {
        {"nihao", true}, {"z", true},      {"", true},    {"Nihao", false}, {"ni hao", false},
        {"lüe", false},  {"xi'an", false}, {"a1", false}, {"中", false},    {"\xff", false},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ChineseComposer::canCompose(text), expected) << text;
}

// Gives every style a run, or none at all.
class StyleHost final : public ComposerHost {
public:
    bool hasAttributes = true;
    InputClient* client() const override { return nullptr; }
    void setMarkedText(const MarkedText&, int) override {}
    std::optional<StyleRun> markForStyle(MarkedTextStyle style, TextRange range) const override {
        if (!hasAttributes) return std::nullopt;
        return StyleRun{range, style};
    }
};

class ChineseComposerMarkedText : public ::testing::Test {
protected:
    void SetUp() override {
        RimeEngine::Options o;
        o.sharedDataDir = dir.path().string();
        o.userDataDir = dir.path().string();
        o.appName = "rime.sorvane";
        auto made = RimeEngine::create(std::move(o));
        ASSERT_TRUE(made.hasValue());
        engine = std::move(made).value();
        composer = std::make_unique<ChineseComposer>(*engine, host, panel);
    }

    MarkedText marked(std::string preedit, int selStart) {
        RimeContextSnapshot context;
        context.preedit = std::move(preedit);
        context.selStart = selStart;
        context.selEnd = static_cast<int>(context.preedit.size());
        return composer->markedText(context);
    }

    testing::TempDir dir;
    std::unique_ptr<RimeEngine> engine;
    StyleHost host;
    testing::RecordingCandidatePanel panel;
    std::unique_ptr<ChineseComposer> composer;
};

constexpr auto converted = MarkedTextStyle::convertedText;
constexpr auto raw = MarkedTextStyle::selectedRawText;

TEST_F(ChineseComposerMarkedText, ConvertedHeadAndRawRest) {
    struct Case {
        std::string preedit;
        int selStart;
        std::vector<StyleRun> runs;
    };
    const Case cases[] = {
        {"ni hao", 0, {{{0, 6}, raw}}},
        {"你zai gan", 3, {{{0, 1}, converted}, {{1, 7}, raw}}},
        {"你好ma", 6, {{{0, 2}, converted}, {{2, 2}, raw}}},
        {"你好ma", 4, {{{0, 1}, converted}, {{1, 3}, raw}}},  // inside 好: back to its start
        {"你好", 6, {{{0, 2}, converted}}},
        {"你好", 60, {{{0, 2}, converted}}},
        {"你好", -2, {{{0, 2}, raw}}},
        {emoji + "ab", 4, {{{0, 2}, converted}, {{2, 2}, raw}}},
        {emoji + "ab", 2, {{{0, 4}, raw}}},
    };
    for (const auto& c : cases) {
        MarkedText m = marked(c.preedit, c.selStart);
        EXPECT_EQ(m.text, c.preedit);
        EXPECT_EQ(m.styleRuns, c.runs) << c.preedit << " @" << c.selStart;
    }
}

TEST_F(ChineseComposerMarkedText, EmptyPreeditOrMissingAttributesGiveNoRuns) {
    EXPECT_EQ(marked("", 0), (MarkedText{"", {}}));
    host.hasAttributes = false;
    EXPECT_EQ(marked("你zai", 3), (MarkedText{"你zai", {}}));
}

}  // namespace
}  // namespace sorvane
