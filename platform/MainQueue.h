#pragma once
// The main thread's queue. UI, input and models live on the main thread;
// other threads hand work back through post().
#include <chrono>
#include <cstdint>
#include <functional>

namespace sorvane {

using QueueTaskId = std::uint64_t;

class MainQueue {
public:
    virtual ~MainQueue() = default;
    // Thread-safe; the task runs on the main thread, in posting order.
    virtual void post(std::function<void()> task) = 0;
    // Thread-safe; returns an id for cancel(). Never 0.
    virtual QueueTaskId postAfter(std::chrono::milliseconds delay, std::function<void()> task) = 0;
    // A cancelled task that has not started never runs. Unknown ids are ignored.
    virtual void cancel(QueueTaskId id) = 0;
};

}  // namespace sorvane
