#include "kit/update/UpdateCenterStateCache.h"

namespace sorvane::UpdateCenter {

UpdateState StateCache::current() {
    std::lock_guard guard(lock_);
    const std::optional<FileStamp> stamp = file_.modificationDate();
    if (loaded_ && loadedStamp_ == stamp) return *loaded_;
    loaded_ = stamp ? file_.load() : UpdateState{};
    loadedStamp_ = stamp;
    return *loaded_;
}

}  // namespace sorvane::UpdateCenter
