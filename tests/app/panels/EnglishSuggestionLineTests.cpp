#include <gtest/gtest.h>

#include "app/panels/EnglishSuggestionLine.h"
#include "tests/support/FakeTextMetrics.h"

namespace sorvane {
namespace {

namespace Line = EnglishSuggestionLine;
namespace Style = EnglishSuggestionLine::Style;
using testing::FakeTextMetrics;

const std::string kTab = "⇥\u00A0";
const std::string kShiftTab = "⇧⇥\u00A0";
const std::string kDot = "●\u2009";

EnglishPanelModel model(EnglishPanelPhase phase, std::string buffer, std::string normalized = {},
                        std::string continuation = {}, AcceptKeys keys = AcceptKeys::tabNormalized) {
    const bool waiting = phase.kind() == EnglishPanelPhase::Kind::requesting;
    return EnglishPanelModel(std::move(normalized), std::move(continuation), waiting, std::move(buffer),
                             std::move(phase), keys);
}

std::vector<StyledRun> runs(std::initializer_list<StyledRun> list) {
    return list;
}

TEST(EnglishSuggestionLine, WithoutModelTheWaitingLine) {
    EXPECT_EQ(Line::build(std::nullopt, 0), runs({{kTab, Style::hint()}, {"…", Style::ellipsis()}}));
}

TEST(EnglishSuggestionLine, TypingHintUntilTwoWords) {
    const std::string hint = "继续输入，2 个词后开始预测";
    EXPECT_EQ(Line::build(model(EnglishPanelPhase::typing(), "hello"), 0),
              runs({{"hello", Style::typed()}, {"   " + hint, Style::wordCountHint()}}));
    EXPECT_EQ(Line::build(model(EnglishPanelPhase::typing(), ""), 0), runs({{hint, Style::wordCountHint()}}));
    EXPECT_EQ(Line::build(model(EnglishPanelPhase::typing(), "hello wo"), 0),
              runs({{"hello wo", Style::typed()}}));
    // Whitespace alone is no word; pinyin or Han text counts by runs.
    EXPECT_EQ(Line::build(model(EnglishPanelPhase::typing(), "  hi\t"), 0).size(), 2u);
    EXPECT_EQ(Line::build(model(EnglishPanelPhase::typing(), "wo 想"), 0).size(), 1u);
}

TEST(EnglishSuggestionLine, RequestingDotsWithTheLitOneThenTheTypedText) {
    for (int step = 0; step < 3; ++step) {
        const auto line = Line::build(model(EnglishPanelPhase::requesting(), "how are"), step);
        ASSERT_EQ(line.size(), 5u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(line[i], (StyledRun{kDot, Style::dot(i == step)})) << step << " " << i;
        }
        EXPECT_EQ(line[3], (StyledRun{"  ", Style::hint()}));
        EXPECT_EQ(line[4], (StyledRun{"how are", Style::typed()}));
    }
    EXPECT_EQ(Line::build(model(EnglishPanelPhase::requesting(), ""), 1).size(), 3u);
}

TEST(EnglishSuggestionLine, SuggestionWithHintsForEitherAcceptKeySetting) {
    const auto normal = Line::build(
        model(EnglishPanelPhase::suggestion(), "how r", "How are", " you today?", AcceptKeys::tabNormalized),
        0);
    EXPECT_EQ(normal, runs({{kTab, Style::hint()},
                            {"How are", Style::normalized()},
                            {" " + kShiftTab, Style::hint()},
                            {"you today?", Style::continuation()}}));
    const auto full = Line::build(
        model(EnglishPanelPhase::suggestion(), "how r", "How are", " you today?", AcceptKeys::tabFull), 0);
    EXPECT_EQ(full, runs({{kShiftTab, Style::hint()},
                          {"How are", Style::normalized()},
                          {" " + kTab, Style::hint()},
                          {"you today?", Style::continuation()}}));
}

TEST(EnglishSuggestionLine, SuggestionEdgeCases) {
    // A continuation of white space only: no continuation hint.
    EXPECT_EQ(Line::build(model(EnglishPanelPhase::suggestion(), "hi", "Hi", " \t\n"), 0),
              runs({{kTab, Style::hint()}, {"Hi", Style::normalized()}}));
    // No rewrite: the continuation's hint without a leading space.
    EXPECT_EQ(Line::build(model(EnglishPanelPhase::suggestion(), "hi", "", "  there"), 0),
              runs({{kShiftTab, Style::hint()}, {"there", Style::continuation()}}));
    // Nothing suggested: the typed text, or the waiting line without it.
    EXPECT_EQ(Line::build(model(EnglishPanelPhase::suggestion(), "hi"), 0), runs({{"hi", Style::typed()}}));
    EXPECT_EQ(Line::build(model(EnglishPanelPhase::suggestion(), ""), 0), Line::build(std::nullopt, 0));
    // Unicode spaces are white space too.
    EXPECT_EQ(Line::build(model(EnglishPanelPhase::suggestion(), "", "", "\u3000\u00A0next"), 0).back(),
              (StyledRun{"next", Style::continuation()}));
}

TEST(EnglishSuggestionLine, FailureWithAndWithoutTypedText) {
    EXPECT_EQ(
        Line::build(model(EnglishPanelPhase::failed("网络超时"), "hello"), 0),
        runs({{"hello", Style::typed()}, {"   ", Style::hint()}, {"⚠\u00A0网络超时", Style::failure()}}));
    EXPECT_EQ(Line::build(model(EnglishPanelPhase::failed(""), ""), 0),
              runs({{"⚠\u00A0", Style::failure()}}));
}

TEST(EnglishSuggestionLine, SizeIsTheLineWidthPlusOne) {
    const FakeTextMetrics metrics;
    // "hello" at 14: 35; the hint "   继续输入，2 个词后开始预测" at 11: 5 ASCII
    // (5.5 each) and 12 others (11 each) = 159.5; the line is as high as its
    // 14-point run.
    const auto line = Line::build(model(EnglishPanelPhase::typing(), "hello"), 0);
    EXPECT_EQ(Line::desiredSize(line, metrics), (Size{std::ceil(35 + 159.5) + 1, std::ceil(14 * 1.2 + 0.1)}));
}

TEST(EnglishSuggestionLine, LongFailureWrapsAtTheMaximumWidth) {
    const FakeTextMetrics metrics;
    const std::string reason(100, 'x');  // 100 × 5.5 = 550 at 11 points
    const auto line = Line::build(model(EnglishPanelPhase::failed(reason), ""), 0);
    const Size single = metrics.measureWrapped(line, 100000);
    ASSERT_GT(single.width + 1, 520);
    const Size size = Line::desiredSize(line, metrics);
    EXPECT_EQ(size.width, 520);
    EXPECT_EQ(size.height, std::ceil(2 * single.height));
}

TEST(EnglishSuggestionLine, ExactlyAtTheLimitDoesNotWrap) {
    // Counts the measurements: a line that fits is measured once, not again
    // for wrapping.
    struct CountingMetrics final : TextMetrics {
        FakeTextMetrics fake;
        mutable int wrapped = 0;
        Size measure(std::string_view text, const FontSpec& font) const override {
            return fake.measure(text, font);
        }
        Size measureWrapped(const std::vector<StyledRun>& runs, double width) const override {
            ++wrapped;
            return fake.measureWrapped(runs, width);
        }
    };
    // 67 × 7 typed, 3 × 5.5 of gap, 22 + 2 × 5.5 of failure text: 518.5,
    // rounded up 519, + 1 = exactly 520.
    const auto line = Line::build(model(EnglishPanelPhase::failed("xx"), std::string(67, 'a')), 0);
    CountingMetrics metrics;
    ASSERT_EQ(std::ceil(metrics.fake.measureWrapped(line, 100000).width) + 1, 520);
    const Size size = Line::desiredSize(line, metrics);
    EXPECT_EQ(size.width, 520);
    EXPECT_EQ(size.height, std::ceil(14 * 1.2 + 0.1));
    EXPECT_EQ(metrics.wrapped, 1);
}

}  // namespace
}  // namespace sorvane
