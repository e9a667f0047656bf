#pragma once
// Runs a program for an end-to-end test: extra environment, standard output
// and error captured to files, a deadline, signals.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sorvane::testing {

class ChildProcess {
public:
    // The child inherits this process's environment with `env` on top.
    ChildProcess(std::string program, std::vector<std::string> arguments,
                 std::map<std::string, std::string> env = {});
    ~ChildProcess();  // kills a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void signal(int signal) const;
    // The exit status, or none when the child is still running at the
    // deadline (or was killed by a signal: -signal).
    std::optional<int> wait(std::chrono::milliseconds deadline);
    // Waits until standard error contains `text`.
    bool waitForStderr(const std::string& text, std::chrono::milliseconds deadline) const;

    std::string out() const;
    std::string err() const;

    // Runs to the end (or the deadline, then kills).
    struct Result {
        std::optional<int> status;
        std::string out;
        std::string err;
    };
    static Result run(std::string program, std::vector<std::string> arguments,
                      std::map<std::string, std::string> env = {},
                      std::chrono::milliseconds deadline = std::chrono::seconds(60));

private:
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

}  // namespace sorvane::testing
