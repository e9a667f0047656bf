#include "app/settings/SettingsMenu.h"

namespace sorvane::SettingsMenu {

std::vector<MenuItem> make() {
    return {MenuItem{"设置…", openSettingsAction, ""}};
}

}  // namespace sorvane::SettingsMenu
