#pragma once
// Starting a child process of ours: posix_spawn with a clean signal mask,
// every signal at its default action and no descriptor past the standard
// three, whatever other threads have open.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace sorvane::ChildSpawn {

struct Options {
    // Standard input from /dev/null, and standard output and error into
    // `outputFd`; without one the three are inherited.
    std::optional<int> outputFd;
    // A process group of its own, so a signal to the group reaches whatever
    // the child starts in turn.
    bool ownProcessGroup = false;
};

// `arguments` start with the program name. Returns the pid or the errno.
struct Started {
    pid_t pid = 0;
    int error = 0;
};
Started spawn(const std::string& executable, std::vector<std::string> arguments,
              std::vector<std::string> environment, const Options& options);

// This process's environment, as "NAME=value" texts.
std::vector<std::string> currentEnvironment();

}  // namespace sorvane::ChildSpawn
