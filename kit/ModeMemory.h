#pragma once
// The input mode each client application was last left in, for the life of
// the server process (never written to disk). Main thread only.
#include <optional>
#include <string>

#include "kit/InputMode.h"

namespace sorvane::ModeMemory {

// The remembered mode, or chinese for an absent or unknown bundle id.
InputMode mode(const std::optional<std::string>& bundleId);
void remember(const std::string& bundleId, InputMode mode);
// Forgets every application, as a fresh server process starts.
void forgetAll();

}  // namespace sorvane::ModeMemory
