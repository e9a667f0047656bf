#include "app/cli/RenderedFile.h"

#include <cerrno>
#include <cstdio>

namespace sorvane::RenderedFile {

Expected<void, FileError> write(const std::filesystem::path& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return unexpected(Files::errorFromErrno(errno, path));
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    // A short write need not set errno; it is still the device failing.
    const int writeError = errno != 0 ? errno : EIO;
    const bool closed = std::fclose(file) == 0;
    if (!written) return unexpected(Files::errorFromErrno(writeError, path));
    if (!closed) return unexpected(Files::errorFromErrno(errno, path));
    return {};
}

}  // namespace sorvane::RenderedFile
