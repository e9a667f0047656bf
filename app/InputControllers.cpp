#include "app/InputControllers.h"

#include "app/SorvaneInputController.h"

namespace sorvane::InputControllers {

IMKServer::ControllerFactory factory() {
    return [](IMKServer* server, InputClient& client) -> std::unique_ptr<IMKInputController> {
        return std::make_unique<SorvaneInputController>(server, &client);
    };
}

}  // namespace sorvane::InputControllers
