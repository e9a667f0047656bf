#pragma once
// `--check-update [--current-version X]`: one update check in the
// foreground, printing what it asks, what the feed says, the download's
// progress, the verification and the outcome with the state it left, and
// turning the outcome into the exit status (0 up to date, ready, or usage
// shown; 1 failed; 2 an unknown argument). It never asks anything.
//
// The check runs on a task of its own while the calling thread waits for
// its result without a time limit.
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "kit/update/UpdateCheckError.h"
#include "kit/update/UpdateEnvironment.h"
#include "kit/update/UpdateEvent.h"
#include "platform/Expected.h"
#include "platform/TaskRunner.h"

namespace sorvane::UpdateCenter {

struct CheckCLIServices {
    // The environment for the version given on the command line; none: the
    // bundle's, else "0.0.0".
    std::function<UpdateEnvironment(std::optional<std::string>)> makeEnvironment;
    // The bundle's short version string, when it has one.
    std::optional<std::string> bundleVersion;
    std::function<Expected<UpdateCheckResult, UpdateCheckError>(const UpdateEnvironment&,
                                                                const UpdateEventHandler&)>
        runCheck;
    TaskRunner& tasks;
    std::ostream& out;
    std::ostream& err;
};

// The five lines of `--check-update --help`, without a final line feed.
std::string checkUsage();

int runCheckCLI(const std::vector<std::string>& arguments, const CheckCLIServices& services);

}  // namespace sorvane::UpdateCenter
