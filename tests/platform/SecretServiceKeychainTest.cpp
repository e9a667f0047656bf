// The keychain stand-in against a real Secret Service: a gnome-keyring-daemon
// on a private bus in a temporary home, its login keyring unlocked with an
// empty password.
#include <fcntl.h>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <libsecret/secret.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "kit/account/AccountCredentials.h"
#include "kit/route/Secrets.h"
#include "platform/Keychain.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/KeyringDaemon.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempHome.h"

extern char** environ;

namespace sorvane {
namespace {

using testing::KeyringDaemon;
using testing::onPath;
using testing::PrivateBus;
using testing::privateConnection;
using testing::ScopedLogCapture;
using testing::TempHome;

class SecretServiceKeychainTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!onPath("gnome-keyring-daemon")) GTEST_SKIP() << "gnome-keyring-daemon is not installed";
        if (!onPath("dbus-daemon")) GTEST_SKIP() << "dbus-daemon is not installed";
        // libsecret keeps its service, and with it the bus connection, for
        // the process: this case's daemon is on a bus of its own.
        secret_service_disconnect();
        home_ = std::make_unique<TempHome>();
        const auto runtime = home_->path() / "run";
        std::filesystem::create_directories(runtime);
        ::chmod(runtime.c_str(), 0700);
        environment_.set("XDG_RUNTIME_DIR", runtime.string());
        environment_.set("XDG_DATA_HOME", (home_->path() / ".local/share").string());
        environment_.set("DEEPSEEK_API_KEY", std::nullopt);
        bus_ = std::make_unique<PrivateBus>();
        ASSERT_TRUE(bus_->ok());
        daemon_ = std::make_unique<KeyringDaemon>();
        ASSERT_TRUE(daemon_->ready()) << "gnome-keyring-daemon did not take the bus name";
    }
    void TearDown() override {
        // Let go of libsecret's connection before its bus goes away, and keep
        // the process's shared session connection from ending the process
        // when it sees the bus close (its default).
        secret_service_disconnect();
        if (GDBusConnection* shared = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
            g_dbus_connection_set_exit_on_close(shared, FALSE);
            g_object_unref(shared);
        }
        daemon_.reset();
        bus_.reset();
        home_.reset();
    }

    testing::ScopedEnvironment environment_;
    std::unique_ptr<TempHome> home_;
    std::unique_ptr<PrivateBus> bus_;
    std::unique_ptr<KeyringDaemon> daemon_;
};

// Locks the login keyring the way a screen lock would, with no prompt.
bool lockLoginKeyring() {
    GError* error = nullptr;
    GDBusConnection* bus = privateConnection();
    if (!bus) return false;
    const char* paths[] = {"/org/freedesktop/secrets/collection/login", nullptr};
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "Lock",
        g_variant_new("(^ao)", paths), nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    g_object_unref(bus);
    if (!reply) {
        g_clear_error(&error);
        return false;
    }
    g_variant_unref(reply);
    return true;
}

