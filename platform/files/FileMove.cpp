#include "platform/files/FileMove.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "platform/files/UniqueFd.h"

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
    UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!in.valid()) return unexpected(Files::errorFromErrno(errno, from));
    // The copy is born with the source's mode, as a rename would keep it: a
    // private file is never readable by others, not even while it is copied.
    struct stat source {};
    if (::fstat(in.get(), &source) != 0) return unexpected(Files::errorFromErrno(errno, from));
    UniqueFd out(
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, source.st_mode & 0777));
    if (!out.valid()) return unexpected(Files::errorFromErrno(errno, to));
    auto fail = [&](int code, const std::filesystem::path& at) -> Expected<void, FileError> {
        in.reset();
        out.reset();
        ::unlink(to.c_str());
        return unexpected(Files::errorFromErrno(code, at));
    };
    static constexpr std::size_t blockSize = 1 << 20;
    std::unique_ptr<char[]> buffer(new char[blockSize]);
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer.get(), blockSize);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno, from);
        }
        if (!writeAll(out.get(), buffer.get(), static_cast<std::size_t>(n))) return fail(errno, to);
    }
    if (::fsync(out.get()) != 0) return fail(errno, to);
    in.reset();
    if (const int code = out.close(); code != 0) {
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
