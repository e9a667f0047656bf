#pragma once
// An in-memory keychain with the Secret Service's add/update/remove rules, and
// a guard that installs one as the process's keychain for a test.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

#include "platform/Keychain.h"

namespace sorvane::testing {

class MemoryKeychain final : public Keychain {
public:
    Expected<std::string, KeychainStatus> copy(const KeychainItemKey& key) override;
    KeychainStatus add(const KeychainItemKey& key, std::string_view data) override;
    KeychainStatus update(const KeychainItemKey& key, std::string_view data) override;
    KeychainStatus remove(const KeychainItemKey& key) override;

    // Direct access for arranging and checking a test, bypassing the rules.
    void put(const std::string& service, const std::string& account, std::string data);
    std::optional<std::string> get(const std::string& service, const std::string& account) const;
    std::size_t itemCount() const;

    // Makes every later call of that kind fail with the status (0 clears it).
    void failCopies(KeychainStatus status);
    void failAdds(KeychainStatus status);
    void failUpdates(KeychainStatus status);
    void failRemoves(KeychainStatus status);

    // How often each call was made.
    int copies() const;
    int adds() const;
    int updates() const;
    int removes() const;

private:
    using Key = std::tuple<std::string, std::string>;
    mutable std::mutex mutex_;
    std::map<Key, std::string> items_;
    KeychainStatus failCopy_ = 0, failAdd_ = 0, failUpdate_ = 0, failRemove_ = 0;
    int copies_ = 0, adds_ = 0, updates_ = 0, removes_ = 0;
};

// Installs a fresh MemoryKeychain for its lifetime, then restores the previous
// keychain.
class ScopedMemoryKeychain {
public:
    ScopedMemoryKeychain();
    ~ScopedMemoryKeychain();
    ScopedMemoryKeychain(const ScopedMemoryKeychain&) = delete;
    ScopedMemoryKeychain& operator=(const ScopedMemoryKeychain&) = delete;
    MemoryKeychain& keychain() { return *keychain_; }
    MemoryKeychain* operator->() { return keychain_.get(); }

private:
    std::shared_ptr<MemoryKeychain> keychain_;
    std::shared_ptr<Keychain> previous_;
};

}  // namespace sorvane::testing
