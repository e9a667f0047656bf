#pragma once
// A notification center that stays in the process: posts are recorded and
// delivered to local observers at once, on the posting thread, by the rule of
// the real one: the observers present when a post starts are called unless
// removed by then; one added meanwhile waits for the next post.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/NotificationCenter.h"

namespace sorvane::testing {

class RecordingNotificationCenter final : public NotificationCenter {
public:
    bool post(std::string_view name, const NotificationUserInfo& userInfo = {}) override {
        std::vector<NotificationObserverId> present;
        {
            std::lock_guard lock(mutex_);
            posted_.emplace_back(std::string(name), userInfo);
            for (const auto& [id, observer] : observers_) {
                if (observer.name == name) present.push_back(id);
            }
        }
        for (const NotificationObserverId id : present) {
            std::unique_lock lock(mutex_);
            const auto observer = observers_.find(id);
            if (observer == observers_.end()) continue;
            // Held past its removal by the call itself.
            const std::shared_ptr<const Callback> callback = observer->second.callback;
            lock.unlock();
            (*callback)(std::string(name), userInfo);
        }
        return true;
    }
    NotificationObserverId observe(std::string_view name, Callback callback) override {
        std::lock_guard lock(mutex_);
        const NotificationObserverId id = nextId_++;
        observers_.emplace(
            id, Observer{std::string(name), std::make_shared<const Callback>(std::move(callback))});
        return id;
    }
    void removeObserver(NotificationObserverId id) override {
        std::lock_guard lock(mutex_);
        observers_.erase(id);
    }
    std::vector<std::pair<std::string, NotificationUserInfo>> posted() const {
        std::lock_guard lock(mutex_);
        return posted_;
    }

private:
    struct Observer {
        std::string name;
        std::shared_ptr<const Callback> callback;
    };

    mutable std::mutex mutex_;
    NotificationObserverId nextId_ = 1;
    std::map<NotificationObserverId, Observer> observers_;  // by id, which is the order they came in
    std::vector<std::pair<std::string, NotificationUserInfo>> posted_;
};

}  // namespace sorvane::testing
