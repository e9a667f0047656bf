#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;
using testing::VirtualTime;

TEST(VirtualTime, RunsDueTasksInTimeThenPostingOrder) {
    VirtualTime time;
    std::vector<std::string> ran;
    time.postAfter(300ms, [&] { ran.push_back("300"); });
    time.postAfter(100ms, [&] { ran.push_back("100a"); });
    time.post([&] { ran.push_back("now"); });
    time.postAfter(100ms, [&] { ran.push_back("100b"); });
    time.advance(99ms);
    EXPECT_EQ(ran, (std::vector<std::string>{"now"}));
    time.advance(1ms);
    EXPECT_EQ(ran, (std::vector<std::string>{"now", "100a", "100b"}));
    time.advance(1s);
    EXPECT_EQ(ran.back(), "300");
    EXPECT_EQ(time.pendingCount(), 0u);
}

TEST(VirtualTime, ClockMovesOnlyWhenAdvanced) {
    VirtualTime time;
    const auto wall = time.now();
    const auto steady = time.steadyNow();
    std::chrono::steady_clock::time_point seenInTask;
    time.postAfter(250ms, [&] { seenInTask = time.steadyNow(); });
    EXPECT_EQ(time.now(), wall);
    time.advance(1s);
    EXPECT_EQ(seenInTask - steady, 250ms);  // a task sees its own due time
    EXPECT_EQ(time.now() - wall, 1s);
    EXPECT_EQ(time.steadyNow() - steady, 1s);
}

TEST(VirtualTime, CancelledTaskNeverRuns) {
    VirtualTime time;
    int runs = 0;
    const auto id = time.postAfter(10ms, [&] { ++runs; });
    const auto other = time.postAfter(10ms, [&] { runs += 10; });
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, other);
    time.cancel(id);
    time.cancel(id);     // twice is harmless
    time.cancel(12345);  // unknown ids are ignored
    time.advance(20ms);
    EXPECT_EQ(runs, 10);
}

TEST(VirtualTime, TasksPostedByTasksRunWhenDue) {
    VirtualTime time;
    std::vector<int> ran;
    time.postAfter(10ms, [&] {
        ran.push_back(1);
        time.post([&] { ran.push_back(2); });
        time.postAfter(10ms, [&] { ran.push_back(3); });
        time.postAfter(100ms, [&] { ran.push_back(4); });
    });
    time.advance(20ms);
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    time.runPending();
    EXPECT_EQ(ran.size(), 3u);
    EXPECT_EQ(time.pendingCount(), 1u);
}

TEST(VirtualTime, TaskCancellingALaterOne) {
    VirtualTime time;
    bool later = false;
    QueueTaskId id = time.postAfter(50ms, [&] { later = true; });
    time.postAfter(10ms, [&] { time.cancel(id); });
    time.advance(100ms);
    EXPECT_FALSE(later);
}

}  // namespace
}  // namespace sorvane
