#pragma once
// An exclusive flock(2) on a lock file, held for one read-modify-write of a
// file that two processes share, or for the life of a process that must run
// once per user. The lock lives on its own file beside the data: the data file
// itself is replaced by every atomic write.
#include <filesystem>

#include "platform/Files.h"

namespace sorvane {

class FileLock {
public:
    enum class Wait {
        block,    // until the lock is free
        tryOnce,  // give up at once when another descriptor holds it
    };

    // Takes the lock or fails. The lock file is created (with its folder)
    // when missing; O_NOFOLLOW keeps a planted symlink from making us create
    // or lock some other file.
    explicit FileLock(const std::filesystem::path& path, Wait wait = Wait::block);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool held() const { return fd_ >= 0; }
    // Wait::tryOnce only: the file opened but someone else holds the lock.
    // Otherwise a lock that is not held could not be opened or taken, and
    // error() says why.
    bool heldElsewhere() const { return heldElsewhere_; }
    const FileError& error() const { return error_; }

private:
    int fd_ = -1;
    bool heldElsewhere_ = false;
    FileError error_;
};

}  // namespace sorvane
