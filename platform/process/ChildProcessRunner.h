#pragma once
// Runs one program to its end under a deadline and hands back what it wrote.
// Used for system tools whose report the caller parses (the package utility
// of the updater, the command line's checks).
//
// The child gets only what the request names: the given environment and
// nothing inherited, standard input from /dev/null, standard output and
// standard error into one pipe (interleaved as written), no other open
// descriptor, a clean signal mask, and a process group of its own. The pipe
// is drained while the child runs, so a child that writes more than a pipe's
// buffer never blocks. At the deadline the whole group gets SIGTERM and,
// after a short grace, SIGKILL; the child is always reaped, so nothing is
// left running or as a zombie.
//
// Blocking: run() occupies the calling thread for the length of the run and
// keeps no state; it may be called from any thread, several at once.
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace sorvane {

struct ChildProcessRequest {
    std::filesystem::path executable;      // absolute; no PATH search
    std::vector<std::string> arguments;    // after the program name
    std::vector<std::string> environment;  // "NAME=value", the whole environment
    std::chrono::milliseconds timeout{0};
    // Between SIGTERM and SIGKILL once the deadline has passed.
    std::chrono::milliseconds terminationGrace{500};
    // Output past this many bytes is drained and dropped.
    std::size_t outputLimit = 16 * 1024 * 1024;
};

struct ChildProcessOutcome {
    enum class Kind { exited, launchFailed, timedOut };
    Kind kind = Kind::launchFailed;
    // exited: the exit code, or the signal number when a signal ended it.
    int status = 0;
    // exited: standard output and error as UTF-8, each invalid byte
    // sequence replaced by U+FFFD.
    std::string output;
    // launchFailed: why the program could not be started.
    std::string failure;
};

namespace ChildProcessRunner {

ChildProcessOutcome run(const ChildProcessRequest& request);

}  // namespace ChildProcessRunner
}  // namespace sorvane
