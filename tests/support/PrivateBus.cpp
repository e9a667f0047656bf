#include "tests/support/PrivateBus.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace sorvane::testing {

PrivateBus::PrivateBus() {
    if (const char* previous = std::getenv("DBUS_SESSION_BUS_ADDRESS")) previousAddress_ = previous;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    const std::string printAddress = "--print-address=3";
    // A socket in a folder of its own rather than the session default's
    // abstract one, which a child in another network namespace cannot reach.
    char folder[] = "/tmp/sorvane-bus-XXXXXX";
    if (::mkdtemp(folder)) socketFolder_ = folder;
    const std::string listen = "--address=unix:dir=" + socketFolder_;
    char* argv[] = {const_cast<char*>("dbus-daemon"),
                    const_cast<char*>("--session"),
                    const_cast<char*>("--nofork"),
                    const_cast<char*>(printAddress.c_str()),
                    socketFolder_.empty() ? nullptr : const_cast<char*>(listen.c_str()),
                    nullptr};
    // What the bus starts for a test (the keyring, its password prompt) sees
    // no display: on a desktop the prompt would open there and wait for a
    // person, and the test with it.
    std::vector<char*> environment;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        if (!entry.starts_with("DISPLAY=") && !entry.starts_with("WAYLAND_DISPLAY="))
            environment.push_back(*e);
    }
    environment.push_back(nullptr);
    const int rc = posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr, argv, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        pid_ = -1;
        close(fds[0]);
        return;
    }
    std::string line;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') line += c;
    close(fds[0]);
    address_ = line;
    if (!address_.empty()) setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

PrivateBus::~PrivateBus() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (!socketFolder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(socketFolder_, ec);
    }
    if (previousAddress_) {
        setenv("DBUS_SESSION_BUS_ADDRESS", previousAddress_->c_str(), 1);
    } else {
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
}

}  // namespace sorvane::testing
