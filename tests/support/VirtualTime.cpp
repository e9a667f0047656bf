#include "tests/support/VirtualTime.h"

namespace sorvane::testing {

VirtualTime::VirtualTime()
    : wallStart_(std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + std::chrono::hours(9)),
      steadyStart_(std::chrono::steady_clock::time_point{} + std::chrono::hours(1000)) {}

std::chrono::system_clock::time_point VirtualTime::now() const {
    std::lock_guard lock(mutex_);
    return wallStart_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(elapsed_);
}

std::chrono::steady_clock::time_point VirtualTime::steadyNow() const {
    std::lock_guard lock(mutex_);
    return steadyStart_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(elapsed_);
}

void VirtualTime::post(std::function<void()> task) {
    postAfter(std::chrono::milliseconds(0), std::move(task));
}

QueueTaskId VirtualTime::postAfter(std::chrono::milliseconds delay, std::function<void()> task) {
    std::lock_guard lock(mutex_);
    const QueueTaskId id = nextId_++;
    tasks_.emplace(Key{elapsed_ + std::max(delay, std::chrono::milliseconds(0)), id}, std::move(task));
    return id;
}

void VirtualTime::cancel(QueueTaskId id) {
    std::lock_guard lock(mutex_);
    for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
        if (it->first.id == id) {
            tasks_.erase(it);
            return;
        }
    }
}

bool VirtualTime::runOneDueBy(std::chrono::nanoseconds limit) {
    std::function<void()> task;
    {
        std::lock_guard lock(mutex_);
        if (tasks_.empty() || tasks_.begin()->first.due > limit) return false;
        auto it = tasks_.begin();
        if (it->first.due > elapsed_) elapsed_ = it->first.due;
        task = std::move(it->second);
        tasks_.erase(it);
    }
    task();
    return true;
}

void VirtualTime::advance(std::chrono::milliseconds by) {
    std::chrono::nanoseconds target;
    {
        std::lock_guard lock(mutex_);
        target = elapsed_ + by;
    }
    while (runOneDueBy(target)) {
    }
    std::lock_guard lock(mutex_);
    elapsed_ = target;
}

void VirtualTime::runPending() {
    std::chrono::nanoseconds limit;
    {
        std::lock_guard lock(mutex_);
        limit = elapsed_;
    }
    while (runOneDueBy(limit)) {
    }
}

std::size_t VirtualTime::pendingCount() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

}  // namespace sorvane::testing
