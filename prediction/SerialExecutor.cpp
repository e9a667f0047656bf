#include "prediction/SerialExecutor.h"

namespace sorvane {

SerialExecutor::SerialExecutor() : thread_([this] { run(); }) {}

SerialExecutor::~SerialExecutor() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool SerialExecutor::stop(TimePoint deadline) {
    {
        std::unique_lock lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
        if (!changed_.wait_until(lock, deadline, [this] { return ended_; })) return false;
    }
    // It has left its loop: joining takes no time.
    if (thread_.joinable()) thread_.join();
    return true;
}

void SerialExecutor::post(Job job) {
    postAt(std::chrono::steady_clock::now(), std::move(job));
}

void SerialExecutor::postAt(TimePoint at, Job job, std::function<bool()> early) {
    {
        std::lock_guard lock(mutex_);
        queue_.emplace(std::make_pair(at, sequence_++), Entry{std::move(job), std::move(early)});
    }
    changed_.notify_all();
}

void SerialExecutor::wake() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

void SerialExecutor::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (queue_.empty()) {
            if (stopping_) {
                ended_ = true;
                changed_.notify_all();
                return;
            }
            changed_.wait(lock);
            continue;
        }
        // The first job that is due or let through early; else wait for the
        // earliest one.
        auto now = std::chrono::steady_clock::now();
        auto ready = queue_.end();
        for (auto it = queue_.begin(); it != queue_.end(); ++it) {
            if (it->first.first <= now || stopping_ || (it->second.early && it->second.early())) {
                ready = it;
                break;
            }
        }
        if (ready == queue_.end()) {
            changed_.wait_until(lock, queue_.begin()->first.first);
            continue;
        }
        Job job = std::move(ready->second.job);
        queue_.erase(ready);
        lock.unlock();
        job();
        lock.lock();
    }
}

}  // namespace sorvane
