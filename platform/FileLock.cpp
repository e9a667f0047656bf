#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
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
    // flock has no time-out of its own: poll, backing off to 50 ms.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::milliseconds(1);
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        if (code == EINTR) continue;
        const auto now = std::chrono::steady_clock::now();
        if (code != EWOULDBLOCK || now >= deadline) {
            heldElsewhere_ = code == EWOULDBLOCK;
            error_ = Files::errorFromErrno(code, path);
            if (code == EWOULDBLOCK) error_.message = "Lock held by another writer for too long (" + path.string() + ")";
            ::close(fd_);
            fd_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace sorvane
