#pragma once
// Turns a check's events into the phases the update section shows, at most
// one per whole percent of a download however many blocks arrive. Made anew
// for each check and shared by its event callbacks, which come from the
// check's task and from the transfer: the lock serialises them.
#include <mutex>
#include <optional>

#include "kit/update/UpdateEvent.h"
#include "kit/update/UpdatePanelPhase.h"

namespace sorvane {

class ProgressThrottle {
public:
    std::optional<UpdatePanelPhase> phase(const UpdateEvent& event);

private:
    std::mutex lock_;
    std::int64_t lastPercent_ = -1;
};

}  // namespace sorvane
