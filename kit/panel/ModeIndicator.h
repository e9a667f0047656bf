#pragma once
// The mode tile's face and its show, hold and fade timeline, on the injected
// main queue. The window itself is behind ModeTileSurface.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include "kit/input/InputMode.h"
#include "platform/Geometry.h"
#include "platform/MainQueue.h"

namespace sorvane {

struct ModeTileFace {
    std::string_view glyph;
    std::string_view caption;
    bool showsIcon = false;  // the English icon in place of the glyph
};

namespace ModeTile {
inline constexpr Size tileSize{64, 60};
inline constexpr double iconSide = 34;
inline constexpr double caretGap = 6;
inline constexpr std::chrono::milliseconds holdTime{800};
inline constexpr std::chrono::milliseconds fadeTime{250};

// The English tile shows its icon when the icon could be loaded, else "英".
ModeTileFace face(InputMode mode, bool englishIconAvailable);
}  // namespace ModeTile

class ModeTileSurface {
public:
    virtual ~ModeTileSurface() = default;
    virtual bool isVisible() const = 0;
    // Stops any fade, sets full opacity, moves to the frame (y-up screen
    // coordinates) and orders front without taking focus.
    virtual void present(const Rect& frame) = 0;
    // Starts the visual fade to transparent; its end is the timeline's business.
    virtual void beginFade(std::chrono::milliseconds duration) = 0;
    // Hides the window and restores full opacity for the next show.
    virtual void orderOut() = 0;
};

class ModeIndicatorTimeline {
public:
    ModeIndicatorTimeline(MainQueue& queue, ModeTileSurface& surface);
    ~ModeIndicatorTimeline();
    ModeIndicatorTimeline(const ModeIndicatorTimeline&) = delete;
    ModeIndicatorTimeline& operator=(const ModeIndicatorTimeline&) = delete;

    // Shows at the frame and schedules the fade a hold time later; a show
    // during the hold or the fade starts the hold again.
    void show(const Rect& frame);
    // Hides at once; a fade in progress then has no further effect.
    void dismiss();
    std::uint64_t generation() const { return generation_; }

private:
    void fadeOut(std::uint64_t generation);
    void cancelPending();

    MainQueue& queue_;
    ModeTileSurface& surface_;
    std::uint64_t generation_ = 0;
    QueueTaskId hideWork_ = 0;
    QueueTaskId fadeEnd_ = 0;
    // Scheduled work holds this weakly, so it does nothing once we are gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace sorvane
