#pragma once
// Which controller a new client session gets.
#include "platform/imk/IMKServer.h"

namespace sorvane::InputControllers {

// Until the input controller is built, every session gets the framework's
// base controller, which consumes nothing: keys pass through to the
// application.
IMKServer::ControllerFactory factory();

}  // namespace sorvane::InputControllers
