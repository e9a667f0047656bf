#include "platform/TaskRunner.h"

#include <thread>

namespace sorvane {

void DetachedThreadRunner::run(std::function<void()> task) {
    std::thread(std::move(task)).detach();
}

DetachedThreadRunner& DetachedThreadRunner::shared() {
    static DetachedThreadRunner runner;
    return runner;
}

}  // namespace sorvane
