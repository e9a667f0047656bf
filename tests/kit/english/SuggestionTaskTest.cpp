#include <gtest/gtest.h>

#include <thread>

#include "kit/english/SuggestionProvider.h"

using namespace std::chrono_literals;
using sorvane::CancellationError;
using sorvane::Suggestion;
using sorvane::SuggestionFailure;
using sorvane::SuggestionResult;
using sorvane::SuggestionTask;

TEST(SuggestionTask, FirstResultWinsAndReachesEveryWaiter) {
    SuggestionTask task;
    std::vector<SuggestionResult> seen;
    task.onFinish([&](const SuggestionResult& r) { seen.push_back(r); });
    EXPECT_EQ(task.waitFor(1ms), std::nullopt);
    std::thread finisher([&] { task.finish(Suggestion{"Hi", " there."}); });
    auto result = task.wait();
    finisher.join();
    task.finish(sorvane::unexpected(SuggestionFailure(CancellationError{})));

    ASSERT_TRUE(result);
    EXPECT_EQ(*result, (Suggestion{"Hi", " there."}));
    ASSERT_EQ(seen.size(), 1u);
    // A late handler is called at once with the same result.
    task.onFinish([&](const SuggestionResult& r) { seen.push_back(r); });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(*seen[1], *result);
}

TEST(SuggestionTask, CancelRunsTheHandlerOnce) {
    SuggestionTask task;
    int calls = 0;
    task.setCancelHandler([&] { ++calls; });
    EXPECT_FALSE(task.isCancelled());
    task.cancel();
    task.cancel();
    EXPECT_TRUE(task.isCancelled());
    EXPECT_EQ(calls, 1);

    // Set after the cancellation: run at once, so no wait is left hanging.
    int late = 0;
    task.setCancelHandler([&] { ++late; });
    EXPECT_EQ(late, 1);
}

TEST(SuggestionTask, FinishedTaskForgetsItsCancelHandler) {
    SuggestionTask task;
    int calls = 0;
    task.setCancelHandler([&] { ++calls; });
    task.finish(Suggestion{"a", ""});
    task.cancel();
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(task.isFinished());
}
