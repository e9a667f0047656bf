#include "platform/NotificationCenter.h"

#include <mutex>

namespace sorvane {
namespace {
std::mutex centerMutex;
std::shared_ptr<NotificationCenter>& currentCenter() {
    static std::shared_ptr<NotificationCenter> center;
    return center;
}
}  // namespace

std::shared_ptr<NotificationCenter> NotificationCenter::shared() {
    std::lock_guard lock(centerMutex);
    return currentCenter();
}

std::shared_ptr<NotificationCenter> NotificationCenter::setShared(
    std::shared_ptr<NotificationCenter> center) {
    std::lock_guard lock(centerMutex);
    auto previous = currentCenter();
    currentCenter() = std::move(center);
    return previous;
}

}  // namespace sorvane
