#pragma once
// The observers of one kind of change, called in the order they subscribed.
// Subscribing hands back an ObserverSubscription: the observer stays on the
// list for as long as the caller keeps it, so a view that goes cannot be
// called afterwards, and it may go before or after the list itself.
//
// An observer may add or remove others, itself included, while it is called:
// the ones present when a notification starts are called unless removed by
// then, each through a reference that outlives its own removal; one added
// meanwhile waits for the next notification. One thread only.
//
//   ObserverSubscription subscription_ = store.observeChanges([this] { refresh(); });
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace sorvane {

template <class... Arguments>
class ObserverList;

class ObserverSubscription {
public:
    ObserverSubscription() = default;
    ~ObserverSubscription() { reset(); }
    ObserverSubscription(const ObserverSubscription&) = delete;
    ObserverSubscription& operator=(const ObserverSubscription&) = delete;
    ObserverSubscription(ObserverSubscription&& other) noexcept
        : list_(std::move(other.list_)), id_(std::exchange(other.id_, 0)) {}
    ObserverSubscription& operator=(ObserverSubscription&& other) noexcept {
        if (this != &other) {
            reset();
            list_ = std::move(other.list_);
            id_ = std::exchange(other.id_, 0);
        }
        return *this;
    }

    // Leaves the list now.
    void reset() {
        if (const auto list = list_.lock()) list->remove(id_);
        list_.reset();
        id_ = 0;
    }

private:
    template <class... Arguments>
    friend class ObserverList;

    // What a list does for its subscriptions, whatever its observers take.
    class Entries {
    public:
        virtual void remove(std::uint64_t id) = 0;

    protected:
        ~Entries() = default;
    };

    ObserverSubscription(std::weak_ptr<Entries> list, std::uint64_t id) : list_(std::move(list)), id_(id) {}

    std::weak_ptr<Entries> list_;
    std::uint64_t id_ = 0;
};

template <class... Arguments>
class ObserverList {
public:
    using Observer = std::function<void(const Arguments&...)>;

    ObserverList() = default;
    ObserverList(const ObserverList&) = delete;
    ObserverList& operator=(const ObserverList&) = delete;

    [[nodiscard]] ObserverSubscription add(Observer observer) {
        const std::uint64_t id = entries_->next++;
        entries_->observers.emplace(id, std::make_shared<const Observer>(std::move(observer)));
        return ObserverSubscription(entries_, id);
    }

    void notify(const Arguments&... arguments) const {
        // Held, so that an observer that ends the list's owner ends nothing
        // that this loop still reads.
        const auto entries = entries_;
        std::vector<std::uint64_t> ids;
        ids.reserve(entries->observers.size());
        for (const auto& entry : entries->observers) ids.push_back(entry.first);
        for (const auto id : ids) {
            const auto found = entries->observers.find(id);
            if (found == entries->observers.end()) continue;
            const auto observer = found->second;
            (*observer)(arguments...);
        }
    }

private:
    struct Entries final : ObserverSubscription::Entries {
        void remove(std::uint64_t id) override { observers.erase(id); }
        std::map<std::uint64_t, std::shared_ptr<const Observer>> observers;
        std::uint64_t next = 1;
    };

    std::shared_ptr<Entries> entries_ = std::make_shared<Entries>();
};

}  // namespace sorvane
