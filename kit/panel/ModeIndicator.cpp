#include "kit/panel/ModeIndicator.h"

namespace sorvane {

ModeTileFace ModeTile::face(InputMode mode, bool englishIconAvailable) {
    switch (mode) {
        case InputMode::chinese:
            return {"拼", "中文", false};
        case InputMode::english:
            return {"英", "Sorvane", englishIconAvailable};
        case InputMode::ascii:
            return {"A", "ASCII", false};
    }
    return {"拼", "中文", false};
}

ModeIndicatorTimeline::ModeIndicatorTimeline(MainQueue& queue, ModeTileSurface& surface)
    : queue_(queue), surface_(surface) {}

ModeIndicatorTimeline::~ModeIndicatorTimeline() {
    cancelPending();
}

void ModeIndicatorTimeline::cancelPending() {
    if (hideWork_ != 0) queue_.cancel(hideWork_);
    if (fadeEnd_ != 0) queue_.cancel(fadeEnd_);
    hideWork_ = 0;
    fadeEnd_ = 0;
}

void ModeIndicatorTimeline::show(const Rect& frame) {
    if (hideWork_ != 0) queue_.cancel(hideWork_);
    hideWork_ = 0;
    ++generation_;
    surface_.present(frame);
    const std::uint64_t g = generation_;
    std::weak_ptr<int> alive = alive_;
    hideWork_ = queue_.postAfter(ModeTile::holdTime, [this, alive, g] {
        if (alive.expired()) return;
        hideWork_ = 0;
        fadeOut(g);
    });
}

void ModeIndicatorTimeline::fadeOut(std::uint64_t g) {
    if (g != generation_ || !surface_.isVisible()) return;
    surface_.beginFade(ModeTile::fadeTime);
    std::weak_ptr<int> alive = alive_;
    fadeEnd_ = queue_.postAfter(ModeTile::fadeTime, [this, alive, g] {
        if (alive.expired()) return;
        fadeEnd_ = 0;
        if (g != generation_) return;
        surface_.orderOut();
    });
}

void ModeIndicatorTimeline::dismiss() {
    if (hideWork_ != 0) queue_.cancel(hideWork_);
    hideWork_ = 0;
    ++generation_;
    if (surface_.isVisible()) surface_.orderOut();
}

}  // namespace sorvane
