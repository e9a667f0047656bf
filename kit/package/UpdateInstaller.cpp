#include "kit/package/UpdateInstaller.h"

#include <cstring>
#include <thread>

#include "platform/process/ChildSpawn.h"
#include "platform/process/ChildWait.h"

namespace sorvane {
namespace {

#ifndef SORVANE_INSTALLER_COMMAND
#define SORVANE_INSTALLER_COMMAND ""
#endif

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
    // posix_spawn reports a failed exec (missing, not executable, not a
    // program) before it returns, so the user hears of it now and not when
    // the installer would have ended. A desktop program needs the session's
    // display and bus, hence the whole environment.
    const ChildSpawn::Started started = ChildSpawn::spawn(
        installer.string(), {installer.string(), package.string()}, ChildSpawn::currentEnvironment(), {});
    if (started.error != 0) {
        opened(std::string(std::strerror(started.error)) + " (" + installer.string() + ")");
        return;
    }
    // The installer is the user's to finish, however long that takes; it is
    // only reaped so that it leaves no zombie.
    std::thread([pid = started.pid] { ChildWait::waitpid(pid, nullptr, 0); }).detach();
    opened(std::nullopt);
}

CommandInstaller& CommandInstaller::shared() {
    static CommandInstaller installer;
    return installer;
}

}  // namespace sorvane
