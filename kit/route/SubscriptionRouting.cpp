#include "kit/route/SubscriptionRouting.h"

#include <mutex>

#include "kit/account/AccountAPI.h"
#include "kit/account/AccountCredentials.h"

namespace sorvane::SubscriptionRouting {
namespace {

struct DeviceIDMemo {
    std::mutex lock;
    std::optional<std::string> cachedDeviceID;
};

DeviceIDMemo& memo() {
    static DeviceIDMemo instance;
    return instance;
}

}  // namespace

std::map<std::string, std::string> proxyHeaders(std::string_view deviceID) {
    return {
        {"X-Device-ID", std::string(deviceID)},
        {"X-Client-App", std::string(AccountAPI::clientApp)},
        {"X-Client-Platform", std::string(AccountAPI::clientPlatform)},
    };
}

std::optional<std::string> memoizedDeviceID() {
    auto& m = memo();
    // Held across the first keychain read, so two requests racing at start-up
    // read the keychain once between them.
    std::lock_guard guard(m.lock);
    if (!m.cachedDeviceID) {
        m.cachedDeviceID = AccountCredentials::live().store->read(AccountCredentials::deviceIDAccount);
    }
    return m.cachedDeviceID;
}

void forgetMemoizedDeviceID() {
    auto& m = memo();
    std::lock_guard guard(m.lock);
    m.cachedDeviceID.reset();
}

}  // namespace sorvane::SubscriptionRouting
