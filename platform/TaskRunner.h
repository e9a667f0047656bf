#pragma once
// Runs work off the main thread. Each task owns what it captures; results go
// back through the MainQueue. Tests run the tasks by hand.
#include <functional>

namespace sorvane {

class TaskRunner {
public:
    virtual ~TaskRunner() = default;
    // Thread-safe; the task starts later on some other thread.
    virtual void run(std::function<void()> task) = 0;
};

// A new detached thread per task: the process never waits for one at exit.
class DetachedThreadRunner final : public TaskRunner {
public:
    void run(std::function<void()> task) override;
    static DetachedThreadRunner& shared();
};

}  // namespace sorvane
