#pragma once
// Whether to ask a service that may have stopped answering. While it answers,
// every call asks it. Once a call has run out it is quiet: never asked again,
// or, with an interval, asked again by one caller at a time each time the
// interval has passed, until it answers. Thread-safe.
#include <chrono>
#include <mutex>
#include <optional>

#include "platform/Clock.h"

namespace sorvane {

class ServiceSilence {
public:
    explicit ServiceSilence(std::optional<std::chrono::seconds> askAgainAfter,
                            const Clock& clock = SystemClock::shared());

    // Whether a call may ask the service now. While it asks, for up to
    // `limit`, no other caller may ask a quiet service.
    bool mayAsk(std::chrono::milliseconds limit);
    // After a call that asked; true when the service has just gone quiet,
    // which is to be said once.
    bool note(bool answered);

    const std::optional<std::chrono::seconds>& askAgainAfter() const { return askAgainAfter_; }

private:
    const std::optional<std::chrono::seconds> askAgainAfter_;
    const Clock& clock_;
    std::mutex mutex_;
    bool quiet_ = false;
    std::chrono::steady_clock::time_point nextAsk_;
};

}  // namespace sorvane
