#pragma once
// Notifications that reach the other processes of the same user (the settings
// window tells the server that the settings changed). No Qt here, so kit code
// can post; the D-Bus implementation lives in platform/qt.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace sorvane {

using NotificationUserInfo = std::map<std::string, std::string>;
using NotificationObserverId = std::uint64_t;

class NotificationCenter {
public:
    using Callback = std::function<void(const std::string& name, const NotificationUserInfo& userInfo)>;

    virtual ~NotificationCenter() = default;
    // Delivered at once to every observer of `name` in every process of the
    // user, this one included. False (and a log record) when it could not be sent.
    virtual bool post(std::string_view name, const NotificationUserInfo& userInfo = {}) = 0;
    // The callback runs on the main thread. Never returns 0.
    virtual NotificationObserverId observe(std::string_view name, Callback callback) = 0;
    // Also during a delivery: an observer removed by an earlier one is not called.
    virtual void removeObserver(NotificationObserverId id) = 0;

    // The process's center, installed at start-up (none until then). Thread-safe.
    static std::shared_ptr<NotificationCenter> shared();
    static std::shared_ptr<NotificationCenter> setShared(std::shared_ptr<NotificationCenter> center);
};

}  // namespace sorvane
