#pragma once
// Generic-password items keyed by service and account, with the keychain's
// result codes. The product stores them in the Secret Service (libsecret);
// tests install an in-memory keychain instead.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Expected.h"

namespace sorvane {

using KeychainStatus = std::int32_t;

// The keychain's result codes that callers test for or show.
namespace KeychainStatusCode {
inline constexpr KeychainStatus success = 0;
inline constexpr KeychainStatus param = -50;
inline constexpr KeychainStatus userCanceled = -128;
inline constexpr KeychainStatus internalComponent = -2070;
inline constexpr KeychainStatus notAvailable = -25291;
inline constexpr KeychainStatus authFailed = -25293;
inline constexpr KeychainStatus duplicateItem = -25299;
inline constexpr KeychainStatus itemNotFound = -25300;
inline constexpr KeychainStatus interactionNotAllowed = -25308;
inline constexpr KeychainStatus decode = -26275;
}  // namespace KeychainStatusCode

// The system's English message for a status, or nothing for a code it does
// not know.
std::optional<std::string> keychainErrorMessage(KeychainStatus status);

// Which item a call means. Without an access group a lookup matches the item
// whatever group it was stored under.
struct KeychainItemKey {
    std::string service;
    std::string account;
    std::optional<std::string> accessGroup;
};

class Keychain {
public:
    virtual ~Keychain() = default;
    // The item's data as stored (any bytes); itemNotFound when there is none.
    virtual Expected<std::string, KeychainStatus> copy(const KeychainItemKey& key) = 0;
    // Creates the item; duplicateItem when it already exists.
    virtual KeychainStatus add(const KeychainItemKey& key, std::string_view data) = 0;
    // Replaces the data of every matching item; itemNotFound when there is none.
    virtual KeychainStatus update(const KeychainItemKey& key, std::string_view data) = 0;
    // Removes every matching item; itemNotFound when there was none.
    virtual KeychainStatus remove(const KeychainItemKey& key) = 0;
};

// The Secret Service over the session bus (gnome-keyring, KeePassXC, ...).
// Items live in the default collection; a locked item reads as
// interactionNotAllowed, a bus or service that cannot be reached as
// notAvailable. Safe to call from any thread.
//
// Unbounded, a call waits as long as the bus lets each of its messages wait
// (25 s apiece). A bounded one gives every call `limit` in all: the first
// that runs out fails as notAvailable and `silent` is told, in one line; from
// then on every call fails so at once, since a service that did not answer is
// not asked again. With `askAgainAfter`, for a process that runs for days, it
// is asked again by the first call that much later, and once it answers the
// calls go to it as before; `silent` is told once each time it goes quiet.
// Once the process is told to quit (QuitRequest), a bounded call in flight
// ends within a few tens of milliseconds and later ones fail at once, all as
// notAvailable and without a line: quitting waits for no keychain.
class SecretServiceKeychain final : public Keychain {
public:
    using Diagnostic = std::function<void(std::string_view line)>;

    // What every process that bounds its calls gives one call.
    static constexpr std::chrono::milliseconds answerLimit{3000};

    SecretServiceKeychain() = default;
    SecretServiceKeychain(std::chrono::milliseconds limit, Diagnostic silent,
                          std::optional<std::chrono::seconds> askAgainAfter = std::nullopt);

    Expected<std::string, KeychainStatus> copy(const KeychainItemKey& key) override;
    KeychainStatus add(const KeychainItemKey& key, std::string_view data) override;
    KeychainStatus update(const KeychainItemKey& key, std::string_view data) override;
    KeychainStatus remove(const KeychainItemKey& key) override;

    struct Bound;

private:
    std::shared_ptr<Bound> bound_;
};

namespace KeychainAccess {
// The process-wide keychain (the Secret Service unless replaced). Thread-safe.
std::shared_ptr<Keychain> shared();
// Replaces it, returning the previous one; tests install an in-memory one.
std::shared_ptr<Keychain> setShared(std::shared_ptr<Keychain> keychain);
}  // namespace KeychainAccess

}  // namespace sorvane
