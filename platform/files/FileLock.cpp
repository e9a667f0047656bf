#include "platform/files/FileLock.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>

// glibc before 2.41 leaves the field's documented name undefined.
#ifndef sigev_notify_thread_id
#define sigev_notify_thread_id _sigev_un._tid
#endif

namespace sorvane {
namespace {

// Whoever owns the lock file can hold it open, and with it the lock, for as
// long as they like: only a regular file of this user's is ours.
std::optional<FileError> refusalOf(int fd, const std::filesystem::path& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return Files::errorFromErrno(errno, path);
    FileError error;
    if (!S_ISREG(st.st_mode)) {
        error.kind = FileError::Kind::notRegular;
        error.message = "Lock file not a regular file (" + path.string() + ")";
    } else if (st.st_uid != ::geteuid()) {
        error = Files::errorFromErrno(EPERM, path);
        error.message = "Lock file not owned by this user (" + path.string() + ")";
    } else {
        return std::nullopt;
    }
    return error;
}

// Ends a waiting flock: a real-time signal that nothing else here uses, sent
// to the waiting thread alone and handled without SA_RESTART, so that the
// call returns EINTR.
int interruptSignal() {
    return SIGRTMIN + 5;
}

void interrupted(int) {}

// Whether the signal ends a wait now. Someone else may have claimed it since
// the last wait: their default action would end the process, their SIG_IGN
// or SA_RESTART would leave flock waiting for ever. Seen at each wait, since
// nothing tells us of a change. Nobody's signal becomes ours.
bool interruptHandled() {
    struct sigaction current {};
    if (::sigaction(interruptSignal(), nullptr, &current) != 0) return false;
    if (current.sa_flags & SA_SIGINFO) return false;
    if (current.sa_handler == interrupted) return (current.sa_flags & SA_RESTART) == 0;
    if (current.sa_handler != SIG_DFL) return false;
    struct sigaction action {};
    action.sa_handler = interrupted;
    sigemptyset(&action.sa_mask);
    return ::sigaction(interruptSignal(), &action, nullptr) == 0;
}

// Signals the calling thread at the deadline and then every tick, so that a
// signal that lands just before the thread enters flock is followed by one
// that finds it inside. The signal is unblocked in this thread meanwhile.
class DeadlineAlarm {
public:
    explicit DeadlineAlarm(std::chrono::steady_clock::time_point deadline) {
        if (!interruptHandled()) {
            failure_ = "signal " + std::to_string(interruptSignal()) + " is handled elsewhere";
            return;
        }
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = interruptSignal();
        event.sigev_notify_thread_id = ::gettid();
        if (::timer_create(CLOCK_MONOTONIC, &event, &timer_) != 0) {
            failure_ = "no timer";
            return;
        }
        created_ = true;
        sigset_t interrupt;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, interruptSignal());
        ::pthread_sigmask(SIG_UNBLOCK, &interrupt, &previousMask_);
        itimerspec when{};
        when.it_value =
            timespecOf(std::max(deadline - std::chrono::steady_clock::now(),
                                std::chrono::steady_clock::duration(std::chrono::microseconds(1))));
        when.it_interval = timespecOf(tick);
        if (::timer_settime(timer_, 0, &when, nullptr) != 0) failure_ = "timer not set";
    }
    ~DeadlineAlarm() {
        if (!created_) return;
        // Deleted while the signal is still unblocked: one in flight is taken
        // here by the empty handler, never by a later call of this thread.
        ::timer_delete(timer_);
        ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    }
    DeadlineAlarm(const DeadlineAlarm&) = delete;
    DeadlineAlarm& operator=(const DeadlineAlarm&) = delete;

    // Why nothing would end a wait; empty when the alarm is set.
    const std::string& failure() const { return failure_; }

private:
    static constexpr std::chrono::milliseconds tick{10};

    static timespec timespecOf(std::chrono::steady_clock::duration d) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(d);
        return timespec{static_cast<time_t>(seconds.count()),
                        static_cast<long>(std::chrono::nanoseconds(d - seconds).count())};
    }

    timer_t timer_{};
    bool created_ = false;
    sigset_t previousMask_{};
    std::string failure_;
};

// flock has no time-out of its own, and a poller loses every race to a
// writer that locks again straight after letting go: the lock goes to
// whoever asks first once it is free. So the wait happens in the kernel,
// where a released lock reaches the waiter at once, and a timer signal ends
// it at the deadline; nothing outlives the call. 0 once the lock is held,
// else the errno: EWOULDBLOCK past the deadline, ENOLCK with `unbounded`
// saying why when nothing could end the wait.
int waitInKernel(int fd, std::chrono::steady_clock::time_point deadline, std::string& unbounded) {
    const DeadlineAlarm alarm(deadline);
    if (!alarm.failure().empty()) {
        unbounded = alarm.failure();
        return ENOLCK;
    }
    for (;;) {
        if (::flock(fd, LOCK_EX) == 0) return 0;
        if (errno != EINTR) return errno;
        if (std::chrono::steady_clock::now() >= deadline) return EWOULDBLOCK;
    }
}

}  // namespace

FileLock::FileLock(const std::filesystem::path& path, std::chrono::milliseconds wait) {
    if (auto made = Files::createDirectories(path.parent_path()); !made) {
        error_ = made.error();
        return;
    }
    // O_NONBLOCK: a FIFO planted in its place must not hang the open; flock
    // does not heed it.
    fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    if (!fd_.valid()) {
        error_ = Files::errorFromErrno(errno, path);
        return;
    }
    if (auto refused = refusalOf(fd_.get(), path)) {
        error_ = std::move(*refused);
        fd_.reset();
        return;
    }
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) return;
    int code = errno;
    std::string unbounded;
    if ((code == EWOULDBLOCK || code == EINTR) && wait.count() > 0)
        code = waitInKernel(fd_.get(), std::chrono::steady_clock::now() + wait, unbounded);
    if (code == 0) return;
    heldElsewhere_ = code == EWOULDBLOCK;
    error_ = Files::errorFromErrno(code, path);
    if (code == EWOULDBLOCK)
        error_.message = "Lock held by another writer for too long (" + path.string() + ")";
    else if (!unbounded.empty())
        error_.message = "Lock not waited for: " + unbounded + " (" + path.string() + ")";
    fd_.reset();
}

}  // namespace sorvane
