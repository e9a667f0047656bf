#include <gtest/gtest.h>

#include "app/panels/WrappedParagraph.h"
#include "tests/app/panels/PanelTestSupport.h"

namespace sorvane {
namespace {

using testing::panelTestApp;

const TextStyle typed{{14, FontWeight::regular}, {ColorRole::secondaryLabel}};
const TextStyle hint{{11, FontWeight::medium}, {ColorRole::tertiaryLabel}};

std::string sentence(std::size_t length) {
    const std::string words = "we could book a table for two tonight at seven, please ";
    std::string text;
    while (text.size() < length) text += words;
    text.resize(length);
    return text;
}

// Kept up to date, the paragraph must break exactly where a fresh layout of
// the same runs does.
void expectSameAsFresh(const WrappedParagraph& kept, const std::vector<StyledRun>& runs, double width,
                       const std::string& step) {
    WrappedParagraph fresh;
    fresh.set(runs, width, nullptr);
    ASSERT_EQ(kept.lineCount(), fresh.lineCount()) << step;
    for (int i = 0; i < fresh.lineCount(); ++i) EXPECT_EQ(kept.lineRange(i), fresh.lineRange(i)) << step;
    EXPECT_EQ(kept.lines().size.width, fresh.lines().size.width) << step;
    EXPECT_EQ(kept.lines().size.height, fresh.lines().size.height) << step;
    EXPECT_EQ(kept.lines().wrapped, fresh.lines().wrapped) << step;
}

TEST(WrappedParagraph, LaysOutAgainOnlyFromJustBeforeAChange) {
    panelTestApp();
    constexpr double width = 520;
    WrappedParagraph paragraph;
    std::string text = sentence(3000);
    ASSERT_EQ(paragraph.set({{text, typed}}, width, nullptr), 0.0);
    const double lineHeight = paragraph.lines().size.height / paragraph.lineCount();
    EXPECT_EQ(paragraph.set({{text, typed}}, width, nullptr), std::nullopt);

    // Typing at the end, across a long word that is cut by width alone and
    // back out of it: only the last few lines are laid out again.
    const std::string keys = "and then supercalifragilisticexpialidociouslyextraordinarilylongword";
    for (int round = 0; round < 3; ++round) {
        for (char key : keys) {
            text += key;
            const auto top = paragraph.set({{text, typed}}, width, nullptr);
            ASSERT_TRUE(top);
            EXPECT_GE(*top, paragraph.lines().size.height - 4 * lineHeight) << text.size();
            expectSameAsFresh(paragraph, {{text, typed}}, width, "typed " + std::to_string(text.size()));
        }
        for (int i = 0; i < 40; ++i) {
            text.pop_back();
            paragraph.set({{text, typed}}, width, nullptr);
            expectSameAsFresh(paragraph, {{text, typed}}, width, "erased to " + std::to_string(text.size()));
        }
    }

    // An edit in the middle keeps the lines above it; a hint in another style
    // comes and goes; hard line breaks; another width.
    std::vector<std::vector<StyledRun>> steps;
    std::string middle = text;
    middle.insert(1500, "quite ");
    steps.push_back({{middle, typed}});
    steps.push_back({{middle, typed}, {"   keep typing", hint}});
    steps.push_back({{middle, hint}});
    steps.push_back({{middle + "\nsecond paragraph\n", typed}});
    steps.push_back({{middle + "\nsecond paragraph\nthird", typed}});
    for (std::size_t i = 0; i < steps.size(); ++i) {
        paragraph.set(steps[i], width, nullptr);
        expectSameAsFresh(paragraph, steps[i], width, "step " + std::to_string(i));
    }
    paragraph.set(steps.back(), 300, nullptr);
    expectSameAsFresh(paragraph, steps.back(), 300, "narrower");

    // Right-to-left text is laid out whole, wherever it changes.
    std::string mixed = sentence(1200) + "שלום עולם";
    paragraph.set({{mixed, typed}}, width, nullptr);
    mixed += " עוד";
    EXPECT_EQ(paragraph.set({{mixed, typed}}, width, nullptr), 0.0);
    expectSameAsFresh(paragraph, {{mixed, typed}}, width, "right to left");
}

}  // namespace
}  // namespace sorvane
