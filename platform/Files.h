#pragma once
// The home folder's layout and safe file writes.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Expected.h"

namespace sorvane {

struct FileError {
    enum class Kind { notFound, permissionDenied, io };
    Kind kind = Kind::io;
    int code = 0;         // errno
    std::string message;  // "No such file or directory (path)"

    std::string description() const { return message; }
};

// What identifies one version of a file cheaply.
struct FileStamp {
    std::int64_t modifiedNs = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    bool operator==(const FileStamp&) const = default;
};

namespace Files {

std::filesystem::path homeDirectory();
// ~/Library/SorvaneIME: settings, state, route and update files.
std::filesystem::path supportDirectory();
// ~/Library/Preferences: the user-defaults files.
std::filesystem::path preferencesDirectory();
// ~/Library/Caches/SorvaneIME/Updates
std::filesystem::path updatesCacheDirectory();
// ~/Library/Logs/SorvaneIME: the engine's own logs.
std::filesystem::path logsDirectory();
// $XDG_RUNTIME_DIR, else the temporary folder.
std::filesystem::path runtimeDirectory();

Expected<std::string, FileError> readFile(const std::filesystem::path& path);
// Temp file in the same folder, fsync, rename; creates the folder first.
// On failure the old file is left whole.
Expected<void, FileError> atomicWrite(const std::filesystem::path& path, std::string_view bytes);
Expected<void, FileError> createDirectories(const std::filesystem::path& path);
std::optional<FileStamp> stamp(const std::filesystem::path& path);

FileError errorFromErrno(int code, const std::filesystem::path& path);

}  // namespace Files
}  // namespace sorvane
