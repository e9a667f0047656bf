#include <gtest/gtest.h>

#include "kit/panel/ChineseCandidateLayout.h"
#include "tests/support/FakeTextMetrics.h"

namespace sorvane {
namespace {

using testing::FakeTextMetrics;

// With the fake metrics (see FakeTextMetrics): "1." at 12 is 12.25 → 13 wide
// and 15 high; one Han character at 15 is 15.25 → 16 by 19; "‹"/"›" at 11 are
// 12 by 14.

ChineseCandidate candidate(std::string label, std::string text, std::optional<std::string> comment = {}) {
    return {std::move(label), std::move(text), std::move(comment)};
}

ChineseCandidateLayout layout(const ChinesePanelModel& model) {
    return layoutChineseCandidates(model, FakeTextMetrics{});
}

std::vector<std::string> texts(const LayoutItem& item) {
    std::vector<std::string> result;
    for (const auto& piece : item.pieces) result.push_back(piece.text);
    return result;
}

TEST(ChineseCandidateLayout, RowOfTwoWithCommentAndNextMark) {
    const ChinesePanelModel model("ni hao", {candidate("1", "你好"), candidate("2", "尼豪", "ní")}, 0, 0,
                                  false);
    const auto l = layout(model);

    ASSERT_TRUE(l.preedit);
    EXPECT_EQ(l.preedit->rect, (Rect{0, 0, 37, 15}));
    ASSERT_EQ(l.items.size(), 2u);

    const LayoutItem& first = l.items[0];
    EXPECT_TRUE(first.isHighlighted);
    EXPECT_EQ(texts(first), (std::vector<std::string>{"1.", "你好"}));
    EXPECT_EQ(first.pieces[0].rect, (Rect{5, 22, 13, 15}));
    EXPECT_EQ(first.pieces[1].rect, (Rect{21, 20, 31, 19}));
    EXPECT_EQ(first.highlightRect, (Rect{0, 18, 57, 23}));
    EXPECT_EQ(first.pieces[1].style, ChineseCandidateStyle::text(true));

    const LayoutItem& second = l.items[1];
    EXPECT_FALSE(second.isHighlighted);
    EXPECT_EQ(texts(second), (std::vector<std::string>{"2.", "尼豪", "ní"}));
    EXPECT_EQ(second.pieces[0].rect, (Rect{74, 22, 13, 15}));
    EXPECT_EQ(second.pieces[1].rect, (Rect{90, 20, 31, 19}));
    EXPECT_EQ(second.pieces[2].rect, (Rect{124, 23, 16, 13}));
    EXPECT_EQ(second.highlightRect, (Rect{69, 18, 76, 23}));
    EXPECT_EQ(second.pieces[2].style, ChineseCandidateStyle::comment(false));

    EXPECT_FALSE(l.previous);
    ASSERT_TRUE(l.next);
    EXPECT_EQ(l.next->text, "›");
    EXPECT_EQ(l.next->rect, (Rect{156, 23, 12, 14}));  // (19 - 14) / 2 = 2.5 rounds to 3
    EXPECT_FALSE(l.focusedRowRect);
    EXPECT_EQ(l.size, (Size{168, 41}));
}

TEST(ChineseCandidateLayout, RowOnALaterPageStartsAfterThePreviousMark) {
    const ChinesePanelModel model("", {candidate("1", "好")}, 0, 1, true);
    const auto l = layout(model);
    EXPECT_FALSE(l.preedit);
    ASSERT_TRUE(l.previous);
    EXPECT_FALSE(l.next);
    EXPECT_EQ(l.previous->rect, (Rect{0, 2 + 3, 12, 14}));
    // Start x = 12 + 6 + 5; the label is 13, the text 16.
    EXPECT_EQ(l.items[0].pieces[0].rect.x, 23);
    EXPECT_EQ(l.items[0].pieces[1].rect.x, 39);
    EXPECT_EQ(l.items[0].highlightRect, (Rect{18, 0, 42, 23}));
    EXPECT_EQ(l.size, (Size{65, 2 + 19 + 2}));  // the row ends 12 after the last item's slot
}

TEST(ChineseCandidateLayout, RowShowsOnlyTheFirstSix) {
    std::vector<ChineseCandidate> nine;
    for (int i = 1; i <= 9; ++i) nine.push_back(candidate(std::to_string(i), "字"));
    const auto l = layout(ChinesePanelModel("zi", nine, 7, 0, true));
    ASSERT_EQ(l.items.size(), 6u);
    EXPECT_EQ(l.items.back().pieces[0].text, "6.");
    for (const auto& item : l.items) EXPECT_FALSE(item.isHighlighted);  // index 7 is off the row
}

TEST(ChineseCandidateLayout, EmptyCommentAddsNoPieceAndNoGap) {
    const auto withEmpty = layout(ChinesePanelModel("", {candidate("1", "好", "")}, 0, 0, true));
    const auto without = layout(ChinesePanelModel("", {candidate("1", "好")}, 0, 0, true));
    EXPECT_EQ(withEmpty.items[0].pieces.size(), 2u);
    EXPECT_EQ(withEmpty.items[0].highlightRect, without.items[0].highlightRect);
    EXPECT_EQ(withEmpty.size, without.size);
}

TEST(ChineseCandidateLayout, SizesWithoutCandidates) {
    const FakeTextMetrics metrics;
    EXPECT_EQ(layoutChineseCandidates(std::nullopt, metrics).size, (Size{60, 21}));
    EXPECT_EQ(layout(ChinesePanelModel("", {}, 0, 0, true)).size, (Size{60, 21}));
    const auto shortPreedit = layout(ChinesePanelModel("ni", {}, 0, 0, true));
    EXPECT_EQ(shortPreedit.size, (Size{60, 15}));
    EXPECT_TRUE(shortPreedit.items.empty());
    EXPECT_FALSE(shortPreedit.next);  // no marks without candidates
    // 21 ASCII characters at 12: 126.25 → 127.
    EXPECT_EQ(layout(ChinesePanelModel("zhong hua ren min gon", {}, 0, 0, false)).size, (Size{127, 15}));
}

ChinesePanelModel gridOf(int count, int highlighted, int pageNo, bool isLastPage) {
    std::vector<ChineseCandidate> candidates;
    for (int i = 0; i < count; ++i) candidates.push_back(candidate(std::to_string(i % 6 + 1), "字"));
    return ChinesePanelModel("", candidates, highlighted, pageNo, isLastPage, ChinesePanelLayout::vertical);
}

TEST(ChineseCandidateLayout, GridOfSevenWithCommentAndBothMarks) {
    ChinesePanelModel model = gridOf(7, 1, 1, false);
    std::vector<ChineseCandidate> candidates = model.candidates();
    candidates[2].comment = "abc";
    model = ChinesePanelModel("", candidates, 1, 1, false, ChinesePanelLayout::vertical);
    const auto l = layout(model);

    ASSERT_EQ(l.items.size(), 7u);
    // Row 0 shows labels; the text column starts after the widest label (7) + 3.
    EXPECT_EQ(texts(l.items[0]), (std::vector<std::string>{"1", "字"}));
    EXPECT_EQ(l.items[0].pieces[0].rect, (Rect{5, 4, 7, 15}));
    EXPECT_EQ(l.items[0].pieces[1].rect, (Rect{15, 2, 16, 19}));
    EXPECT_EQ(l.items[0].highlightRect, (Rect{0, 0, 52, 23}));

    EXPECT_TRUE(l.items[1].isHighlighted);
    EXPECT_EQ(l.items[1].pieces[0].rect, (Rect{71, 4, 7, 15}));
    EXPECT_EQ(l.items[1].pieces[0].style, ChineseCandidateStyle::label(true));
    EXPECT_EQ(l.items[1].highlightRect, (Rect{66, 0, 52, 23}));

    // The comment widens its column past the minimum: 26 + 3 + 16 + 10 = 55.
    EXPECT_EQ(texts(l.items[2]), (std::vector<std::string>{"3", "字", "abc"}));
    EXPECT_EQ(l.items[2].pieces[2].rect, (Rect{166, 5, 16, 13}));
    EXPECT_EQ(l.items[2].highlightRect, (Rect{132, 0, 55, 23}));
    EXPECT_EQ(l.items[3].highlightRect.x, 201);

    // The seventh stands under the first, without a label.
    EXPECT_EQ(texts(l.items[6]), (std::vector<std::string>{"字"}));
    EXPECT_EQ(l.items[6].pieces[0].rect, (Rect{15, 31, 16, 19}));
    EXPECT_EQ(l.items[6].highlightRect, (Rect{0, 29, 52, 23}));

    ASSERT_TRUE(l.focusedRowRect);
    EXPECT_EQ(*l.focusedRowRect, (Rect{0, 0, 385, 23}));
    ASSERT_TRUE(l.previous && l.next);
    EXPECT_EQ(l.previous->rect, (Rect{350, 56, 12, 14}));
    EXPECT_EQ(l.next->rect, (Rect{368, 56, 12, 14}));
    EXPECT_EQ(l.size, (Size{385, 70}));
}

TEST(ChineseCandidateLayout, GridOfThreeHasThreeMinimumColumnsInOneRow) {
    const auto l = layout(gridOf(3, 0, 0, true));
    ASSERT_EQ(l.items.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(l.items[i].highlightRect, (Rect{66.0 * i, 0, 52, 23})) << i;
    }
    EXPECT_EQ(l.size, (Size{52 * 3 + 14 * 2, 23}));
    EXPECT_FALSE(l.previous);
    EXPECT_FALSE(l.next);
}

TEST(ChineseCandidateLayout, GridLabelsOnlyInTheHighlightedRow) {
    const auto l = layout(gridOf(12, 8, 0, true));
    ASSERT_EQ(l.items.size(), 12u);
    for (int i = 0; i < 12; ++i) {
        const bool labelled = i >= 6;
        EXPECT_EQ(l.items[i].pieces.size(), labelled ? 2u : 1u) << i;
        EXPECT_EQ(l.items[i].isHighlighted, i == 8) << i;
        // Texts stay in their column whether labelled or not.
        EXPECT_EQ(l.items[i].pieces.back().rect.x, l.items[i % 6].pieces.back().rect.x) << i;
    }
    EXPECT_EQ(l.items[8].pieces[0].text, "3");
    ASSERT_TRUE(l.focusedRowRect);
    EXPECT_EQ(*l.focusedRowRect, (Rect{0, 29, l.size.width, 23}));
}

TEST(ChineseCandidateLayout, GridWithoutValidHighlight) {
    for (int highlighted : {-1, 7}) {
        const auto l = layout(gridOf(7, highlighted, 0, true));
        EXPECT_FALSE(l.focusedRowRect) << highlighted;
        for (const auto& item : l.items) EXPECT_FALSE(item.isHighlighted);
    }
    // -1: no labels at all; 7 (past the page): the engine's row 1 labels.
    EXPECT_EQ(layout(gridOf(7, -1, 0, true)).items[6].pieces.size(), 1u);
    EXPECT_EQ(layout(gridOf(7, 7, 0, true)).items[6].pieces.size(), 2u);
}

TEST(ChineseCandidateLayout, GridMarksAlignRightAndYieldToAWidePreedit) {
    // Only the next mark: right-aligned 5 points from the content's right.
    const auto only = layout(gridOf(2, 0, 0, false));
    EXPECT_FALSE(only.previous);
    ASSERT_TRUE(only.next);
    EXPECT_EQ(only.next->rect, (Rect{118 - 5 - 12, 23 + 4, 12, 14}));

    // A preedit wider than the grid widens the content, and the marks follow it.
    const std::string preedit(30, 'a');  // 180.25 → 181
    std::vector<ChineseCandidate> candidates{candidate("1", "字")};
    const auto wide =
        layout(ChinesePanelModel(preedit, candidates, 0, 2, true, ChinesePanelLayout::vertical));
    EXPECT_EQ(wide.size.width, 181);
    ASSERT_TRUE(wide.previous);
    EXPECT_EQ(wide.previous->rect.x, 181 - 5 - 12);
    EXPECT_EQ(wide.items[0].highlightRect.y, 15 + 3);  // rows start under the preedit
}

TEST(ChineseCandidateLayout, RowMarksOnFirstLastAndMiddlePages) {
    const auto firstAndLast = layout(ChinesePanelModel("", {candidate("1", "字")}, 0, 0, true));
    EXPECT_FALSE(firstAndLast.previous);
    EXPECT_FALSE(firstAndLast.next);
    const auto middle = layout(ChinesePanelModel("", {candidate("1", "字")}, 0, 3, false));
    ASSERT_TRUE(middle.previous && middle.next);
    EXPECT_LT(middle.previous->rect.x, middle.next->rect.x);
    EXPECT_EQ(middle.previous->text, "‹");
    EXPECT_EQ(middle.size.width, middle.next->rect.maxX());
}

}  // namespace
}  // namespace sorvane
