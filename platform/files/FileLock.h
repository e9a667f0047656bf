#pragma once
// An exclusive flock(2) on a lock file, held for one read-modify-write of a
// file that two processes share, or for the life of a process that must run
// once per user. The lock lives on its own file beside the data: the data file
// itself is replaced by every atomic write.
#include <chrono>
#include <filesystem>

#include "platform/files/Files.h"
#include "platform/files/UniqueFd.h"

namespace sorvane {

class FileLock {
public:
    // A peer that stops while it holds the lock (SIGSTOP, a debugger) must
    // not stall our writer, which may be the main thread, for longer.
    static constexpr std::chrono::milliseconds maxWait{2000};
    // One attempt: for a process that runs once per user and must learn at
    // once that another one holds the lock.
    static constexpr std::chrono::milliseconds tryOnce{0};

    // Waits until the lock is held, at most `wait`, or fails. The lock file is
    // created (with its folder) when missing; O_NOFOLLOW keeps a planted
    // symlink from making us create or lock some other file, and a lock file
    // that is not a regular file of this user's is refused: whoever else owns
    // it could hold the lock for ever. A wait blocks the calling thread and
    // is ended by SIGRTMIN+5: each wait installs an empty handler for it
    // while it has none, and fails at once (ENOLCK) when the signal has
    // another handler or its timer cannot be set, rather than wait unbounded.
    explicit FileLock(const std::filesystem::path& path, std::chrono::milliseconds wait = maxWait);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool held() const { return fd_.valid(); }
    // The file opened but another descriptor held the lock for the whole
    // wait. Otherwise a lock that is not held could not be opened, was
    // refused or could not be waited for; error() says why in either case.
    bool heldElsewhere() const { return heldElsewhere_; }
    const FileError& error() const { return error_; }

private:
    UniqueFd fd_;  // closing it releases the lock
    bool heldElsewhere_ = false;
    FileError error_;
};

}  // namespace sorvane
