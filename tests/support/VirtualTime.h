#pragma once
// A manual clock and main queue: time moves only when a test advances it, and
// due tasks then run in time order on the calling thread.
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/MainQueue.h"

namespace sorvane::testing {

class VirtualTime final : public Clock, public MainQueue {
public:
    VirtualTime();

    std::chrono::system_clock::time_point now() const override;
    std::chrono::steady_clock::time_point steadyNow() const override;

    void post(std::function<void()> task) override;
    QueueTaskId postAfter(std::chrono::milliseconds delay, std::function<void()> task) override;
    void cancel(QueueTaskId id) override;

    // Moves time forward, running every task that falls due on the way.
    void advance(std::chrono::milliseconds by);
    // Runs the tasks that are due now (including those they post for now).
    void runPending();
    std::size_t pendingCount() const;

private:
    struct Key {
        std::chrono::nanoseconds due;
        QueueTaskId id;
        bool operator<(const Key& o) const { return due != o.due ? due < o.due : id < o.id; }
    };
    bool runOneDueBy(std::chrono::nanoseconds limit);

    mutable std::mutex mutex_;
    std::chrono::nanoseconds elapsed_{0};
    std::chrono::system_clock::time_point wallStart_;
    std::chrono::steady_clock::time_point steadyStart_;
    QueueTaskId nextId_ = 1;
    std::map<Key, std::function<void()>> tasks_;
};

}  // namespace sorvane::testing
