#include "app/cli/RenderedFile.h"

#include <cstdio>

namespace sorvane::RenderedFile {

bool write(const std::filesystem::path& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace sorvane::RenderedFile
