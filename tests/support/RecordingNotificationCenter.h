#pragma once
// A notification center that stays in the process: posts are recorded and
// delivered to local observers at once, on the posting thread.
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/NotificationCenter.h"

namespace sorvane::testing {

class RecordingNotificationCenter final : public NotificationCenter {
public:
    bool post(std::string_view name, const NotificationUserInfo& userInfo = {}) override {
        std::vector<Callback> callbacks;
        {
            std::lock_guard lock(mutex_);
            posted_.emplace_back(std::string(name), userInfo);
            for (const auto& [id, observer] : observers_) {
                if (observer.first == name) callbacks.push_back(observer.second);
            }
        }
        for (const auto& callback : callbacks) callback(std::string(name), userInfo);
        return true;
    }
    NotificationObserverId observe(std::string_view name, Callback callback) override {
        std::lock_guard lock(mutex_);
        const NotificationObserverId id = nextId_++;
        observers_.emplace_back(id, std::make_pair(std::string(name), std::move(callback)));
        return id;
    }
    void removeObserver(NotificationObserverId id) override {
        std::lock_guard lock(mutex_);
        std::erase_if(observers_, [id](const auto& o) { return o.first == id; });
    }
    std::vector<std::pair<std::string, NotificationUserInfo>> posted() const {
        std::lock_guard lock(mutex_);
        return posted_;
    }

private:
    mutable std::mutex mutex_;
    NotificationObserverId nextId_ = 1;
    std::vector<std::pair<NotificationObserverId, std::pair<std::string, Callback>>> observers_;
    std::vector<std::pair<std::string, NotificationUserInfo>> posted_;
};

}  // namespace sorvane::testing
