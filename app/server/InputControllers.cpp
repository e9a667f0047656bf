#include "app/server/InputControllers.h"

#include "app/server/SorvaneInputController.h"

namespace sorvane::InputControllers {

IMKServer::ControllerFactory factory() {
    return [](IMKServer* server, InputClient& client) -> std::unique_ptr<IMKInputController> {
        return std::make_unique<SorvaneInputController>(server, &client);
    };
}

}  // namespace sorvane::InputControllers
