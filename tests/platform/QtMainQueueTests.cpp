#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/qt/QtMainQueue.h"
#include "tests/support/PumpUntil.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;

class QtMainQueueTest : public ::testing::Test {
protected:
    int argc = 1;
    char name[8] = "tests";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
};

using testing::pumpFor;
using testing::pumpUntil;

TEST_F(QtMainQueueTest, PostsFromAnyThreadRunOnTheMainThreadInOrder) {
    QtMainQueue queue;
    std::vector<int> ran;
    std::atomic<bool> wrongThread{false};
    QThread* mainThread = QThread::currentThread();
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            queue.post([&, i] {
                if (QThread::currentThread() != mainThread) wrongThread = true;
                ran.push_back(i);
            });
        }
    });
    worker.join();
    pumpUntil([&] { return ran.size() == 100; });
    ASSERT_EQ(ran.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(ran[i], i);
    EXPECT_FALSE(wrongThread);
}

TEST_F(QtMainQueueTest, DelayedTasksRunByDelayAndCancelledOnesNever) {
    QtMainQueue queue;
    std::vector<std::string> ran;
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration firstAfter{};
    queue.postAfter(120ms, [&] { ran.push_back("120"); });
    const QueueTaskId cancelled = queue.postAfter(60ms, [&] { ran.push_back("cancelled"); });
    queue.postAfter(30ms, [&] {
        firstAfter = std::chrono::steady_clock::now() - start;
        ran.push_back("30");
    });
    EXPECT_NE(cancelled, 0u);
    queue.cancel(cancelled);
    queue.cancel(cancelled);
    queue.cancel(987654);
    // A wrongly kept task would be the second to run: it falls due before the last.
    pumpUntil([&] { return ran.size() >= 2; });
    EXPECT_EQ(ran, (std::vector<std::string>{"30", "120"}));
    EXPECT_GE(firstAfter, 30ms);
}

TEST_F(QtMainQueueTest, CancelFromAnotherThreadAndFromATask) {
    QtMainQueue queue;
    std::atomic<int> runs{0};
    const QueueTaskId a = queue.postAfter(50ms, [&] { runs += 1; });
    std::thread([&] { queue.cancel(a); }).join();
    QueueTaskId b = 0;
    queue.post([&] { queue.cancel(b); });
    b = queue.postAfter(20ms, [&] { runs += 10; });
    queue.postAfter(40ms, [&] { runs += 100; });
    pumpUntil([&] { return runs.load() >= 100; });
    pumpFor(80ms);  // nothing to wait for: a task cancelled wrongly has this long to run
    EXPECT_EQ(runs.load(), 100);
}

TEST_F(QtMainQueueTest, SharedQueueMadeOnAWorkerServesTheMainThread) {
    QtMainQueue* fromWorker = nullptr;
    std::thread([&] { fromWorker = &QtMainQueue::shared(); }).join();
    EXPECT_EQ(fromWorker, &QtMainQueue::shared());
    EXPECT_EQ(fromWorker->thread(), QThread::currentThread());
    bool ran = false;
    fromWorker->postAfter(0ms, [&] { ran = true; });
    pumpUntil([&] { return ran; });
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace sorvane
