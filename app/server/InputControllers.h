#pragma once
// Which controller a new client session gets.
#include "platform/imk/IMKServer.h"

namespace sorvane::InputControllers {

// Every session gets a SorvaneInputController on the process's shared
// environment (engine, panels, prediction service, rhythm model).
IMKServer::ControllerFactory factory();

}  // namespace sorvane::InputControllers
