#include "platform/process/ChildProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/Text.h"
#include "platform/files/UniqueFd.h"
#include "platform/process/ChildSpawn.h"
#include "platform/process/ChildWait.h"

namespace sorvane::ChildProcessRunner {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

enum class Reap { running, reaped, lost };

// Reaps the child if it has ended. `lost` when someone else collected it
// (SIGCHLD ignored by the process): its status is then unknown.
Reap tryReap(pid_t pid, int& status) {
    const pid_t r = ChildWait::waitpid(pid, &status, WNOHANG);
    if (r == pid) return Reap::reaped;
    if (r == 0) return Reap::running;
    return Reap::lost;
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
    if (!leaderReaped) ChildWait::waitpid(pid, &status, 0);
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
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);

    std::vector<std::string> arguments{request.executable.string()};
    arguments.insert(arguments.end(), request.arguments.begin(), request.arguments.end());
    const auto started = ChildSpawn::spawn(request.executable.string(), std::move(arguments),
                                           request.environment, {writeEnd.get(), true});
    if (started.error != 0) {
        outcome.failure =
            std::string(std::strerror(started.error)) + " (" + request.executable.string() + ")";
        return outcome;
    }
    const pid_t pid = started.pid;
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
