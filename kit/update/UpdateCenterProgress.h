#pragma once
// Prints an update check's events for `--check-update`, one line (or a few)
// per event, and a download's progress at most once per tenth of it, the
// first at 0 %. The events come from the check's task and from the
// transfer, so the lock keeps lines whole and in order.
#include <cstdint>
#include <mutex>
#include <ostream>

#include "kit/update/UpdateEvent.h"

namespace sorvane::UpdateCenter {

class CLIProgressPrinter {
public:
    explicit CLIProgressPrinter(std::ostream& out) : out_(out) {}
    void handle(const UpdateEvent& event);

private:
    std::ostream& out_;
    std::mutex lock_;
    std::int64_t lastDecile_ = -1;
};

}  // namespace sorvane::UpdateCenter
