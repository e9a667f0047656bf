#pragma once
// Runs the system's package utility for the package checks. The child sees
// exactly LANG=C, LC_ALL=C and a fixed PATH, so its report is in the
// English that the signature policy reads. Where the utility does not exist
// (Linux) every run is `launchFailed`, and the checks refuse the package.
// Blocks the calling thread (a background task) for the length of the run.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/process/ChildProcessRunner.h"

namespace sorvane::PkgutilRunner {

inline constexpr const char* liveExecutable = "/usr/sbin/pkgutil";

// exited (status, output), launchFailed (why), or timedOut (output dropped).
using Outcome = ChildProcessOutcome;

Outcome run(const std::vector<std::string>& arguments, double timeoutSeconds,
            const std::filesystem::path& executable = liveExecutable);

}  // namespace sorvane::PkgutilRunner
