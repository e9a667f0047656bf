#pragma once
// The input mode each client application was last left in. The server keeps
// one for its life (never written to disk), in its controllers' environment.
// Main thread only.
#include <map>
#include <optional>
#include <string>

#include "kit/input/InputMode.h"

namespace sorvane {

class ModeMemory {
public:
    // The remembered mode, or chinese for an absent or unknown bundle id.
    InputMode mode(const std::optional<std::string>& bundleId) const;
    void remember(const std::string& bundleId, InputMode mode);

private:
    std::map<std::string, InputMode> modeByApp_;
};

}  // namespace sorvane
