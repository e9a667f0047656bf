#pragma once
// Where the settings window keeps the own DeepSeek key: three calls in front
// of the keychain, safe from any thread. `live()` goes to Secrets; tests and
// previews hand in their own. Use it through MacBillingStore.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "kit/route/Secrets.h"
#include "platform/Expected.h"

namespace sorvane {

struct DeepSeekKeyStore {
    // Stores the key trimmed; a blank key or one holding CR, LF or NUL is
    // refused with status -50.
    std::function<Expected<void, Secrets::KeychainError>(std::string_view key)> save;
    // The stored key as stored (not trimmed), if any.
    std::function<std::optional<std::string>()> load;
    // Removes the key; a key that is not there counts as removed. (Named
    // `remove` because `delete` is taken.)
    std::function<Expected<void, Secrets::KeychainError>()> remove;

    static DeepSeekKeyStore live();
};

}  // namespace sorvane
