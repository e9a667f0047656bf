#pragma once
// One worker thread that runs jobs one at a time, in the order they fall due.
// A delayed job may be let through early (its wait was cancelled) by a
// condition checked whenever the executor is woken.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace sorvane {

class SerialExecutor {
public:
    using Job = std::function<void()>;
    using TimePoint = std::chrono::steady_clock::time_point;

    SerialExecutor();
    // Runs every job still queued (at once, not at its time), then stops.
    ~SerialExecutor();
    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    // Thread-safe. Jobs due at the same time run in posting order.
    void post(Job job);
    void postAt(TimePoint at, Job job, std::function<bool()> early = {});
    // Thread-safe: look again at the early conditions of waiting jobs.
    void wake();
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

    // What the destructor does, waiting for the thread only until `deadline`:
    // true once it has ended. A job still running then (inside a call that
    // cannot be cut short) goes on, with whatever is queued behind it, and
    // the executor must outlive it: the destructor still waits for it. Never
    // from one of its own jobs.
    bool stop(TimePoint deadline);

private:
    struct Entry {
        Job job;
        std::function<bool()> early;
    };
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::multimap<std::pair<TimePoint, std::uint64_t>, Entry> queue_;
    std::uint64_t sequence_ = 0;
    bool stopping_ = false;
    bool ended_ = false;
    std::thread thread_;
};

}  // namespace sorvane
