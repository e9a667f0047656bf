#include "platform/imk/IMKInputController.h"

namespace sorvane {

std::uint64_t IMKInputController::recognizedEvents(InputClient*) const {
    return EventMask::keyDown | EventMask::flagsChanged;
}

void IMKInputController::activateServer(InputClient*) {}
void IMKInputController::deactivateServer(InputClient*) {}
bool IMKInputController::handleEvent(const KeyEvent&, InputClient*) {
    return false;
}
void IMKInputController::commitComposition(InputClient*) {}
void IMKInputController::hidePalettes() {}
std::vector<MenuItem> IMKInputController::menu() {
    return {};
}
bool IMKInputController::performMenuAction(const std::string&, InputClient*) {
    return false;
}

}  // namespace sorvane
