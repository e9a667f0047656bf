#include "kit/account/AccountCredentials.h"

#include "kit/route/HeaderValue.h"
#include "platform/SorvaneLog.h"
#include "platform/Uuid.h"

namespace sorvane {
namespace {

std::string newDeviceID() {
    return Uuid::random();
}

}  // namespace

const AccountCredentials& AccountCredentials::live() {
    static const AccountCredentials credentials(
        std::make_shared<KeychainSecretStore>(std::string(Secrets::service)));
    return credentials;
}

std::optional<std::string> AccountCredentials::token() const {
    return store->read(tokenAccount);
}

bool AccountCredentials::setToken(const std::optional<std::string>& token) const {
    if (!token) {
        store->remove(tokenAccount);
        return true;
    }
    auto written = store->write(*token, tokenAccount);
    if (!written) {
        SorvaneLog::log("[Sorvane] account token not stored: " + written.error().description());
        return false;
    }
    return true;
}

std::optional<std::string> AccountCredentials::existingDeviceID() const {
    return store->read(deviceIDAccount);
}

std::string AccountCredentials::deviceID() const {
    // A stored id that cannot go into a header would fail every account call
    // for good; it is replaced as a missing one is.
    if (auto existing = store->read(deviceIDAccount); existing && HeaderValue::isSafe(*existing))
        return std::move(*existing);
    std::string id = newDeviceID();
    if (auto written = store->write(id, deviceIDAccount); !written) {
        SorvaneLog::log("[Sorvane] account device id not stored: " + written.error().description());
    }
    return id;
}

}  // namespace sorvane
