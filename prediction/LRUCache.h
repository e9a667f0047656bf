#pragma once
// A small map that forgets its least recently used keys beyond a capacity.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sorvane {

template <class Value>
class LRUCache {
public:
    explicit LRUCache(std::size_t capacity = 128) : capacity_(capacity) {}

    // A hit becomes the most recently used key.
    std::optional<Value> value(const std::string& key) {
        auto it = storage_.find(key);
        if (it == storage_.end()) return std::nullopt;
        touch(key);
        return it->second;
    }

    void insert(Value value, const std::string& key) {
        storage_.insert_or_assign(key, std::move(value));
        touch(key);
        while (order_.size() > capacity_) {
            storage_.erase(order_.front());
            order_.erase(order_.begin());
        }
    }

    void touch(const std::string& key) {
        if (auto it = std::find(order_.begin(), order_.end(), key); it != order_.end()) order_.erase(it);
        order_.push_back(key);
    }

    void clear() {
        storage_.clear();
        order_.clear();
    }

    std::size_t size() const { return storage_.size(); }
    std::size_t capacity() const { return capacity_; }
    // Least recently used first.
    const std::vector<std::string>& order() const { return order_; }

private:
    std::unordered_map<std::string, Value> storage_;
    std::vector<std::string> order_;
    std::size_t capacity_;
};

}  // namespace sorvane
