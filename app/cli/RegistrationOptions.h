#pragma once
// The command-line options of the installer and the uninstaller, and the
// developers' queries of the input source: --install/--register, --enable,
// --disable, --select, --restore <id>, --current, --status, --list,
// --ensure-enabled, --remove-enabled.
#include <optional>
#include <string>
#include <vector>

#include "kit/registration/InputSourceRegistrar.h"

namespace sorvane::RegistrationOptions {

// The option's exit status, or none when `option` is none of the above.
// Result lines go to standard output, the registrar's diagnostics and usage
// errors to standard error.
std::optional<int> run(const std::string& option, const std::vector<std::string>& rest);

// The registrar over the live registry and preferences of the current HOME,
// the system's version and the process's run loop.
InputSourceRegistrar liveRegistrar();

}  // namespace sorvane::RegistrationOptions
