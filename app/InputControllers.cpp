#include "app/InputControllers.h"

namespace sorvane::InputControllers {

IMKServer::ControllerFactory factory() {
    return [](IMKServer* server, InputClient& client) -> std::unique_ptr<IMKInputController> {
        return std::make_unique<IMKInputController>(server, &client);
    };
}

}  // namespace sorvane::InputControllers
