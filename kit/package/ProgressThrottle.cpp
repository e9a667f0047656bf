#include "kit/package/ProgressThrottle.h"

#include <algorithm>

namespace sorvane {

std::optional<UpdatePanelPhase> ProgressThrottle::phase(const UpdateEvent& event) {
    std::lock_guard guard(lock_);
    switch (event.kind) {
        case UpdateEvent::Kind::verifying:
            return UpdatePanelPhase::verifying();
        case UpdateEvent::Kind::downloading: {
            const std::int64_t percent = event.total >= 1 ? event.received * 100 / event.total : 0;
            if (percent == lastPercent_) return std::nullopt;
            lastPercent_ = percent;
            return UpdatePanelPhase::downloading(std::min(static_cast<double>(percent) / 100.0, 1.0));
        }
        default:
            return std::nullopt;
    }
}

}  // namespace sorvane
