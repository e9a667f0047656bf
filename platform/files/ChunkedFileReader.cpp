#include "platform/files/ChunkedFileReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/files/UniqueFd.h"

namespace sorvane::ChunkedFileReader {

Expected<void, FileError> read(const std::filesystem::path& path, std::size_t chunkBytes,
                               const Consumer& consume) {
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) return unexpected(Files::errorFromErrno(errno, path));
    ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::vector<unsigned char> chunk(chunkBytes);
    for (;;) {
        const ssize_t n = ::read(file.get(), chunk.data(), chunk.size());
        if (n == 0) return {};
        if (n < 0) {
            if (errno == EINTR) continue;
            return unexpected(Files::errorFromErrno(errno, path));
        }
        consume(chunk.data(), static_cast<std::size_t>(n));
    }
}

}  // namespace sorvane::ChunkedFileReader
