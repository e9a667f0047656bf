#pragma once
// User defaults held in memory, for tests that need a store but no file.
#include <map>
#include <mutex>

#include "platform/files/UserDefaults.h"

namespace sorvane::testing {

class MemoryUserDefaults final : public UserDefaults {
public:
    std::optional<nlohmann::json> value(std::string_view key) const override {
        std::lock_guard lock(mutex_);
        auto it = values_.find(std::string(key));
        if (it == values_.end()) return std::nullopt;
        return it->second;
    }
    bool setValue(std::string_view key, const nlohmann::json& value) override {
        std::lock_guard lock(mutex_);
        values_[std::string(key)] = value;
        return true;
    }
    bool remove(std::string_view key) override {
        std::lock_guard lock(mutex_);
        values_.erase(std::string(key));
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, nlohmann::json, std::less<>> values_;
};

}  // namespace sorvane::testing
