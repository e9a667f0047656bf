#include "platform/process/ChildSpawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

extern char** environ;

namespace sorvane::ChildSpawn {

namespace {

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (auto& text : texts) out.push_back(text.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

Started spawn(const std::string& executable, std::vector<std::string> arguments,
              std::vector<std::string> environment, const Options& options) {
    auto argv = pointers(arguments);
    auto envp = pointers(environment);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.outputFd) {
        // Output first: a pipe that happens to be descriptor 0 must reach 1
        // and 2 before /dev/null takes its place.
        posix_spawn_file_actions_adddup2(&actions, *options.outputFd, 1);
        posix_spawn_file_actions_adddup2(&actions, *options.outputFd, 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    // Descriptors opened by other threads without O_CLOEXEC must not leak in.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t empty;
    sigemptyset(&empty);
    posix_spawnattr_setsigmask(&attributes, &empty);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.ownProcessGroup) {
        posix_spawnattr_setpgroup(&attributes, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attributes, flags);

    Started started;
    started.error =
        posix_spawn(&started.pid, executable.c_str(), &actions, &attributes, argv.data(), envp.data());
    if (started.error != 0) started.pid = 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return started;
}

std::vector<std::string> currentEnvironment() {
    std::vector<std::string> out;
    for (char** entry = environ; entry && *entry; ++entry) out.emplace_back(*entry);
    return out;
}

}  // namespace sorvane::ChildSpawn
