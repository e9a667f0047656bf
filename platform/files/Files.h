#pragma once
// The home folder's layout and safe file writes.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Expected.h"

namespace sorvane {

struct FileError {
    // notRegular: a FIFO, device, folder or socket where a data file belongs;
    // tooLarge: over the size a data file may have. Both read as unreadable.
    enum class Kind { notFound, permissionDenied, io, notRegular, tooLarge };
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

// The user's home: $HOME, else the password database's entry; an absolute
// path either way. The error says why there is none.
Expected<std::filesystem::path, FileError> findHomeDirectory();
// findHomeDirectory(), or, where there is none, a path under which nothing
// exists and nothing can be created ("/dev/null"). Every process that reads
// or writes the user's files checks findHomeDirectory() as it starts.
std::filesystem::path homeDirectory();
// ~/Library/SorvaneIME: settings, state, route and update files.
std::filesystem::path supportDirectory();
// ~/Library/Preferences: the user-defaults files.
std::filesystem::path preferencesDirectory();
// ~/Library/Caches/SorvaneIME/Updates
std::filesystem::path updatesCacheDirectory();
// ~/Library/Logs/SorvaneIME: the engine's own logs.
std::filesystem::path logsDirectory();
// Per-user files of running processes (locks): $XDG_RUNTIME_DIR when it is
// a folder of this user's that no one else may write to, else "run" in the
// data folder, which createDirectories makes private. Not created here.
std::filesystem::path runtimeDirectory();

// The most a data file of ours (settings, state, route state, user
// defaults) may hold, read or written.
inline constexpr std::size_t dataFileLimit = 1 << 20;

// Modes of new files: shared ones, and private ones that hold anything of the
// user's (their temporary files too).
inline constexpr unsigned publicMode = 0644;
inline constexpr unsigned privateMode = 0600;

// Reads a regular file of at most `limit` bytes. It is opened without
// blocking, so a FIFO or device planted in its place is refused instead of
// hanging the reader; each refusal of a path is logged once per process.
Expected<std::string, FileError> readFile(const std::filesystem::path& path,
                                          std::size_t limit = dataFileLimit);
// Temp file in the same folder, fsync, rename; creates the folder first.
// On failure the old file is left whole. A new file gets `mode` (less the
// umask); a replaced one keeps its mode or, when `mode` is narrower, is
// tightened to it. Bytes over `limit` are refused. Our own temporary files
// of this name older than a minute (left by a killed writer) are removed.
Expected<void, FileError> atomicWrite(const std::filesystem::path& path, std::string_view bytes,
                                      unsigned mode = publicMode, std::size_t limit = dataFileLimit);
// Missing folders inside the data folder (the data folder included) are
// made readable by the owner only; others with the default mode.
Expected<void, FileError> createDirectories(const std::filesystem::path& path);
// An existing data folder that others may enter or read is narrowed to its
// owner, with one log record naming the old and the new mode. Called once
// as a process that uses the folder starts.
void keepSupportDirectoryPrivate();
// Removes the regular files (not links) of `dir` that this user owns, whose
// name `ours` accepts and that were last written longer ago than
// `olderThan`: what a killed process of ours left behind.
void removeStaleFiles(const std::filesystem::path& dir,
                      const std::function<bool(std::string_view name)>& ours, std::chrono::seconds olderThan);
std::optional<FileStamp> stamp(const std::filesystem::path& path);

FileError errorFromErrno(int code, const std::filesystem::path& path);

}  // namespace Files
}  // namespace sorvane
