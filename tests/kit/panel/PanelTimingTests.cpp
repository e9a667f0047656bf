#include <gtest/gtest.h>

#include "kit/panel/ModeIndicator.h"
#include "kit/panel/WaitingAnimation.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;
using testing::VirtualTime;

TEST(WaitingAnimation, LitDotAdvancesEveryTickAndWraps) {
    VirtualTime time;
    int redisplays = 0;
    WaitingAnimation dots(
        time, [] { return true; }, [&] { ++redisplays; });
    dots.start();
    std::vector<int> steps{dots.step()};
    for (int i = 0; i < 4; ++i) {
        time.advance(279ms);
        EXPECT_EQ(dots.step(), steps.back()) << "moved early";
        time.advance(1ms);
        steps.push_back(dots.step());
    }
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 0, 1}));
    EXPECT_EQ(redisplays, 4);
}

TEST(WaitingAnimation, StartWhileRunningKeepsTheSequence) {
    VirtualTime time;
    WaitingAnimation dots(
        time, [] { return true; }, [] {});
    dots.start();
    time.advance(200ms);
    dots.start();
    time.advance(80ms);
    EXPECT_EQ(dots.step(), 1);
    EXPECT_EQ(time.pendingCount(), 1u);
}

TEST(WaitingAnimation, StopsWhenNoLongerWantedAndResets) {
    VirtualTime time;
    bool wanted = true;
    WaitingAnimation dots(
        time, [&] { return wanted; }, [] {});
    dots.start();
    time.advance(600ms);
    EXPECT_EQ(dots.step(), 2);
    wanted = false;
    time.advance(280ms);
    EXPECT_FALSE(dots.isRunning());
    EXPECT_EQ(dots.step(), 0);
    EXPECT_EQ(time.pendingCount(), 0u);
}

TEST(WaitingAnimation, StopAndDestructionCancelTheTick) {
    VirtualTime time;
    {
        WaitingAnimation dots(
            time, [] { return true; }, [] {});
        dots.start();
        time.advance(300ms);
        dots.stop();
        EXPECT_EQ(dots.step(), 0);
        EXPECT_EQ(time.pendingCount(), 0u);
        dots.start();
    }
    EXPECT_EQ(time.pendingCount(), 0u);
    time.advance(1s);  // nothing left to touch the destroyed animation
}

// Records what the timeline does to the window.
class FakeTile final : public ModeTileSurface {
public:
    bool visible = false;
    bool fading = false;
    int presents = 0;
    int fades = 0;
    int orderOuts = 0;
    Rect frame;

    bool isVisible() const override { return visible; }
    void present(const Rect& f) override {
        ++presents;
        visible = true;
        fading = false;
        frame = f;
    }
    void beginFade(std::chrono::milliseconds duration) override {
        EXPECT_EQ(duration, 250ms);
        ++fades;
        fading = true;
    }
    void orderOut() override {
        ++orderOuts;
        visible = false;
        fading = false;
    }
};

TEST(ModeIndicatorTimeline, HoldsThenFadesThenHides) {
    VirtualTime time;
    FakeTile tile;
    ModeIndicatorTimeline timeline(time, tile);
    timeline.show({1, 2, 64, 60});
    EXPECT_TRUE(tile.visible);
    EXPECT_EQ(tile.frame, (Rect{1, 2, 64, 60}));
    time.advance(799ms);
    EXPECT_FALSE(tile.fading);
    time.advance(1ms);
    EXPECT_TRUE(tile.fading);
    time.advance(249ms);
    EXPECT_TRUE(tile.visible);
    time.advance(1ms);
    EXPECT_FALSE(tile.visible);
    EXPECT_EQ(tile.orderOuts, 1);
}

TEST(ModeIndicatorTimeline, SecondShowWithinTheHoldRestartsIt) {
    VirtualTime time;
    FakeTile tile;
    ModeIndicatorTimeline timeline(time, tile);
    timeline.show({0, 0, 64, 60});
    time.advance(500ms);
    timeline.show({10, 0, 64, 60});
    time.advance(300ms);  // 0.8 s after the first show
    EXPECT_EQ(tile.fades, 0);
    EXPECT_TRUE(tile.visible);
    time.advance(499ms);
    EXPECT_EQ(tile.fades, 0);
    time.advance(1ms);  // 0.8 s after the second
    EXPECT_EQ(tile.fades, 1);
    time.advance(250ms);
    EXPECT_FALSE(tile.visible);
    EXPECT_EQ(tile.presents, 2);
}

TEST(ModeIndicatorTimeline, DismissDuringTheFadeIsFinal) {
    VirtualTime time;
    FakeTile tile;
    ModeIndicatorTimeline timeline(time, tile);
    timeline.show({0, 0, 64, 60});
    time.advance(900ms);
    ASSERT_TRUE(tile.fading);
    timeline.dismiss();
    EXPECT_FALSE(tile.visible);
    EXPECT_EQ(tile.orderOuts, 1);
    time.advance(2s);
    EXPECT_EQ(tile.orderOuts, 1);
    EXPECT_EQ(tile.presents, 1);
    EXPECT_EQ(tile.fades, 1);
}

TEST(ModeIndicatorTimeline, ShowDuringTheFadeIsNotCutShortByIt) {
    VirtualTime time;
    FakeTile tile;
    ModeIndicatorTimeline timeline(time, tile);
    timeline.show({0, 0, 64, 60});
    time.advance(900ms);
    timeline.show({0, 0, 64, 60});
    EXPECT_FALSE(tile.fading);
    time.advance(150ms);  // the old fade would have ended here
    EXPECT_TRUE(tile.visible);
    EXPECT_EQ(tile.orderOuts, 0);
    time.advance(650ms + 250ms);
    EXPECT_FALSE(tile.visible);
}

TEST(ModeIndicatorTimeline, DismissWhileHiddenDoesNothingButOutdatesTheFade) {
    VirtualTime time;
    FakeTile tile;
    ModeIndicatorTimeline timeline(time, tile);
    timeline.dismiss();
    EXPECT_EQ(tile.orderOuts, 0);
    EXPECT_EQ(timeline.generation(), 1u);
    timeline.show({0, 0, 64, 60});
    tile.visible = false;  // hidden by someone else before the hold ends
    time.advance(1s);
    EXPECT_EQ(tile.fades, 0);
    EXPECT_EQ(tile.orderOuts, 0);
}

TEST(ModeIndicatorTimeline, DestroyedTimelineLeavesNoWork) {
    VirtualTime time;
    FakeTile tile;
    {
        ModeIndicatorTimeline timeline(time, tile);
        timeline.show({0, 0, 64, 60});
        time.advance(900ms);
    }
    EXPECT_EQ(time.pendingCount(), 0u);
    time.advance(1s);
    EXPECT_EQ(tile.orderOuts, 0);
}

TEST(ModeTile, Faces) {
    struct Case {
        InputMode mode;
        bool icon;
        std::string_view glyph, caption;
        bool showsIcon;
    } cases[] = {
        {InputMode::chinese, true, "拼", "中文", false},
        {InputMode::english, true, "英", "Sorvane", true},
        {InputMode::english, false, "英", "Sorvane", false},
        {InputMode::ascii, true, "A", "ASCII", false},
    };
    for (const Case& c : cases) {
        const ModeTileFace face = ModeTile::face(c.mode, c.icon);
        EXPECT_EQ(face.glyph, c.glyph);
        EXPECT_EQ(face.caption, c.caption);
        EXPECT_EQ(face.showsIcon, c.showsIcon);
    }
}

}  // namespace
}  // namespace sorvane
