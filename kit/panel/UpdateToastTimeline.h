#pragma once
// The update toast's life without its window: the 15-second countdown that
// pauses while the pointer rests on the toast and resumes with at least 3 s,
// the fades, and the generation that makes every late step of an older show
// or dismissal do nothing. Main thread only; the window is a surface.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "platform/MainQueue.h"

namespace sorvane {

namespace UpdateToastCopy {
inline constexpr std::string_view install = "安装…";
inline constexpr std::string_view later = "稍后";
inline constexpr std::string_view verified = "已通过校验，可以安装";
}  // namespace UpdateToastCopy

class UpdateToastSurface {
public:
    virtual ~UpdateToastSurface() = default;
    virtual bool isVisible() const = 0;
    virtual double alpha() const = 0;
    // Places the toast, shows it at alpha 0 when hidden, orders it front
    // without focus, and animates the alpha to 1.
    virtual void present() = 0;
    // Animates the alpha to 0; `done` runs on the main thread when it ends.
    virtual void fadeOut(std::chrono::milliseconds duration, std::function<void()> done) = 0;
    // Hides the window and sets the alpha back to 1.
    virtual void orderOut() = 0;
};

class UpdateToastTimeline {
public:
    static constexpr std::chrono::seconds showTime{15};
    static constexpr std::chrono::seconds resumeAtLeast{3};
    static constexpr std::chrono::milliseconds fadeTime{200};

    UpdateToastTimeline(MainQueue& queue, const Clock& clock, UpdateToastSurface& surface);
    ~UpdateToastTimeline();
    UpdateToastTimeline(const UpdateToastTimeline&) = delete;
    UpdateToastTimeline& operator=(const UpdateToastTimeline&) = delete;

    void show();
    void dismiss();
    void pointerEntered();
    void pointerExited();

    std::uint64_t generation() const { return generation_; }
    // Time left on the countdown, frozen while paused.
    std::chrono::duration<double> remaining() const { return remaining_; }
    bool counting() const { return countdownStartedAt_.has_value(); }

    // The toast's second line: the first non-blank line of the notes without
    // a leading bullet, at most 200 Characters, else the fixed text.
    static std::string detail(const std::optional<std::string>& notes);

private:
    void startCountdown();
    void cancelDismissWork();

    MainQueue& queue_;
    const Clock& clock_;
    UpdateToastSurface& surface_;
    std::uint64_t generation_ = 0;
    std::chrono::duration<double> remaining_{0};
    std::optional<std::chrono::steady_clock::time_point> countdownStartedAt_;
    QueueTaskId dismissWork_ = 0;
    // Scheduled work and fade completions hold this weakly.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace sorvane
