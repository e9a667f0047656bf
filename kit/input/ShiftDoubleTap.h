#pragma once
// Tells Shift taps apart by the events' own time stamps: a quick press and
// release is a tap, and a second tap soon after the first one is a double.
// The controller feeds it every press and release of the toggle Shift.
#include <optional>

namespace sorvane {

// What one Shift release amounts to.
// ("double" is a keyword, hence doubleTap.)
enum class ShiftTap { none, single, doubleTap };

namespace ShiftTiming {
// A press held longer than this is not a tap at all.
inline constexpr double maxTapHold = 0.5;
// A tap held longer than this cannot open a double; it is also the longest
// gap between the first tap's release and the second press.
inline constexpr double doubleWindow = 0.35;
}  // namespace ShiftTiming

struct ShiftDoubleTap {
    std::optional<double> pressedAt;           // the press still held, seconds
    std::optional<double> firstTapReleasedAt;  // a first tap waiting for a second

    void clear() {
        pressedAt.reset();
        firstTapReleasedAt.reset();
    }
    bool isClear() const { return !pressedAt && !firstTapReleasedAt; }

    // A press at `t`. True when it starts a new series (the caller then notes
    // the mode the series began in); false for the second press of a double,
    // which belongs to the series already running.
    bool press(double t);
    // The release at `t` and what it completes.
    ShiftTap release(double t);

    bool operator==(const ShiftDoubleTap&) const = default;
};

}  // namespace sorvane
