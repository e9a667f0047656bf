#pragma once
// An exclusive flock(2) on a lock file, held for one read-modify-write of a
// file that two processes share. The lock lives on its own file beside the
// data: the data file itself is replaced by every atomic write.
#include <filesystem>

#include "platform/Files.h"

namespace sorvane {

class FileLock {
public:
    // Blocks until the lock is held or fails. The lock file is created (with
    // its folder) when missing; O_NOFOLLOW keeps a planted symlink from making
    // us create or lock some other file.
    explicit FileLock(const std::filesystem::path& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool held() const { return fd_ >= 0; }
    const FileError& error() const { return error_; }

private:
    int fd_ = -1;
    FileError error_;
};

}  // namespace sorvane
