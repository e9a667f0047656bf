#pragma once
// Owns one file descriptor and closes it when it goes, on every way out of a
// scope, a thrown exception included.
#include <unistd.h>

#include <cerrno>

namespace sorvane {

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

    // Closes it now, for a writer that must learn whether the data landed:
    // 0, or the errno of the close. The descriptor is gone either way.
    int close() {
        const int fd = fd_;
        fd_ = -1;
        if (fd < 0 || ::close(fd) == 0) return 0;
        return errno;
    }

private:
    int fd_;
};

}  // namespace sorvane
