#include "tests/support/KeyringDaemon.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/PumpUntil.h"

extern char** environ;

namespace sorvane::testing {

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string dirs = path;
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = dirs.find(':', start);
        const std::string dir =
            dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return false;
}

GDBusConnection* privateConnection() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address) return nullptr;
    GError* error = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_clear_error(&error);
    return bus;
}

bool secretServiceOnBus() {
    GError* error = nullptr;
    GDBusConnection* bus = privateConnection();
    if (!bus) return false;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
        g_variant_new("(s)", "org.freedesktop.secrets"), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000,
        nullptr, &error);
    g_object_unref(bus);
    if (!reply) {
        g_clear_error(&error);
        return false;
    }
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned;
}

MuteBusName::MuteBusName(const char* name) : bus_(privateConnection()) {
    if (!bus_) return;
    // Filters see every message before the connection would answer one
    // itself (Peer, Introspect): calls are dropped unanswered, and only
    // replies to our own calls get through.
    g_dbus_connection_add_filter(
        bus_,
        [](GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer calls) -> GDBusMessage* {
            if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
                ++**static_cast<std::shared_ptr<std::atomic<int>>*>(calls);
                g_object_unref(message);
                return nullptr;
            }
            return message;
        },
        new std::shared_ptr<std::atomic<int>>(calls_),
        [](gpointer held) { delete static_cast<std::shared_ptr<std::atomic<int>>*>(held); });
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", name, 4u /* do not queue */), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
        5000, nullptr, &error);
    if (!reply) {
        g_clear_error(&error);
        return;
    }
    guint32 result = 0;
    g_variant_get(reply, "(u)", &result);
    g_variant_unref(reply);
    owned_ = result == 1;  // the primary owner
}

MuteBusName::~MuteBusName() {
    if (!bus_) return;
    g_dbus_connection_close_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
}

// Fed an empty password on standard input, the daemon creates and unlocks the
// login keyring without a prompt.
KeyringDaemon::KeyringDaemon() {
    int input[2];
    if (pipe2(input, O_CLOEXEC) != 0) return;
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, devNull, 1);
    char* argv[] = {const_cast<char*>("gnome-keyring-daemon"), const_cast<char*>("--foreground"),
                    const_cast<char*>("--unlock"), const_cast<char*>("--components=secrets"), nullptr};
    if (posix_spawnp(&pid_, "gnome-keyring-daemon", &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    ::close(devNull);
    // An empty password ends with its newline; with no line at all the
    // daemon creates no login keyring and every write would prompt.
    [[maybe_unused]] const ssize_t n = ::write(input[1], "\n", 1);
    ::close(input[1]);
    ready_ = pid_ > 0 && waitUntil([] { return secretServiceOnBus(); });
}

KeyringDaemon::~KeyringDaemon() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

}  // namespace sorvane::testing
