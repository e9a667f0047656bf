#pragma once
// The account token and the device id: written by the settings process,
// read by both processes. The keychain items are the only thing the two
// share, so their names and UTF-8 encoding are fixed.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kit/route/SecretStore.h"

namespace sorvane {

struct AccountCredentials {
    static constexpr std::string_view tokenAccount = "brindor-auth-token";
    static constexpr std::string_view deviceIDAccount = "brindor-device-id";

    std::shared_ptr<SecretStore> store;

    explicit AccountCredentials(std::shared_ptr<SecretStore> store) : store(std::move(store)) {}

    // Over the keychain service "cn.kestrum.inputmethod"; created once.
    static const AccountCredentials& live();

    std::optional<std::string> token() const;
    // Stores or replaces the token, or deletes it when given nothing. A failed
    // store is logged ("[Sorvane] account token not stored: ...") and gives
    // false; the value itself is never logged.
    bool setToken(const std::optional<std::string>& token) const;
    // The stored device id; never creates one.
    std::optional<std::string> existingDeviceID() const;
    // The stored device id (an empty one counts), else a new random UUID in
    // upper-case canonical form, stored at once; a failed store is logged and
    // the new id is still returned.
    std::string deviceID() const;
};

}  // namespace sorvane