// One daemon on one bus for the whole sequence: the process keeps its
// first session connection, so a second daemon on a second bus would never
// be reached. Items first, then status codes, then the lock, which stays.
TEST_F(SecretServiceKeychainTest, ItemsStatusCodesAndTheLockedKeyring) {
    {
        ScopedLogCapture log;
        const auto& credentials = AccountCredentials::live();

        // The DeepSeek key, through the key store.
        EXPECT_EQ(Secrets::keychainAPIKey(), std::nullopt);
        ASSERT_TRUE(Secrets::storeDeepSeekAPIKey("  sk-first-key-0001\n"));
        EXPECT_EQ(Secrets::keychainAPIKey(), "sk-first-key-0001");
        ASSERT_TRUE(Secrets::storeDeepSeekAPIKey("sk-second-key-0002"));
        EXPECT_EQ(Secrets::keychainAPIKey(), "sk-second-key-0002");
        auto resolved = Secrets::resolveDeepSeekAPIKey();
        ASSERT_TRUE(resolved);
        EXPECT_EQ(resolved->source, Secrets::Source::keychain);
        ASSERT_TRUE(Secrets::deleteDeepSeekAPIKey());
        EXPECT_EQ(Secrets::keychainAPIKey(), std::nullopt);
        EXPECT_TRUE(Secrets::deleteDeepSeekAPIKey()) << "deleting a missing key succeeds";

        // The account token, with non-ASCII text to show the UTF-8 round trip.
        EXPECT_EQ(credentials.token(), std::nullopt);
        EXPECT_TRUE(credentials.setToken("tok-一-abc"));
        EXPECT_EQ(credentials.token(), "tok-一-abc");
        EXPECT_TRUE(credentials.setToken("tok-二"));
        EXPECT_EQ(credentials.token(), "tok-二");
        EXPECT_TRUE(credentials.setToken(std::nullopt));
        EXPECT_EQ(credentials.token(), std::nullopt);

        // The device id: created once, then kept.
        EXPECT_EQ(credentials.existingDeviceID(), std::nullopt);
        const std::string id = credentials.deviceID();
        EXPECT_EQ(id.size(), 36u);
        EXPECT_EQ(credentials.existingDeviceID(), id);
        EXPECT_EQ(credentials.deviceID(), id);
        ASSERT_TRUE(credentials.store->write("DEVICE-2", AccountCredentials::deviceIDAccount));
        EXPECT_EQ(credentials.existingDeviceID(), "DEVICE-2");
        credentials.store->remove(AccountCredentials::deviceIDAccount);
        EXPECT_EQ(credentials.existingDeviceID(), std::nullopt);

        EXPECT_TRUE(log->messages().empty());
    }
    {
        SecretServiceKeychain keychain;
        const KeychainItemKey key{"cn.kestrum.inputmethod.test", "item", std::nullopt};
        auto missing = keychain.copy(key);
        ASSERT_FALSE(missing);
        EXPECT_EQ(missing.error(), KeychainStatusCode::itemNotFound);
        EXPECT_EQ(keychain.update(key, "x"), KeychainStatusCode::itemNotFound);
        EXPECT_EQ(keychain.remove(key), KeychainStatusCode::itemNotFound);

        EXPECT_EQ(keychain.add(key, "one"), KeychainStatusCode::success);
        EXPECT_EQ(keychain.add(key, "two"), KeychainStatusCode::duplicateItem);
        EXPECT_EQ(keychain.copy(key).value(), "one");
        EXPECT_EQ(keychain.update(key, "two"), KeychainStatusCode::success);
        EXPECT_EQ(keychain.copy(key).value(), "two");

        // Another account and another service are other items.
        const KeychainItemKey other{"cn.kestrum.inputmethod.test", "other", std::nullopt};
        const KeychainItemKey foreign{"org.example.elsewhere", "item", std::nullopt};
        EXPECT_FALSE(keychain.copy(other));
        EXPECT_FALSE(keychain.copy(foreign));

        // Bytes that are not UTF-8 come back as stored; the stores above refuse them.
        const std::string raw("\xff\xfe\x00z", 4);
        EXPECT_EQ(keychain.update(key, raw), KeychainStatusCode::success);
        EXPECT_EQ(keychain.copy(key).value(), raw);

        EXPECT_EQ(keychain.remove(key), KeychainStatusCode::success);
        EXPECT_EQ(keychain.copy(key).error(), KeychainStatusCode::itemNotFound);
    }
    SecretServiceKeychain keychain;
    const KeychainItemKey key{"cn.kestrum.inputmethod", "brindor-auth-token", std::nullopt};
    ASSERT_EQ(keychain.add(key, "token"), KeychainStatusCode::success);
    ASSERT_TRUE(lockLoginKeyring());

    auto read = keychain.copy(key);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error(), KeychainStatusCode::interactionNotAllowed);
    EXPECT_EQ(keychain.update(key, "other"), KeychainStatusCode::interactionNotAllowed);
    // A locked keychain looks like an empty one to the readers: signed out.
    EXPECT_EQ(AccountCredentials::live().token(), std::nullopt);
}

TEST(SecretServiceKeychainWithoutBus, IsNotAvailable) {
    TempHome home;
    secret_service_disconnect();
    testing::ScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS",
                                     "unix:path=" + (home.path() / "no-bus").string());
    SecretServiceKeychain keychain;
    const KeychainItemKey key{"cn.kestrum.inputmethod", "deepseek", std::nullopt};
    auto read = keychain.copy(key);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error(), KeychainStatusCode::notAvailable);
    EXPECT_EQ(keychain.add(key, "x"), KeychainStatusCode::notAvailable);
    EXPECT_EQ(keychain.remove(key), KeychainStatusCode::notAvailable);
}

}  // namespace
}  // namespace sorvane
