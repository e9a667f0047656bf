#include "kit/panel/PanelGeometry.h"

#include "platform/SorvaneLog.h"

namespace sorvane::PanelGeometry {

namespace {
constexpr double kCandidateCaretGap = 4;
constexpr double kFallbackCaretHeight = 18;
}  // namespace

Rect visibleFrame(Point around, const ScreenProvider& screens) {
    for (const ScreenDescription& screen : screens.screens()) {
        if (screen.frame.contains(around)) return screen.visibleFrame;
    }
    if (auto main = screens.mainScreen()) return main->visibleFrame;
    return fallbackVisibleFrame;
}

Rect caretOrMouse(Rect caret, const ScreenProvider& screens) {
    if (!caret.isAllZero()) return caret;
    SorvaneLog::log("[Sorvane] caret rect was zero — falling back to mouse location");
    const Point mouse = screens.mouseLocation();
    return {mouse.x, mouse.y - kFallbackCaretHeight, 1, kFallbackCaretHeight};
}

Rect candidatePanelFrame(Rect caret, Size panel, const ScreenProvider& screens) {
    const Rect v = visibleFrame(caret.origin(), screens);
    double x = caret.minX();
    double y = caret.minY() - kCandidateCaretGap - panel.height;
    if (y < v.minY()) y = caret.maxY() + kCandidateCaretGap;
    if (x + panel.width > v.maxX()) x = v.maxX() - panel.width;
    if (x < v.minX()) x = v.minX();
    if (y + panel.height > v.maxY()) y = v.maxY() - panel.height;
    if (y < v.minY()) y = v.minY();
    return {x, y, panel.width, panel.height};
}

Rect modeTileFrame(Rect caret, Size tile, double caretGap, const ScreenProvider& screens) {
    const Rect v = visibleFrame(caret.origin(), screens);
    double x = caret.minX();
    double y = caret.minY() - caretGap - tile.height;
    if (y < v.minY()) y = caret.maxY() + caretGap;
    y = std::min(v.maxY() - tile.height, std::max(y, v.minY()));
    x = std::min(v.maxX() - tile.width, std::max(x, v.minX()));
    return {x, y, tile.width, tile.height};
}

}  // namespace sorvane::PanelGeometry
