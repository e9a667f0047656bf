#include "platform/Keychain.h"

#include <mutex>

namespace sorvane {

std::optional<std::string> keychainErrorMessage(KeychainStatus status) {
    switch (status) {
        case KeychainStatusCode::success:
            return "No error.";
        case KeychainStatusCode::param:
            return "One or more parameters passed to a function were not valid.";
        case KeychainStatusCode::userCanceled:
            return "User canceled the operation.";
        case KeychainStatusCode::internalComponent:
            return "An internal component failed.";
        case KeychainStatusCode::notAvailable:
            return "No keychain is available. You may need to restart your computer.";
        case KeychainStatusCode::authFailed:
            return "The user name or passphrase you entered is not correct.";
        case KeychainStatusCode::duplicateItem:
            return "The specified item already exists in the keychain.";
        case KeychainStatusCode::itemNotFound:
            return "The specified item could not be found in the keychain.";
        case KeychainStatusCode::interactionNotAllowed:
            return "User interaction is not allowed.";
        case KeychainStatusCode::decode:
            return "Unable to decode the provided data.";
        default:
            return std::nullopt;
    }
}

namespace KeychainAccess {
namespace {

std::mutex& keychainMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<Keychain>& current() {
    static std::shared_ptr<Keychain> keychain;
    return keychain;
}

}  // namespace

std::shared_ptr<Keychain> shared() {
    std::lock_guard lock(keychainMutex());
    auto& keychain = current();
    if (!keychain) keychain = std::make_shared<SecretServiceKeychain>();
    return keychain;
}

std::shared_ptr<Keychain> setShared(std::shared_ptr<Keychain> keychain) {
    std::lock_guard lock(keychainMutex());
    auto previous = std::move(current());
    current() = std::move(keychain);
    return previous;
}

}  // namespace KeychainAccess
}  // namespace sorvane
