#include "platform/ServiceSilence.h"

#include <utility>

namespace sorvane {

ServiceSilence::ServiceSilence(std::optional<std::chrono::seconds> askAgainAfter, const Clock& clock)
    : askAgainAfter_(askAgainAfter), clock_(clock) {}

bool ServiceSilence::mayAsk(std::chrono::milliseconds limit) {
    std::lock_guard lock(mutex_);
    if (!quiet_) return true;
    const auto now = clock_.steadyNow();
    if (!askAgainAfter_ || now < nextAsk_) return false;
    nextAsk_ = now + limit + *askAgainAfter_;
    return true;
}

bool ServiceSilence::note(bool answered) {
    std::lock_guard lock(mutex_);
    if (answered) {
        // Without an interval a quiet service stays so, even when a call
        // that was already asking gets its answer.
        if (askAgainAfter_) quiet_ = false;
        return false;
    }
    if (askAgainAfter_) nextAsk_ = clock_.steadyNow() + *askAgainAfter_;
    return !std::exchange(quiet_, true);
}

}  // namespace sorvane
