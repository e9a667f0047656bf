#pragma once
// The real screens, as the placement code sees them: y-up, origin at the
// bottom left of the primary screen.
#include <QRect>

#include "kit/panel/PanelGeometry.h"

namespace sorvane {

class QtScreenProvider final : public ScreenProvider {
public:
    static const QtScreenProvider& shared();
    std::vector<ScreenDescription> screens() const override;
    std::optional<ScreenDescription> mainScreen() const override;
    Point mouseLocation() const override;

    // The one conversion to Qt's y-down global coordinates.
    static ScreenFlip flip();
    static QRect toQt(const Rect& yUp);
    static Rect fromQt(const QRect& yDown);
};

}  // namespace sorvane
