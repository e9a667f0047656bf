#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace sorvane {

FileLock::FileLock(const std::filesystem::path& path, std::chrono::milliseconds wait) {
    if (auto made = Files::createDirectories(path.parent_path()); !made) {
        error_ = made.error();
        return;
    }
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    int openError = errno;
    // A lock file made by another user can still be locked through a read-only descriptor.
    // When there is none (a folder we may not write to), the first refusal is the reason.
    if (fd_ < 0 && openError == EACCES) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd_ < 0 && errno != ENOENT) openError = errno;
    }
    if (fd_ < 0) {
        error_ = Files::errorFromErrno(openError, path);
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
    int code = errno;
    if ((code == EWOULDBLOCK || code == EINTR) && wait.count() > 0)
        code = waitInKernel(std::chrono::steady_clock::now() + wait);
    if (code == 0) return;
    heldElsewhere_ = code == EWOULDBLOCK;
    error_ = Files::errorFromErrno(code, path);
    if (code == EWOULDBLOCK)
        error_.message = "Lock held by another writer for too long (" + path.string() + ")";
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

// flock has no time-out of its own, and a poller loses every race to a
// writer that locks again straight after letting go: the lock goes to
// whoever asks first once it is free. So the wait happens in the kernel, on a
// thread of its own, where a released lock reaches the waiter at once; we
// wait for that thread until the deadline. Past it the thread is left to
// close the descriptor, and with it the lock, whenever it gets it.
int FileLock::waitInKernel(std::chrono::steady_clock::time_point deadline) {
    struct Wait {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<int> result;  // 0 or the errno
        bool abandoned = false;
    };
    auto shared = std::make_shared<Wait>();
    const int fd = fd_;
    std::thread([shared, fd] {
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        const int code = rc == 0 ? 0 : errno;
        std::lock_guard lock(shared->mutex);
        if (shared->abandoned) {
            ::close(fd);
            return;
        }
        shared->result = code;
        shared->done.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    if (shared->done.wait_until(lock, deadline, [&] { return shared->result.has_value(); }))
        return *shared->result;
    shared->abandoned = true;
    fd_ = -1;  // the waiting thread owns it now
    return EWOULDBLOCK;
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace sorvane
