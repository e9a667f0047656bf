#include "platform/files/FileMove.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace sorvane::FileMove {
namespace {

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

Expected<void, FileError> copyThenRemove(const std::filesystem::path& from, const std::filesystem::path& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) return unexpected(Files::errorFromErrno(errno, from));
    // The copy is born with the source's mode, as a rename would keep it: a
    // private file is never readable by others, not even while it is copied.
    struct stat source {};
    if (::fstat(in, &source) != 0) {
        const int code = errno;
        ::close(in);
        return unexpected(Files::errorFromErrno(code, from));
    }
    const int out =
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, source.st_mode & 0777);
    if (out < 0) {
        const int code = errno;
        ::close(in);
        return unexpected(Files::errorFromErrno(code, to));
    }
    auto fail = [&](int code, const std::filesystem::path& at) -> Expected<void, FileError> {
        ::close(in);
        ::close(out);
        ::unlink(to.c_str());
        return unexpected(Files::errorFromErrno(code, at));
    };
    static constexpr std::size_t blockSize = 1 << 20;
    std::unique_ptr<char[]> buffer(new char[blockSize]);
    for (;;) {
        const ssize_t n = ::read(in, buffer.get(), blockSize);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno, from);
        }
        if (!writeAll(out, buffer.get(), static_cast<std::size_t>(n))) return fail(errno, to);
    }
    if (::fsync(out) != 0) return fail(errno, to);
    ::close(in);
    if (::close(out) != 0) {
        const int code = errno;
        ::unlink(to.c_str());
        return unexpected(Files::errorFromErrno(code, to));
    }
    ::unlink(from.c_str());
    return {};
}

}  // namespace

Expected<void, FileError> move(const std::filesystem::path& from, const std::filesystem::path& to,
                               const Rename& rename) {
    const int result = rename ? rename(from.c_str(), to.c_str()) : ::rename(from.c_str(), to.c_str());
    if (result == 0) return {};
    const int code = errno;
    if (code != EXDEV) return unexpected(Files::errorFromErrno(code, to));
    return copyThenRemove(from, to);
}

}  // namespace sorvane::FileMove
