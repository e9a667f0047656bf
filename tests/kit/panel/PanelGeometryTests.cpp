#include <gtest/gtest.h>

#include "kit/panel/PanelGeometry.h"
#include "tests/support/CapturingLogSink.h"

namespace sorvane {
namespace {

using testing::ScopedLogCapture;

// Made-up monitors in y-up coordinates.
class FakeScreens final : public ScreenProvider {
public:
    std::vector<ScreenDescription> list;
    std::optional<ScreenDescription> main;
    Point mouse{0, 0};

    std::vector<ScreenDescription> screens() const override { return list; }
    std::optional<ScreenDescription> mainScreen() const override { return main; }
    Point mouseLocation() const override { return mouse; }
};

// A 1440 × 900 laptop (menu bar 25, dock 70) and a 1920 × 1080 monitor to its
// right with its own menu bar.
const ScreenDescription kLaptop{{0, 0, 1440, 900}, {0, 70, 1440, 805}};
const ScreenDescription kMonitor{{1440, -100, 1920, 1080}, {1440, -100, 1920, 1055}};

FakeScreens twoScreens() {
    FakeScreens screens;
    screens.list = {kLaptop, kMonitor};
    screens.main = kLaptop;
    return screens;
}

TEST(PanelGeometry, VisibleFrameOfTheScreenHoldingThePoint) {
    const FakeScreens screens = twoScreens();
    struct Case {
        Point point;
        Rect expected;
    } cases[] = {
        {{10, 10}, kLaptop.visibleFrame},  // inside the frame, under the dock
        {{0, 0}, kLaptop.visibleFrame},    // minimum corner counts
        {{1439.5, 899.5}, kLaptop.visibleFrame},
        {{1440, 300}, kMonitor.visibleFrame},  // shared edge belongs to the right screen
        {{2000, -50}, kMonitor.visibleFrame},
        {{3360, 0}, kLaptop.visibleFrame},   // maximum x edge is outside: main screen
        {{100, 900}, kLaptop.visibleFrame},  // maximum y edge is outside: main screen
        {{-500, -500}, kLaptop.visibleFrame},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PanelGeometry::visibleFrame(c.point, screens), c.expected) << c.point.x << "," << c.point.y;
    }
}

TEST(PanelGeometry, FirstScreenInOrderWinsWhereScreensOverlap) {
    FakeScreens screens;
    const ScreenDescription mirror{{0, 0, 1440, 900}, {0, 0, 1440, 880}};
    screens.list = {mirror, kLaptop};
    screens.main = kLaptop;
    EXPECT_EQ(PanelGeometry::visibleFrame({5, 5}, screens), mirror.visibleFrame);
}

TEST(PanelGeometry, WithoutScreensTheDefaultFrame) {
    const FakeScreens none;
    EXPECT_EQ(PanelGeometry::visibleFrame({5, 5}, none), (Rect{0, 0, 1440, 900}));
}

TEST(PanelGeometry, PanelSitsFourPointsBelowTheCaret) {
    const FakeScreens screens = twoScreens();
    const Rect frame = PanelGeometry::candidatePanelFrame({300, 500, 2, 18}, {200, 55}, screens);
    EXPECT_EQ(frame, (Rect{300, 500 - 4 - 55, 200, 55}));
}

TEST(PanelGeometry, PanelGoesAboveTheCaretAtTheBottomEdge) {
    const FakeScreens screens = twoScreens();
    // Below would end at 100 - 4 - 55 = 41, under the dock's top at 70.
    const Rect frame = PanelGeometry::candidatePanelFrame({300, 100, 2, 18}, {200, 55}, screens);
    EXPECT_EQ(frame, (Rect{300, 100 + 18 + 4, 200, 55}));
}

TEST(PanelGeometry, PanelIsShiftedLeftAtTheRightEdge) {
    const FakeScreens screens = twoScreens();
    const Rect frame = PanelGeometry::candidatePanelFrame({1400, 500, 2, 18}, {200, 55}, screens);
    EXPECT_EQ(frame.maxX(), 1440);
    EXPECT_EQ(frame, (Rect{1240, 441, 200, 55}));
}

TEST(PanelGeometry, PanelOnTheSecondScreenStaysInsideIt) {
    const FakeScreens screens = twoScreens();
    // Near the monitor's bottom (y-up -100) and right edges.
    const Rect frame = PanelGeometry::candidatePanelFrame({3300, -90, 2, 18}, {200, 55}, screens);
    EXPECT_EQ(frame, (Rect{3360 - 200, -90 + 18 + 4, 200, 55}));
    EXPECT_GE(frame.minX(), kMonitor.visibleFrame.minX());
    EXPECT_LE(frame.maxX(), kMonitor.visibleFrame.maxX());
}

TEST(PanelGeometry, PanelTallerThanTheScreenKeepsLeftAndBottomEdges) {
    FakeScreens screens;
    screens.list = {{{0, 0, 300, 200}, {0, 0, 300, 200}}};
    screens.main = screens.list.front();
    const Rect frame = PanelGeometry::candidatePanelFrame({150, 100, 1, 18}, {400, 300}, screens);
    EXPECT_EQ(frame, (Rect{0, 0, 400, 300}));
}

TEST(PanelGeometry, PanelNearTheTopIsPulledDown) {
    const FakeScreens screens = twoScreens();
    // A caret inside the menu bar: the panel's top meets the visible
    // frame's top (875) instead of reaching into the bar.
    const Rect frame = PanelGeometry::candidatePanelFrame({300, 899, 1, 30}, {200, 55}, screens);
    EXPECT_EQ(frame.y, 875 - 55);
    const Rect high = PanelGeometry::candidatePanelFrame({300, 880, 1, 18}, {200, 900}, screens);
    EXPECT_EQ(high.y, 70);  // too tall: bottom edge wins after the top clamp
}

TEST(PanelGeometry, ZeroCaretFallsBackToTheMouseAndLogsEachTime) {
    FakeScreens screens = twoScreens();
    screens.mouse = {640, 480};
    ScopedLogCapture capture;
    const Rect caret = PanelGeometry::caretOrMouse({0, 0, 0, 0}, screens);
    EXPECT_EQ(caret, (Rect{640, 462, 1, 18}));
    // The panel then stands 4 points below a point 18 under the mouse.
    EXPECT_EQ(PanelGeometry::candidatePanelFrame(caret, {100, 40}, screens),
              (Rect{640, 462 - 4 - 40, 100, 40}));
    PanelGeometry::caretOrMouse({0, 0, 0, 0}, screens);
    const std::vector<std::string> expected(2,
                                            "[Sorvane] caret rect was zero — falling back to mouse location");
    EXPECT_EQ(capture->messages(), expected);
}

TEST(PanelGeometry, ACaretAtTheOriginWithSizeIsNotZero) {
    FakeScreens screens = twoScreens();
    screens.mouse = {640, 480};
    ScopedLogCapture capture;
    for (Rect caret : {Rect{0, 0, 1, 0}, Rect{0, 0, 0, 18}, Rect{5, 0, 0, 0}}) {
        EXPECT_EQ(PanelGeometry::caretOrMouse(caret, screens), caret);
    }
    EXPECT_TRUE(capture->messages().empty());
}

TEST(PanelGeometry, ModeTileBelowOrSixPointsAboveTheCaret) {
    const FakeScreens screens = twoScreens();
    EXPECT_EQ(PanelGeometry::modeTileFrame({300, 500, 1, 18}, {64, 60}, 6, screens),
              (Rect{300, 434, 64, 60}));
    EXPECT_EQ(PanelGeometry::modeTileFrame({300, 100, 1, 18}, {64, 60}, 6, screens),
              (Rect{300, 124, 64, 60}));
    EXPECT_EQ(PanelGeometry::modeTileFrame({1420, 500, 1, 18}, {64, 60}, 6, screens).maxX(), 1440);
}

TEST(PanelGeometry, ModeTileOnATinyScreenKeepsTopAndRightEdges) {
    FakeScreens screens;
    screens.list = {{{0, 0, 50, 40}, {0, 0, 50, 40}}};
    screens.main = screens.list.front();
    EXPECT_EQ(PanelGeometry::modeTileFrame({10, 20, 1, 18}, {64, 60}, 6, screens), (Rect{-14, -20, 64, 60}));
}

TEST(ScreenFlip, ConvertsBetweenYUpAndYDown) {
    const ScreenFlip flip{{0, 0, 1440, 900}};
    EXPECT_EQ(flip.toYDown({100, 800, 200, 50}), (Rect{100, 50, 200, 50}));
    EXPECT_EQ(flip.toYUp(Rect{100, 50, 200, 50}), (Rect{100, 800, 200, 50}));
    EXPECT_EQ(flip.toYUp(Point{10, 0}), (Point{10, 900}));
    // A primary screen that is not at the toolkit's origin.
    const ScreenFlip shifted{{200, 100, 800, 600}};
    const Rect r{10, 20, 30, 40};
    EXPECT_EQ(shifted.toYUp(shifted.toYDown(r)), r);
    EXPECT_EQ(shifted.toYDown({0, 0, 10, 10}), (Rect{200, 690, 10, 10}));
}

}  // namespace
}  // namespace sorvane
