#include "kit/ModeMemory.h"

#include <map>

namespace sorvane::ModeMemory {
namespace {

std::map<std::string, InputMode>& modeByApp() {
    static std::map<std::string, InputMode> modes;
    return modes;
}

}  // namespace

InputMode mode(const std::optional<std::string>& bundleId) {
    if (!bundleId) return InputMode::chinese;
    const auto& modes = modeByApp();
    const auto it = modes.find(*bundleId);
    return it == modes.end() ? InputMode::chinese : it->second;
}

void remember(const std::string& bundleId, InputMode mode) {
    modeByApp()[bundleId] = mode;
}

void forgetAll() {
    modeByApp().clear();
}

}  // namespace sorvane::ModeMemory
