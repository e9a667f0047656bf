#include "kit/panel/WaitingAnimation.h"

namespace sorvane {

WaitingAnimation::WaitingAnimation(MainQueue& queue, std::function<bool()> shouldContinue,
                                   std::function<void()> redisplay)
    : queue_(queue), shouldContinue_(std::move(shouldContinue)), redisplay_(std::move(redisplay)) {}

// The pending tick refers to this object; it must never run after it is gone.
WaitingAnimation::~WaitingAnimation() {
    if (timer_ != 0) queue_.cancel(timer_);
}

void WaitingAnimation::start() {
    if (timer_ != 0) return;
    schedule();
}

void WaitingAnimation::stop() {
    if (timer_ != 0) queue_.cancel(timer_);
    timer_ = 0;
    step_ = 0;
}

void WaitingAnimation::schedule() {
    timer_ = queue_.postAfter(interval, [this] { tick(); });
}

void WaitingAnimation::tick() {
    timer_ = 0;
    if (shouldContinue_ && !shouldContinue_()) {
        stop();
        return;
    }
    step_ = (step_ + 1) % dotCount;
    // Rescheduled before the redisplay, so a redisplay that stops the
    // animation cancels the next tick instead of being overtaken by it.
    schedule();
    if (redisplay_) redisplay_();
}

}  // namespace sorvane
