#pragma once
// update.json as the server's announcement test reads it at every input
// activation: the file is read again only when its stamp (modification time,
// inode and size) moved, so two saves within one clock tick still count.
// Any thread; the lock serialises readers.
#include <mutex>
#include <optional>

#include "kit/update/UpdateStateFile.h"

namespace sorvane::UpdateCenter {

class StateCache {
public:
    explicit StateCache(UpdateStateFile file) : file_(std::move(file)) {}

    // The empty state while there is no file.
    UpdateState current();

private:
    UpdateStateFile file_;
    std::mutex lock_;
    std::optional<UpdateState> loaded_;
    std::optional<FileStamp> loadedStamp_;
};

}  // namespace sorvane::UpdateCenter
