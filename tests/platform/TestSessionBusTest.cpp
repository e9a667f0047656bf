// The tests on a developer's desktop. There the shell has a display, and
// either no session address or the desktop's own. A test reaches no bus but
// one it makes: with no address, libdbus and GLib would start a bus through
// the display (dbus-launch --autolaunch) that outlives the tests and that
// every test program on that display shares. And nothing a test starts goes
// to the display.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/files/UniqueFd.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/KeyringDaemon.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/ScopedEnvironment.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;

// An X display that hangs up on whoever connects: starting a bus through a
// display begins with connecting to it, and fails here at once instead of
// waiting for an answer. On the abstract socket that libxcb tries first for
// ":N", so nothing is made in /tmp/.X11-unix.
class HangingUpDisplay {
public:
    HangingUpDisplay() : socket_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
        for (int number = 6000 + ::getpid() % 1000, tries = 0; socket_.valid() && tries < 100;
             ++number, ++tries) {
            const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path + 1, path.data(), path.size());
            const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
            if (::bind(socket_.get(), reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
                ::listen(socket_.get(), 16) == 0) {
                name_ = ":" + std::to_string(number);
                return;
            }
        }
    }

    const std::string& name() const { return name_; }
    bool ok() const { return !name_.empty(); }

    // Hangs up on the connections waiting; how many came in all.
    int connections() {
        for (int fd; (fd = ::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ++connections_)
            ::close(fd);
        return connections_;
    }

private:
    UniqueFd socket_;
    std::string name_;
    int connections_ = 0;
};

// A test program started from such a shell, run by the test below: neither
// Qt's libdbus nor GLib (libsecret's way to the bus) finds a bus, and both
// tried the program's own address rather than starting one.
TEST(TestSessionBus, DISABLED_ProgramStartedOnADesktop) {
    int argc = 1;
    char name[] = "tests_platform";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const QDBusConnection qt = QDBusConnection::sessionBus();
    EXPECT_FALSE(qt.isConnected());
    GError* error = nullptr;
    GDBusConnection* glib = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    EXPECT_EQ(glib, nullptr);
    if (glib) g_object_unref(glib);
    ASSERT_NE(error, nullptr);
    const std::string glibError = error->message;
    const bool glibFoundNoSocket = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND);
    g_error_free(error);

    // The address they tried: a socket in the program's own folder, never made.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    ASSERT_NE(address, nullptr);
    const std::string unixPath = "unix:path=";
    ASSERT_EQ(std::string(address).rfind(unixPath, 0), 0u) << address;
    const std::string qtError = qt.lastError().message().toStdString();
    EXPECT_NE(qtError.find(address + unixPath.size()), std::string::npos) << qtError;
    EXPECT_TRUE(glibFoundNoSocket) << glibError;
}

TEST(TestSessionBus, OnADesktopATestReachesNoBusAndNothingReachesTheDisplay) {
    HangingUpDisplay display;
    ASSERT_TRUE(display.ok());
    testing::ScopedEnvironment desktop("DISPLAY", display.name());

    // A bus a test makes starts its services with no display: the keyring's
    // password prompt would open there and wait for a person.
    testing::PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    GDBusConnection* connection = testing::privateConnection();
    ASSERT_NE(connection, nullptr);
    GVariant* started = g_dbus_connection_call_sync(
        connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "StartServiceByName", g_variant_new("(su)", "org.gnome.keyring.SystemPrompter", 0u), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 30'000, nullptr, nullptr);
    if (started) g_variant_unref(started);
    g_object_unref(connection);

    // A test program started there, with no session address or with the
    // desktop's bus.
    for (const auto& shellAddress : {std::optional<std::string>(), std::optional(bus.address())}) {
        SCOPED_TRACE(shellAddress.value_or("no session address"));
        testing::ScopedEnvironment shell("DBUS_SESSION_BUS_ADDRESS", shellAddress);
        testing::ChildProcess program("/proc/self/exe",
                                      {"--gtest_also_run_disabled_tests",
                                       "--gtest_filter=TestSessionBus.DISABLED_ProgramStartedOnADesktop"},
                                      {{"SORVANE_TEST_ISOLATION", ""}});
        ASSERT_TRUE(program.started());
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        std::optional<int> status;
        while (!(status = program.wait(20ms)) && std::chrono::steady_clock::now() < deadline)
            display.connections();
        EXPECT_EQ(status, 0) << program.out() << program.err();
        EXPECT_NE(program.out().find("[  PASSED  ] 1 test."), std::string::npos) << program.out();
    }
    EXPECT_EQ(display.connections(), 0) << "something went to the display";
}

}  // namespace
}  // namespace sorvane
