#pragma once
// Waiting on the main thread without freezing it: a wait runs the process's
// event loop, so its timers and notifications are served meanwhile.
#include <chrono>

namespace sorvane {

class RunLoop {
public:
    virtual ~RunLoop() = default;
    // Returns once `duration` has passed.
    virtual void runFor(std::chrono::milliseconds duration) = 0;
};

}  // namespace sorvane
