#pragma once
// Named secrets held as text. The account token and the device id live in the
// keychain through KeychainSecretStore; previews use a store that keeps
// nothing.
#include <optional>
#include <string>
#include <string_view>

#include "kit/route/Secrets.h"
#include "platform/Expected.h"

namespace sorvane {

class SecretStore {
public:
    virtual ~SecretStore() = default;
    // The stored value; nothing when there is none or it cannot be read.
    virtual std::optional<std::string> read(std::string_view account) = 0;
    // Creates or replaces the value.
    virtual Expected<void, Secrets::KeychainError> write(std::string_view value,
                                                         std::string_view account) = 0;
    // Removes the value; a missing one is no error, and nothing is reported.
    virtual void remove(std::string_view account) = 0;
};

// Generic passwords of one keychain service, the value as UTF-8 bytes.
// Reads the process's keychain at each call, so any thread may use it.
struct KeychainSecretStore final : SecretStore {
    std::string service;
    std::optional<std::string> accessGroup;

    explicit KeychainSecretStore(std::string service, std::optional<std::string> accessGroup = std::nullopt)
        : service(std::move(service)), accessGroup(std::move(accessGroup)) {}

    // Nothing for a missing, locked or unreachable item and for data that is
    // not UTF-8; nothing is logged.
    std::optional<std::string> read(std::string_view account) override;
    // Adds the item, or updates it in place when it exists (its other
    // attributes stay as they were).
    Expected<void, Secrets::KeychainError> write(std::string_view value, std::string_view account) override;
    void remove(std::string_view account) override;
};

// Reads nothing and ignores writes and deletes: the settings previews run
// without touching the keychain.
struct PreviewSecretStore final : SecretStore {
    std::optional<std::string> read(std::string_view) override { return std::nullopt; }
    Expected<void, Secrets::KeychainError> write(std::string_view, std::string_view) override { return {}; }
    void remove(std::string_view) override {}
};

}  // namespace sorvane
