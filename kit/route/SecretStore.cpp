#include "kit/route/SecretStore.h"

#include "platform/Keychain.h"
#include "platform/Text.h"

namespace sorvane {
namespace {

KeychainItemKey keyFor(const KeychainSecretStore& store, std::string_view account) {
    return {store.service, std::string(account), store.accessGroup};
}

}  // namespace

std::optional<std::string> KeychainSecretStore::read(std::string_view account) {
    auto data = KeychainAccess::shared()->copy(keyFor(*this, account));
    if (!data || !Text::isValidUtf8(*data)) return std::nullopt;
    return std::move(*data);
}

Expected<void, Secrets::KeychainError> KeychainSecretStore::write(std::string_view value,
                                                                  std::string_view account) {
    auto keychain = KeychainAccess::shared();
    const auto key = keyFor(*this, account);
    const KeychainStatus added = keychain->add(key, value);
    if (added == KeychainStatusCode::success) return {};
    if (added != KeychainStatusCode::duplicateItem) return unexpected(Secrets::KeychainError{added});
    const KeychainStatus updated = keychain->update(key, value);
    if (updated != KeychainStatusCode::success) return unexpected(Secrets::KeychainError{updated});
    return {};
}

void KeychainSecretStore::remove(std::string_view account) {
    KeychainAccess::shared()->remove(keyFor(*this, account));
}

}  // namespace sorvane
