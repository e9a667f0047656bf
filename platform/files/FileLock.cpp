#include "platform/files/FileLock.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

// glibc before 2.41 leaves the field's documented name undefined.
#ifndef sigev_notify_thread_id
#define sigev_notify_thread_id _sigev_un._tid
#endif

namespace sorvane {

FileLock::FileLock(const std::filesystem::path& path, std::chrono::milliseconds wait) {
    if (auto made = Files::createDirectories(path.parent_path()); !made) {
        error_ = made.error();
        return;
    }
    fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    int openError = errno;
    // A lock file made by another user can still be locked through a read-only descriptor.
    // When there is none (a folder we may not write to), the first refusal is the reason.
    if (!fd_.valid() && openError == EACCES) {
        fd_.reset(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd_.valid() && errno != ENOENT) openError = errno;
    }
    if (!fd_.valid()) {
        error_ = Files::errorFromErrno(openError, path);
        return;
    }
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) return;
    int code = errno;
    if ((code == EWOULDBLOCK || code == EINTR) && wait.count() > 0)
        code = waitInKernel(std::chrono::steady_clock::now() + wait);
    if (code == 0) return;
    heldElsewhere_ = code == EWOULDBLOCK;
    error_ = Files::errorFromErrno(code, path);
    if (code == EWOULDBLOCK)
        error_.message = "Lock held by another writer for too long (" + path.string() + ")";
    fd_.reset();
}

namespace {

// Ends a waiting flock: a real-time signal that nothing else here uses, sent
// to the waiting thread alone and handled without SA_RESTART, so that the
// call returns EINTR.
int interruptSignal() {
    return SIGRTMIN + 5;
}

void installInterruptHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        ::sigaction(interruptSignal(), &action, nullptr);
    });
}

// Signals the calling thread at the deadline and then every tick, so that a
// signal that lands just before the thread enters flock is followed by one
// that finds it inside. The signal is unblocked in this thread meanwhile.
class DeadlineAlarm {
public:
    explicit DeadlineAlarm(std::chrono::steady_clock::time_point deadline) {
        installInterruptHandler();
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = interruptSignal();
        event.sigev_notify_thread_id = ::gettid();
        if (::timer_create(CLOCK_MONOTONIC, &event, &timer_) != 0) return;
        armed_ = true;
        sigset_t interrupt;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, interruptSignal());
        ::pthread_sigmask(SIG_UNBLOCK, &interrupt, &previousMask_);
        itimerspec when{};
        when.it_value =
            timespecOf(std::max(deadline - std::chrono::steady_clock::now(),
                                std::chrono::steady_clock::duration(std::chrono::microseconds(1))));
        when.it_interval = timespecOf(tick);
        ::timer_settime(timer_, 0, &when, nullptr);
    }
    ~DeadlineAlarm() {
        if (!armed_) return;
        // Deleted while the signal is still unblocked: one in flight is taken
        // here by the empty handler, never by a later call of this thread.
        ::timer_delete(timer_);
        ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    }
    DeadlineAlarm(const DeadlineAlarm&) = delete;
    DeadlineAlarm& operator=(const DeadlineAlarm&) = delete;

    bool armed() const { return armed_; }

private:
    static constexpr std::chrono::milliseconds tick{10};

    static timespec timespecOf(std::chrono::steady_clock::duration d) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(d);
        return timespec{static_cast<time_t>(seconds.count()),
                        static_cast<long>(std::chrono::nanoseconds(d - seconds).count())};
    }

    timer_t timer_{};
    bool armed_ = false;
    sigset_t previousMask_{};
};

}  // namespace

// flock has no time-out of its own, and a poller loses every race to a
// writer that locks again straight after letting go: the lock goes to
// whoever asks first once it is free. So the wait happens in the kernel,
// where a released lock reaches the waiter at once, and a timer signal ends
// it at the deadline; nothing outlives the call.
int FileLock::waitInKernel(std::chrono::steady_clock::time_point deadline) {
    const DeadlineAlarm alarm(deadline);
    // Without a timer nothing would end the wait: fail rather than block.
    if (!alarm.armed()) return ENOLCK;
    for (;;) {
        if (::flock(fd_.get(), LOCK_EX) == 0) return 0;
        if (errno != EINTR) return errno;
        if (std::chrono::steady_clock::now() >= deadline) return EWOULDBLOCK;
    }
}

}  // namespace sorvane
