#pragma once
// Reading a tree that someone else made (an expanded installer package):
// every path stays beneath its root, no symbolic link is followed on the
// way, only regular files are read, and sizes and counts are bounded.
// Blocking; any thread.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files/Files.h"

namespace sorvane::ConfinedFiles {

// `relative` is read beneath `root` (which itself is trusted); a symbolic
// link anywhere below the root, a non-regular file or one larger than
// `maxBytes` is a failure.
Expected<std::string, FileError> readRegularFile(const std::filesystem::path& root,
                                                 const std::filesystem::path& relative, std::size_t maxBytes);

// The names in a folder (hidden ones included, "." and ".." not), in the
// order the file system lists them, at most `maxEntries`; empty when the
// folder cannot be listed.
std::vector<std::string> entryNames(const std::filesystem::path& folder, std::size_t maxEntries);

}  // namespace sorvane::ConfinedFiles
