#pragma once
// Streams a file through a consumer in chunks of bounded size, so memory
// stays flat whatever the file's size. A helper thread reads the next chunk
// while the consumer works on the current one (two chunk buffers in all),
// which hides the copy out of the page cache behind a consumer such as a
// digest. The consumer runs on the calling thread; the call blocks until
// the end of the file, a read error, or the helper's end.
#include <cstddef>
#include <filesystem>
#include <functional>

#include "platform/Files.h"

namespace sorvane::ChunkedFileReader {

using Consumer = std::function<void(const unsigned char* bytes, std::size_t count)>;

// Opening or reading failures are the file system's errors; the consumer has
// then seen a prefix of the file at most.
Expected<void, FileError> read(const std::filesystem::path& path, std::size_t chunkBytes,
                               const Consumer& consume);

}  // namespace sorvane::ChunkedFileReader
