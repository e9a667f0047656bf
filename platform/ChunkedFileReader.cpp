#include "platform/ChunkedFileReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace sorvane::ChunkedFileReader {
namespace {

ssize_t readSome(int fd, unsigned char* into, std::size_t count) {
    for (;;) {
        const ssize_t n = ::read(fd, into, count);
        if (n >= 0 || errno != EINTR) return n;
    }
}

// Two slots used in turn: the helper fills one while the caller consumes
// the other. `filled` counts slots handed over and not yet given back.
struct Pipe {
    std::mutex mutex;
    std::condition_variable changed;
    std::array<std::vector<unsigned char>, 2> buffers;
    std::array<ssize_t, 2> sizes{};
    std::array<int, 2> errors{};
    int filled = 0;
    bool abandoned = false;
};

void fill(Pipe& pipe, int fd) {
    for (std::size_t slot = 0;; slot ^= 1) {
        {
            std::unique_lock lock(pipe.mutex);
            pipe.changed.wait(lock, [&] { return pipe.filled < 2 || pipe.abandoned; });
            if (pipe.abandoned) return;
        }
        const ssize_t n = readSome(fd, pipe.buffers[slot].data(), pipe.buffers[slot].size());
        const int error = n < 0 ? errno : 0;
        {
            std::lock_guard lock(pipe.mutex);
            pipe.sizes[slot] = n;
            pipe.errors[slot] = error;
            ++pipe.filled;
        }
        pipe.changed.notify_all();
        if (n <= 0) return;
    }
}

Expected<void, FileError> readInline(int fd, const std::filesystem::path& path, std::size_t chunkBytes,
                                     const Consumer& consume) {
    std::vector<unsigned char> chunk(chunkBytes);
    for (;;) {
        const ssize_t n = readSome(fd, chunk.data(), chunk.size());
        if (n == 0) return {};
        if (n < 0) return unexpected(Files::errorFromErrno(errno, path));
        consume(chunk.data(), static_cast<std::size_t>(n));
    }
}

}  // namespace

Expected<void, FileError> read(const std::filesystem::path& path, std::size_t chunkBytes,
                               const Consumer& consume) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return unexpected(Files::errorFromErrno(errno, path));
    // Closed on every path, after the helper is gone; a failing close
    // changes nothing.
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    Pipe pipe;
    for (auto& buffer : pipe.buffers) buffer.resize(chunkBytes);
    std::thread helper;
    try {
        helper = std::thread(fill, std::ref(pipe), fd);
    } catch (const std::system_error&) {
        return readInline(fd, path, chunkBytes, consume);
    }

    Expected<void, FileError> result;
    for (std::size_t slot = 0;; slot ^= 1) {
        ssize_t n;
        int error;
        {
            std::unique_lock lock(pipe.mutex);
            pipe.changed.wait(lock, [&] { return pipe.filled > 0; });
            n = pipe.sizes[slot];
            error = pipe.errors[slot];
        }
        if (n < 0) result = unexpected(Files::errorFromErrno(error, path));
        if (n <= 0) break;
        consume(pipe.buffers[slot].data(), static_cast<std::size_t>(n));
        {
            std::lock_guard lock(pipe.mutex);
            --pipe.filled;
        }
        pipe.changed.notify_all();
    }
    {
        std::lock_guard lock(pipe.mutex);
        pipe.abandoned = true;
    }
    pipe.changed.notify_all();
    helper.join();
    return result;
}

}  // namespace sorvane::ChunkedFileReader
