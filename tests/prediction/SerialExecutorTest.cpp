#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <vector>

#include "prediction/SerialExecutor.h"

using namespace std::chrono_literals;
using sorvane::SerialExecutor;

TEST(SerialExecutor, RunsJobsOneAtATimeInTheOrderTheyFallDue) {
    std::vector<int> order;  // touched only by the worker
    std::promise<void> done;
    {
        SerialExecutor executor;
        const auto now = std::chrono::steady_clock::now();
        executor.postAt(now + 60ms, [&] { order.push_back(3); });
        executor.postAt(now + 60ms, [&] {
            order.push_back(4);
            done.set_value();
        });
        executor.post([&] { order.push_back(1); });
        executor.post([&] {
            EXPECT_TRUE(executor.isCurrent());
            order.push_back(2);
        });
        EXPECT_FALSE(executor.isCurrent());
        done.get_future().wait();
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(SerialExecutor, WaitingJobIsLetThroughEarlyWhenWoken) {
    SerialExecutor executor;
    std::atomic<bool> release{false};
    std::promise<std::chrono::steady_clock::time_point> ran;
    const auto start = std::chrono::steady_clock::now();
    executor.postAt(
        start + 10s, [&] { ran.set_value(std::chrono::steady_clock::now()); },
        [&] { return release.load(); });
    std::this_thread::sleep_for(20ms);
    release = true;
    executor.wake();
    auto future = ran.get_future();
    ASSERT_EQ(future.wait_for(2s), std::future_status::ready);
    EXPECT_LT(future.get() - start, 1s);
}

TEST(SerialExecutor, StoppingRunsWhatIsStillQueued) {
    std::atomic<int> ran{0};
    const auto start = std::chrono::steady_clock::now();
    {
        SerialExecutor executor;
        executor.postAt(start + 30s, [&] { ++ran; });
        executor.postAt(start + 30s, [&] { executor.post([&] { ++ran; }); });
    }
    EXPECT_EQ(ran, 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(SerialExecutor, ABoundedStopLeavesAJobThatWillNotEndRunningAndTheDestructorWaitsForIt) {
    std::atomic<int> ran{0};
    const auto start = std::chrono::steady_clock::now();
    {
        SerialExecutor idle;
        idle.postAt(start + 30s, [&] { ++ran; });
        EXPECT_TRUE(idle.stop(std::chrono::steady_clock::now() + 5s));
        EXPECT_EQ(ran, 1);
    }
    std::promise<void> entered, release;
    {
        SerialExecutor busy;
        busy.post([&, released = release.get_future().share()] {
            entered.set_value();
            released.wait();
            ++ran;
        });
        busy.postAt(start + 30s, [&] { ++ran; });
        entered.get_future().wait();
        const auto stopping = std::chrono::steady_clock::now();
        EXPECT_FALSE(busy.stop(stopping + 50ms));
        EXPECT_LT(std::chrono::steady_clock::now() - stopping, 2s);
        EXPECT_EQ(ran, 1);
        release.set_value();
    }
    EXPECT_EQ(ran, 3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}
