#pragma once
#include <chrono>

namespace sorvane {

// Wall time for dates, steady time for intervals. Tests use a virtual clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::system_clock::time_point now() const = 0;
    virtual std::chrono::steady_clock::time_point steadyNow() const = 0;
};

class SystemClock final : public Clock {
public:
    std::chrono::system_clock::time_point now() const override { return std::chrono::system_clock::now(); }
    std::chrono::steady_clock::time_point steadyNow() const override {
        return std::chrono::steady_clock::now();
    }
    static SystemClock& shared() {
        static SystemClock clock;
        return clock;
    }
};

}  // namespace sorvane
