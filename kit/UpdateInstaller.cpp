#include "kit/UpdateInstaller.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "kit/SorvaneLog.h"
#include "platform/ChildProcessRunner.h"

extern char** environ;

namespace sorvane {
namespace {

#ifndef SORVANE_INSTALLER_COMMAND
#define SORVANE_INSTALLER_COMMAND ""
#endif

// The installer is the user's to finish; only a runaway is ever ended.
constexpr std::chrono::hours installerLifetime{24};

std::vector<std::string> currentEnvironment() {
    std::vector<std::string> variables;
    for (char** entry = environ; entry && *entry; ++entry) variables.emplace_back(*entry);
    return variables;
}

}  // namespace

std::optional<std::filesystem::path> CommandInstaller::installerAppURL() const {
    const std::filesystem::path command = SORVANE_INSTALLER_COMMAND;
    std::error_code error;
    if (command.empty() || !command.is_absolute() || !std::filesystem::is_regular_file(command, error))
        return std::nullopt;
    return command;
}

void CommandInstaller::open(const std::filesystem::path& installer, const std::filesystem::path& package,
                            Opened opened) {
    // The runner tells of a failed start only once the child is over, which
    // for an installer is when the user closes it; what makes a start fail
    // (missing or not executable) is asked first.
    if (::access(installer.c_str(), X_OK) != 0) {
        const int code = errno;
        opened(std::string(std::strerror(code)) + " (" + installer.string() + ")");
        return;
    }
    ChildProcessRequest request;
    request.executable = installer;
    request.arguments = {package.string()};
    // A desktop program needs the session's display and bus.
    request.environment = currentEnvironment();
    request.timeout = installerLifetime;
    std::thread([request] {
        const auto outcome = ChildProcessRunner::run(request);
        if (outcome.kind == ChildProcessOutcome::Kind::launchFailed)
            SorvaneLog::log("[Sorvane] update: installer did not start: " + outcome.failure);
    }).detach();
    opened(std::nullopt);
}

CommandInstaller& CommandInstaller::shared() {
    static CommandInstaller installer;
    return installer;
}

}  // namespace sorvane
