#pragma once
// Writing a rendered PNG where the command line was told to. The path is
// taken as the bytes it is: a folder whose name is not UTF-8 works as any
// other, which a round trip through Qt's text would not allow.
#include <filesystem>
#include <string_view>

#include "platform/Expected.h"
#include "platform/files/Files.h"

namespace sorvane::RenderedFile {

// Replaces the file in place, so a reader of the folder sees the file it
// asked for. The error says why and where when it could not be written whole.
Expected<void, FileError> write(const std::filesystem::path& path, std::string_view bytes);

}  // namespace sorvane::RenderedFile
