#include "platform/ChildProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/Text.h"

namespace sorvane::ChildProcessRunner {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (auto& text : texts) out.push_back(text.data());
    out.push_back(nullptr);
    return out;
}

// posix_spawn with the child's whole world spelled out. Returns the errno.
int spawn(const ChildProcessRequest& request, int outputFd, pid_t& pid) {
    std::vector<std::string> argvTexts{request.executable.string()};
    argvTexts.insert(argvTexts.end(), request.arguments.begin(), request.arguments.end());
    std::vector<std::string> envTexts = request.environment;
    auto argv = pointers(argvTexts);
    auto envp = pointers(envTexts);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    posix_spawn_file_actions_adddup2(&actions, outputFd, 2);
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
    // Its own group, so the deadline reaches whatever it starts in turn.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    const int error =
        posix_spawn(&pid, request.executable.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

enum class Reap { running, reaped, lost };

// Reaps the child if it has ended. `lost` when someone else collected it
// (SIGCHLD ignored by the process): its status is then unknown.
Reap tryReap(pid_t pid, int& status) {
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return Reap::reaped;
        if (r == 0) return Reap::running;
        if (errno != EINTR) return Reap::lost;
    }
}

void reapBlocking(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Ends the whole group: SIGTERM, a grace to exit cleanly, then SIGKILL.
// The leader is reaped before returning.
void terminateGroup(pid_t pid, milliseconds grace) {
    ::kill(-pid, SIGTERM);
    const auto until = Clock::now() + grace;
    int status = 0;
    bool leaderReaped = false;
    while (Clock::now() < until) {
        if (tryReap(pid, status) != Reap::running) {
            leaderReaped = true;
            break;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    // Members that outlived the leader, or a leader that ignored SIGTERM.
    ::kill(-pid, SIGKILL);
    if (!leaderReaped) reapBlocking(pid);
}

int pollTimeout(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<long long>(left, 1000)) + 1;
}

}  // namespace

ChildProcessOutcome run(const ChildProcessRequest& request) {
    ChildProcessOutcome outcome;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        outcome.failure = std::strerror(errno);
        return outcome;
    }
    Descriptor readEnd(fds[0]);
    Descriptor writeEnd(fds[1]);

    pid_t pid = 0;
    if (const int error = spawn(request, writeEnd.get(), pid); error != 0) {
        outcome.failure = std::string(std::strerror(error)) + " (" + request.executable.string() + ")";
        return outcome;
    }
    // Only the child may hold the write end, or the output would never end.
    writeEnd.reset();

    const auto deadline = Clock::now() + request.timeout;
    std::string output;
    char buffer[65536];
    bool ended = false;
    while (!ended) {
        pollfd entry{readEnd.get(), POLLIN, 0};
        const int ready = ::poll(&entry, 1, pollTimeout(deadline));
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
            if (n > 0) {
                const auto room = request.outputLimit - std::min(request.outputLimit, output.size());
                output.append(buffer, std::min(room, static_cast<std::size_t>(n)));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                ended = true;
            }
        }
        if (!ended && Clock::now() >= deadline) break;
    }

    int status = 0;
    Reap reap = Reap::running;
    if (ended) {
        while ((reap = tryReap(pid, status)) == Reap::running && Clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(2));
    }
    if (reap == Reap::running) {
        terminateGroup(pid, request.terminationGrace);
        outcome.kind = ChildProcessOutcome::Kind::timedOut;
        return outcome;
    }
    if (reap == Reap::lost) {
        // Never guess a status: a lost one must not pass as success.
        outcome.failure = "the child's exit status was collected elsewhere";
        return outcome;
    }

    outcome.kind = ChildProcessOutcome::Kind::exited;
    outcome.status = WIFEXITED(status)     ? WEXITSTATUS(status)
                     : WIFSIGNALED(status) ? WTERMSIG(status)
                                           : status;
    outcome.output = Text::sanitizedUtf8(output);
    return outcome;
}

}  // namespace sorvane::ChildProcessRunner
