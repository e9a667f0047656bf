#pragma once
// Screen lookup and placement of the floating panels, in y-up screen
// coordinates. Screens come through ScreenProvider so placement is tested
// with made-up monitors; the window code supplies the real ones.
#include <optional>
#include <vector>

#include "platform/Geometry.h"

namespace sorvane {

struct ScreenDescription {
    Rect frame;
    Rect visibleFrame;  // without menu bar and dock
    bool operator==(const ScreenDescription&) const = default;
};

class ScreenProvider {
public:
    virtual ~ScreenProvider() = default;
    // In the system's screen order.
    virtual std::vector<ScreenDescription> screens() const = 0;
    virtual std::optional<ScreenDescription> mainScreen() const = 0;
    virtual Point mouseLocation() const = 0;
};

namespace PanelGeometry {

inline constexpr Rect fallbackVisibleFrame{0, 0, 1440, 900};

// The visible frame of the first screen containing the point, else the main
// screen's, else a laptop-sized default.
Rect visibleFrame(Point around, const ScreenProvider& screens);

// Clients that report no caret give an all-zero rectangle; the mouse is the
// best guess of where the user looks. Logs each time it falls back.
Rect caretOrMouse(Rect caret, const ScreenProvider& screens);

// The candidate panel's frame: below the caret, above it when there is no
// room below, then kept inside the visible frame (left and bottom edges win on
// a screen too small for it). The caret must already be resolved.
Rect candidatePanelFrame(Rect caret, Size panel, const ScreenProvider& screens);

// The mode tile's frame: like the panel but with its own gap, and clamped so
// that the top and right edges win on a screen too small for it.
Rect modeTileFrame(Rect caret, Size tile, double caretGap, const ScreenProvider& screens);

}  // namespace PanelGeometry

}  // namespace sorvane

namespace sorvane {

// Converts between the y-up screen space and a toolkit's y-down global space
// in which the primary screen has the given frame. The y-up origin is the
// primary screen's bottom-left corner.
struct ScreenFlip {
    Rect primaryYDown;

    Rect toYUp(const Rect& yDown) const {
        return {yDown.x - primaryYDown.x, primaryYDown.maxY() - yDown.maxY(), yDown.width, yDown.height};
    }
    Rect toYDown(const Rect& yUp) const {
        return {yUp.x + primaryYDown.x, primaryYDown.maxY() - yUp.maxY(), yUp.width, yUp.height};
    }
    Point toYUp(Point yDown) const { return {yDown.x - primaryYDown.x, primaryYDown.maxY() - yDown.y}; }
};

}  // namespace sorvane
