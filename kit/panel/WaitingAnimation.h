#pragma once
// The three waiting dots of the English line: which one is lit, advanced by a
// repeating tick on the main queue while a request is outstanding.
#include <chrono>
#include <functional>

#include "platform/MainQueue.h"

namespace sorvane {

class WaitingAnimation {
public:
    static constexpr std::chrono::milliseconds interval{280};
    static constexpr int dotCount = 3;

    // `shouldContinue` is asked before each step (is the model still waiting,
    // is the window still on screen); `redisplay` follows each step.
    WaitingAnimation(MainQueue& queue, std::function<bool()> shouldContinue, std::function<void()> redisplay);
    ~WaitingAnimation();
    WaitingAnimation(const WaitingAnimation&) = delete;
    WaitingAnimation& operator=(const WaitingAnimation&) = delete;

    // Does nothing while running, so repeated updates during one request do
    // not restart the sequence.
    void start();
    // Stops and goes back to the first dot.
    void stop();
    bool isRunning() const { return timer_ != 0; }
    int step() const { return step_; }

private:
    void schedule();
    void tick();

    MainQueue& queue_;
    std::function<bool()> shouldContinue_;
    std::function<void()> redisplay_;
    QueueTaskId timer_ = 0;
    int step_ = 0;
};

}  // namespace sorvane
