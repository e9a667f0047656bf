#pragma once
// Owns one file descriptor and closes it when it goes, on every way out of a
// scope, a thrown exception included.
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace sorvane {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

    // Closes the one held, if any, and takes `fd` instead.
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

    // Closes it now, for a writer that must learn whether the data landed:
    // 0, or the errno of the close. The descriptor is gone either way.
    int close() {
        const int fd = std::exchange(fd_, -1);
        if (fd < 0 || ::close(fd) == 0) return 0;
        return errno;
    }

private:
    int fd_ = -1;
};

}  // namespace sorvane
