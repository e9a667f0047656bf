#pragma once
// Moving a finished file to its place. rename(2) cannot cross filesystems
// (EXDEV: the temporary folder is often another one than HOME), so the move
// then copies (with the source's mode), syncs and removes the source instead,
// as a file manager would.
// Blocking; any thread.
#include <filesystem>
#include <functional>

#include "platform/files/Files.h"

namespace sorvane::FileMove {

// rename(2) by default; tests put in one that fails.
using Rename = std::function<int(const char* from, const char* to)>;

// The destination must not exist (it is created exclusively when copying,
// never written through a link). On failure no partial destination is left
// and the source stays.
Expected<void, FileError> move(const std::filesystem::path& from, const std::filesystem::path& to,
                               const Rename& rename = {});

}  // namespace sorvane::FileMove
