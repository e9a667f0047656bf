#pragma once
// The current user's running processes of one application bundle, found
// through /proc: a process counts when its executable lies inside a bundle
// whose Info.plist names the given bundle identifier. Another user's
// processes, this process itself and programs that merely share the
// executable's name never count.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace sorvane::RunningProcesses {

std::vector<pid_t> ofBundle(const std::string& bundleIdentifier,
                            const std::filesystem::path& procRoot = "/proc");

}  // namespace sorvane::RunningProcesses
