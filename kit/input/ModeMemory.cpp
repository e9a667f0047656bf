#include "kit/input/ModeMemory.h"

namespace sorvane {

InputMode ModeMemory::mode(const std::optional<std::string>& bundleId) const {
    if (!bundleId) return InputMode::chinese;
    const auto it = modeByApp_.find(*bundleId);
    return it == modeByApp_.end() ? InputMode::chinese : it->second;
}

void ModeMemory::remember(const std::string& bundleId, InputMode mode) {
    modeByApp_[bundleId] = mode;
}

}  // namespace sorvane
