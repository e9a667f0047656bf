#pragma once
// The input method's menu in the system's input menu: one item that opens
// the settings window. It names no target, so the action goes to the input
// controller that shows the menu.
#include <vector>

#include "platform/imk/IMKInputController.h"

namespace sorvane::SettingsMenu {

inline constexpr const char* openSettingsAction = "openSettings:";

// A new menu each time it is asked for.
std::vector<MenuItem> make();

}  // namespace sorvane::SettingsMenu
