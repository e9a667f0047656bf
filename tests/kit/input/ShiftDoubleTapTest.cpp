// The Shift tap classifier on event time stamps.
#include <gtest/gtest.h>

#include "kit/input/ModeMemory.h"
#include "kit/input/ShiftDoubleTap.h"

namespace sorvane {
namespace {

struct Step {
    char kind;  // 'p' press, 'r' release
    double at;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<ShiftTap> releases;  // what each release gives, in order
};

TEST(ShiftDoubleTapTest, ClassifiesTapSeries) {
    using enum ShiftTap;
    const std::vector<Case> cases = {
        {"quick tap", {{'p', 0}, {'r', 0.06}}, {single}},
        {"zero-length tap", {{'p', 1}, {'r', 1}}, {single}},
        {"held exactly 0.5 s", {{'p', 0}, {'r', 0.5}}, {single}},
        {"held longer than 0.5 s", {{'p', 0}, {'r', 0.51}}, {none}},
        {"release before press (clock went back)", {{'p', 5}, {'r', 4.9}}, {none}},
        {"double tap", {{'p', 0}, {'r', 0.05}, {'p', 0.2}, {'r', 0.25}}, {single, doubleTap}},
        {"second press exactly 0.35 s later",
         {{'p', 0}, {'r', 0.1}, {'p', 0.45}, {'r', 0.5}},
         {single, doubleTap}},
        {"second press 0.36 s later", {{'p', 0}, {'r', 0.1}, {'p', 0.46}, {'r', 0.5}}, {single, single}},
        {"first tap held 0.4 s cannot open a double",
         {{'p', 0}, {'r', 0.4}, {'p', 0.45}, {'r', 0.5}},
         {single, single}},
        {"second tap held 0.4 s is a single",
         {{'p', 0}, {'r', 0.1}, {'p', 0.2}, {'r', 0.6}},
         {single, single}},
        {"second tap held too long ends the series",
         {{'p', 0}, {'r', 0.1}, {'p', 0.2}, {'r', 0.9}},
         {single, none}},
        {"triple tap: the third starts anew",
         {{'p', 0}, {'r', 0.05}, {'p', 0.1}, {'r', 0.15}, {'p', 0.2}, {'r', 0.25}},
         {single, doubleTap, single}},
        {"release without press", {{'r', 1}}, {none}},
        // The repeated press is not recorded, so its release is no tap.
        {"two presses without release start over",
         {{'p', 0}, {'r', 0.05}, {'p', 0.1}, {'p', 0.15}, {'r', 0.2}},
         {single, none}},
    };
    for (const Case& c : cases) {
        ShiftDoubleTap taps;
        std::vector<ShiftTap> got;
        for (const Step& s : c.steps) {
            if (s.kind == 'p')
                taps.press(s.at);
            else
                got.push_back(taps.release(s.at));
        }
        EXPECT_EQ(got, c.releases) << c.name;
    }
}

TEST(ShiftDoubleTapTest, PressTellsWhetherItStartsASeries) {
    ShiftDoubleTap taps;
    EXPECT_TRUE(taps.press(0));
    EXPECT_EQ(taps.release(0.1), ShiftTap::single);
    EXPECT_FALSE(taps.press(0.2));  // the second press of a double
    EXPECT_EQ(taps.release(0.25), ShiftTap::doubleTap);
    EXPECT_TRUE(taps.isClear());
    EXPECT_TRUE(taps.press(0.3));
    // A lost release: the next press starts over (and is not recorded).
    EXPECT_TRUE(taps.press(0.4));
    EXPECT_TRUE(taps.isClear());
}

TEST(ShiftDoubleTapTest, ClearForgetsAWaitingFirstTap) {
    ShiftDoubleTap taps;
    taps.press(0);
    taps.release(0.05);
    ASSERT_TRUE(taps.firstTapReleasedAt);
    taps.clear();
    EXPECT_TRUE(taps.press(0.1));
    EXPECT_EQ(taps.release(0.15), ShiftTap::single);
}

TEST(ModeMemoryTest, RemembersPerBundleIdAndDefaultsToChinese) {
    ModeMemory memory;
    EXPECT_EQ(memory.mode(std::nullopt), InputMode::chinese);
    EXPECT_EQ(memory.mode(std::string("com.example.unknown")), InputMode::chinese);
    memory.remember("com.example.a", InputMode::english);
    memory.remember("com.example.b", InputMode::ascii);
    EXPECT_EQ(memory.mode(std::string("com.example.a")), InputMode::english);
    EXPECT_EQ(memory.mode(std::string("com.example.b")), InputMode::ascii);
    memory.remember("com.example.a", InputMode::chinese);
    EXPECT_EQ(memory.mode(std::string("com.example.a")), InputMode::chinese);
    EXPECT_EQ(memory.mode(std::string("")), InputMode::chinese);
}

}  // namespace
}  // namespace sorvane
