#include "tests/support/MemoryKeychain.h"

namespace sorvane::testing {

Expected<std::string, KeychainStatus> MemoryKeychain::copy(const KeychainItemKey& key) {
    std::lock_guard lock(mutex_);
    ++copies_;
    if (failCopy_ != 0) return unexpected(failCopy_);
    auto it = items_.find({key.service, key.account});
    if (it == items_.end()) return unexpected(KeychainStatusCode::itemNotFound);
    return it->second;
}

KeychainStatus MemoryKeychain::add(const KeychainItemKey& key, std::string_view data) {
    std::lock_guard lock(mutex_);
    ++adds_;
    if (failAdd_ != 0) return failAdd_;
    auto [it, inserted] = items_.try_emplace({key.service, key.account}, std::string(data));
    return inserted ? KeychainStatusCode::success : KeychainStatusCode::duplicateItem;
}

KeychainStatus MemoryKeychain::update(const KeychainItemKey& key, std::string_view data) {
    std::lock_guard lock(mutex_);
    ++updates_;
    if (failUpdate_ != 0) return failUpdate_;
    auto it = items_.find({key.service, key.account});
    if (it == items_.end()) return KeychainStatusCode::itemNotFound;
    it->second = std::string(data);
    return KeychainStatusCode::success;
}

KeychainStatus MemoryKeychain::remove(const KeychainItemKey& key) {
    std::lock_guard lock(mutex_);
    ++removes_;
    if (failRemove_ != 0) return failRemove_;
    return items_.erase({key.service, key.account}) ? KeychainStatusCode::success
                                                    : KeychainStatusCode::itemNotFound;
}

void MemoryKeychain::put(const std::string& service, const std::string& account, std::string data) {
    std::lock_guard lock(mutex_);
    items_[{service, account}] = std::move(data);
}

std::optional<std::string> MemoryKeychain::get(const std::string& service, const std::string& account) const {
    std::lock_guard lock(mutex_);
    auto it = items_.find({service, account});
    if (it == items_.end()) return std::nullopt;
    return it->second;
}

std::size_t MemoryKeychain::itemCount() const {
    std::lock_guard lock(mutex_);
    return items_.size();
}

void MemoryKeychain::failCopies(KeychainStatus status) {
    std::lock_guard lock(mutex_);
    failCopy_ = status;
}
void MemoryKeychain::failAdds(KeychainStatus status) {
    std::lock_guard lock(mutex_);
    failAdd_ = status;
}
void MemoryKeychain::failUpdates(KeychainStatus status) {
    std::lock_guard lock(mutex_);
    failUpdate_ = status;
}
void MemoryKeychain::failRemoves(KeychainStatus status) {
    std::lock_guard lock(mutex_);
    failRemove_ = status;
}

int MemoryKeychain::copies() const {
    std::lock_guard lock(mutex_);
    return copies_;
}
int MemoryKeychain::adds() const {
    std::lock_guard lock(mutex_);
    return adds_;
}
int MemoryKeychain::updates() const {
    std::lock_guard lock(mutex_);
    return updates_;
}
int MemoryKeychain::removes() const {
    std::lock_guard lock(mutex_);
    return removes_;
}

ScopedMemoryKeychain::ScopedMemoryKeychain()
    : keychain_(std::make_shared<MemoryKeychain>()), previous_(KeychainAccess::setShared(keychain_)) {}

ScopedMemoryKeychain::~ScopedMemoryKeychain() {
    KeychainAccess::setShared(previous_);
}

}  // namespace sorvane::testing
