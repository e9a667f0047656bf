#pragma once
// Streams a file through a consumer in chunks of bounded size, so memory
// stays flat whatever the file's size. One buffer, read and consumed in turn
// on the calling thread: reading ahead on a helper thread bought nothing
// over this loop for a digest of a cached file. The call blocks until the
// end of the file or a read error; an exception from the consumer leaves it
// as it came, with the file closed.
#include <cstddef>
#include <filesystem>
#include <functional>

#include "platform/files/Files.h"

namespace sorvane::ChunkedFileReader {

using Consumer = std::function<void(const unsigned char* bytes, std::size_t count)>;

// Opening or reading failures are the file system's errors; the consumer has
// then seen a prefix of the file at most.
Expected<void, FileError> read(const std::filesystem::path& path, std::size_t chunkBytes,
                               const Consumer& consume);

}  // namespace sorvane::ChunkedFileReader
