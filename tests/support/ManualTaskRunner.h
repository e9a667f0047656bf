#pragma once
// Keeps background tasks until a test runs them, on the test's thread.
#include <deque>
#include <functional>
#include <mutex>

#include "platform/TaskRunner.h"

namespace sorvane::testing {

class ManualTaskRunner final : public TaskRunner {
public:
    void run(std::function<void()> task) override {
        std::lock_guard guard(mutex_);
        tasks_.push_back(std::move(task));
    }
    // Runs the waiting tasks, also those they start; gives how many ran.
    int runAll() {
        int count = 0;
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard guard(mutex_);
                if (tasks_.empty()) return count;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
            ++count;
        }
    }
    std::size_t pending() const {
        std::lock_guard guard(mutex_);
        return tasks_.size();
    }

private:
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace sorvane::testing
