#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace sorvane {

FileLock::FileLock(const std::filesystem::path& path, Wait wait) {
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
    const int operation = wait == Wait::tryOnce ? LOCK_EX | LOCK_NB : LOCK_EX;
    while (::flock(fd_, operation) != 0) {
        if (errno == EINTR) continue;
        heldElsewhere_ = errno == EWOULDBLOCK;
        error_ = Files::errorFromErrno(errno, path);
        ::close(fd_);
        fd_ = -1;
        return;
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace sorvane
