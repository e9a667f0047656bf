#include <gtest/gtest.h>

#include <cctype>
#include <memory>

#include "kit/account/AccountAPI.h"
#include "kit/account/AccountCredentials.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/MemoryKeychain.h"

namespace sorvane {
namespace {

using testing::ScopedLogCapture;
using testing::ScopedMemoryKeychain;

constexpr const char* kService = "cn.kestrum.inputmethod";

bool isCanonicalUpperUUID(const std::string& id) {
    if (id.size() != 36) return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (id[i] != '-') return false;
        } else if (!std::isxdigit(static_cast<unsigned char>(id[i])) ||
                   std::islower(static_cast<unsigned char>(id[i]))) {
            return false;
        }
    }
    return true;
}

TEST(AccountCredentials, DeviceIDIsCreatedOnceAndKept) {
    ScopedMemoryKeychain keychain;
    const auto& credentials = AccountCredentials::live();
    EXPECT_EQ(credentials.existingDeviceID(), std::nullopt);

    const std::string id = credentials.deviceID();
    EXPECT_TRUE(isCanonicalUpperUUID(id)) << id;
    EXPECT_EQ(keychain->get(kService, "brindor-device-id"), id);
    EXPECT_EQ(credentials.deviceID(), id);
    EXPECT_EQ(credentials.existingDeviceID(), id);
    EXPECT_EQ(keychain->adds(), 1);
}

TEST(AccountCredentials, StoredEmptyDeviceIDCountsAsPresent) {
    ScopedMemoryKeychain keychain;
    keychain->put(kService, "brindor-device-id", "");
    EXPECT_EQ(AccountCredentials::live().deviceID(), "");
    EXPECT_EQ(keychain->adds(), 0);
}

// One that cannot go into a header would fail every account call for good.
TEST(AccountCredentials, StoredDeviceIDThatCannotBeSentIsReplaced) {
    for (const char* unsendable : {"ID\x01", "ID\x7f", "ID\r\nX-Evil: 1"}) {
        ScopedMemoryKeychain keychain;
        keychain->put(kService, "brindor-device-id", unsendable);
        const std::string id = AccountCredentials::live().deviceID();
        EXPECT_TRUE(isCanonicalUpperUUID(id)) << id;
        EXPECT_EQ(keychain->get(kService, "brindor-device-id"), id);
        EXPECT_EQ(AccountCredentials::live().deviceID(), id);
    }
}

TEST(AccountCredentials, DeviceIDThatCannotBeStoredIsStillGivenAndLogged) {
    ScopedMemoryKeychain keychain;
    ScopedLogCapture log;
    keychain->failAdds(KeychainStatusCode::interactionNotAllowed);
    const auto& credentials = AccountCredentials::live();
    const std::string first = credentials.deviceID();
    const std::string second = credentials.deviceID();
    EXPECT_TRUE(isCanonicalUpperUUID(first));
    EXPECT_NE(first, second);
    EXPECT_EQ(log->messages(),
              std::vector<std::string>(2,
                                       "[Sorvane] account device id not stored: Keychain error -25308: User "
                                       "interaction is not allowed."));
}

TEST(AccountCredentials, TokenIsStoredReplacedAndDeleted) {
    ScopedMemoryKeychain keychain;
    ScopedLogCapture log;
    const auto& credentials = AccountCredentials::live();
    EXPECT_TRUE(credentials.setToken(std::nullopt)) << "deleting no token is no error";
    EXPECT_EQ(credentials.token(), std::nullopt);

    EXPECT_TRUE(credentials.setToken("abc"));
    EXPECT_EQ(credentials.token(), "abc");
    EXPECT_TRUE(credentials.setToken("def"));
    EXPECT_EQ(credentials.token(), "def");
    EXPECT_EQ(keychain->updates(), 1) << "the second write updates the item in place";
    EXPECT_TRUE(credentials.setToken(""));
    EXPECT_EQ(credentials.token(), "");
    EXPECT_TRUE(credentials.setToken(std::nullopt));
    EXPECT_EQ(credentials.token(), std::nullopt);
    EXPECT_TRUE(log->messages().empty());
}

TEST(AccountCredentials, FailedTokenStoreIsLoggedWithoutTheToken) {
    ScopedMemoryKeychain keychain;
    ScopedLogCapture log;
    keychain->failAdds(KeychainStatusCode::notAvailable);
    EXPECT_FALSE(AccountCredentials::live().setToken("secret-token-value"));
    ASSERT_EQ(log->messages().size(), 1u);
    EXPECT_EQ(
        log->messages()[0],
        "[Sorvane] account token not stored: Keychain error -25291: No keychain is available. You may need "
        "to restart your computer.");
    EXPECT_FALSE(log->contains("secret-token-value"));
}

TEST(KeychainSecretStore, ReadsNothingForBytesThatAreNotUtf8OrAnUnreadableKeychain) {
    ScopedMemoryKeychain keychain;
    KeychainSecretStore store(kService);
    keychain->put(kService, "brindor-auth-token", std::string("\xc3\x28", 2));
    EXPECT_EQ(store.read("brindor-auth-token"), std::nullopt);
    keychain->put(kService, "brindor-auth-token", "ok");
    keychain->failCopies(KeychainStatusCode::authFailed);
    EXPECT_EQ(store.read("brindor-auth-token"), std::nullopt);
}

TEST(KeychainSecretStore, WriteReportsTheFailingStatus) {
    ScopedMemoryKeychain keychain;
    KeychainSecretStore store(kService);
    keychain->put(kService, "a", "old");
    keychain->failUpdates(KeychainStatusCode::interactionNotAllowed);
    auto written = store.write("new", "a");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().status, -25308);
    keychain->failRemoves(KeychainStatusCode::notAvailable);
    store.remove("a");  // never reports
}

TEST(PreviewSecretStore, KeepsNothing) {
    ScopedMemoryKeychain keychain;
    AccountCredentials credentials(std::make_shared<PreviewSecretStore>());
    EXPECT_TRUE(credentials.setToken("abc"));
    EXPECT_EQ(credentials.token(), std::nullopt);
    EXPECT_EQ(credentials.existingDeviceID(), std::nullopt);
    EXPECT_EQ(keychain->itemCount(), 0u);
}

TEST(AccountAPI, Addresses) {
    const std::string& base = AccountAPI::productionBaseURL();
    EXPECT_EQ(base.rfind("https://", 0), 0u);
    EXPECT_TRUE(base.ends_with("/brindor/api"));
    const std::string host = base.substr(8, base.find('/', 8) - 8);
    EXPECT_TRUE(host.ends_with(".example")) << host;
    EXPECT_EQ(AccountAPI::baseURL(), base);
    EXPECT_EQ(AccountAPI::predictionBaseURL(), base + "/sorvane/v1");
    EXPECT_EQ(AccountAPI::clientApp, "sorvane");
    EXPECT_EQ(AccountAPI::clientPlatform, "macos");
}

TEST(AccountAPI, AppendingPathComponent) {
    struct Case {
        const char* url;
        const char* component;
        const char* expected;
    };
    const Case cases[] = {
        {"https://h/brindor/api", "auth/me", "https://h/brindor/api/auth/me"},
        {"https://h/brindor/api/", "auth/me", "https://h/brindor/api/auth/me"},
        {"https://h/brindor/api", "/sorvane/v1", "https://h/brindor/api/sorvane/v1"},
        {"http://127.0.0.1:8080", "sorvane/v1", "http://127.0.0.1:8080/sorvane/v1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AccountAPI::appendingPathComponent(c.url, c.component), c.expected) << c.url;
    }
}

}  // namespace
}  // namespace sorvane
