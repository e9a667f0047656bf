#pragma once
// What the candidate panel needs of each of its two content views.
#include "platform/Geometry.h"

namespace sorvane {

class PanelContentView {
public:
    virtual ~PanelContentView() = default;
    // The size the view needs for its current model.
    virtual Size desiredContentSize() const = 0;
};

}  // namespace sorvane
