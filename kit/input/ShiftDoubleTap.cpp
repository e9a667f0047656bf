#include "kit/input/ShiftDoubleTap.h"

namespace sorvane {

bool ShiftDoubleTap::press(double t) {
    if (pressedAt) {
        // Two presses without a release between them (a lost event): start
        // over rather than guess which one the user meant.
        clear();
        return true;
    }
    if (firstTapReleasedAt) {
        const double gap = t - *firstTapReleasedAt;
        if (gap >= 0 && gap <= ShiftTiming::doubleWindow) {
            pressedAt = t;
            return false;
        }
    }
    firstTapReleasedAt.reset();
    pressedAt = t;
    return true;
}

ShiftTap ShiftDoubleTap::release(double t) {
    if (!pressedAt) {
        firstTapReleasedAt.reset();
        return ShiftTap::none;
    }
    const double held = t - *pressedAt;
    pressedAt.reset();
    if (held < 0 || held > ShiftTiming::maxTapHold) {
        firstTapReleasedAt.reset();
        return ShiftTap::none;
    }
    if (held > ShiftTiming::doubleWindow) {
        firstTapReleasedAt.reset();
        return ShiftTap::single;
    }
    if (firstTapReleasedAt) {
        firstTapReleasedAt.reset();
        return ShiftTap::doubleTap;
    }
    firstTapReleasedAt = t;
    return ShiftTap::single;
}

}  // namespace sorvane
