#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QThread>
#include <QTimer>
#include <cstdlib>
#include <string>

#include "kit/AppSettings.h"
#include "platform/qt/DistributedNotifications.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;
using testing::PrivateBus;
using testing::ScopedLogCapture;
using testing::TempHome;

int qtArgc = 1;
char qtName[] = "tests";
char* qtArgv[] = {qtName, nullptr};

void runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// Reads one line from fd, serving the event loop meanwhile; empty on timeout.
std::string readLine(int fd, std::chrono::milliseconds limit) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        char c;
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) break;
        if (c == '\n') return line;
        line += c;
    }
    return line;
}

void writeLine(int fd, const std::string& line) {
    const std::string text = line + "\n";
    if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) _exit(4);
}

// Makes sure match rules sent before it have reached the bus.
void roundTrip() {
    QDBusConnection::sessionBus().interface()->isServiceRegistered("org.freedesktop.DBus");
}

TEST(DistributedNotifications, NameMapping) {
    struct Case {
        const char* name;
        const char* interface;  // nullptr: not a usable name
        const char* member;
    };
    const Case cases[] = {
        {"cn.kestrum.inputmethod.Sorvane.settingsChanged", "cn.kestrum.inputmethod.Sorvane",
         "settingsChanged"},
        {"cn.kestrum.inputmethod.Sorvane.showSettings", "cn.kestrum.inputmethod.Sorvane", "showSettings"},
        {"a.b", "a", "b"},
        {"noDots", nullptr, nullptr},
        {"trailing.", nullptr, nullptr},
        {".leading", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        const auto mapped = DistributedNotifications::signalName(c.name);
        if (!c.interface) {
            EXPECT_FALSE(mapped) << c.name;
            continue;
        }
        ASSERT_TRUE(mapped) << c.name;
        EXPECT_EQ(mapped->interface, c.interface);
        EXPECT_EQ(mapped->member, c.member);
    }
}

TEST(DistributedNotifications, PostReachesObserverOnMainThreadWithUserInfo) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    QCoreApplication app(qtArgc, qtArgv);
    DistributedNotifications center;
    std::vector<NotificationUserInfo> received;
    bool onMainThread = false;
    int otherNameCalls = 0;
    center.observe("cn.kestrum.inputmethod.Sorvane.showSettings",
                   [&](const std::string& name, const NotificationUserInfo& info) {
                       EXPECT_EQ(name, "cn.kestrum.inputmethod.Sorvane.showSettings");
                       onMainThread = QThread::currentThread() == app.thread();
                       received.push_back(info);
                   });
    const auto removed =
        center.observe("cn.kestrum.inputmethod.Sorvane.showSettings",
                       [&](const std::string&, const NotificationUserInfo&) { ++otherNameCalls; });
    center.observe("cn.kestrum.inputmethod.Sorvane.settingsChanged",
                   [&](const std::string&, const NotificationUserInfo&) { ++otherNameCalls; });
    center.removeObserver(removed);
    roundTrip();
    ASSERT_TRUE(
        center.post("cn.kestrum.inputmethod.Sorvane.showSettings", {{"page", "account"}, {"说明", "中文"}}));
    runUntil([&] { return !received.empty(); });
    runUntil([] { return false; }, 50ms);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (NotificationUserInfo{{"page", "account"}, {"说明", "中文"}}));
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(otherNameCalls, 0);
}

TEST(DistributedNotifications, WithoutABusPostingFailsWithALogRecord) {
    TempHome home;
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (home.path() / "no-bus").string()).c_str(), 1);
    QCoreApplication app(qtArgc, qtArgv);
    DistributedNotifications center;
    ScopedLogCapture capture;
    EXPECT_FALSE(center.post("cn.kestrum.inputmethod.Sorvane.settingsChanged"));
    center.observe("cn.kestrum.inputmethod.Sorvane.settingsChanged",
                   [](const std::string&, const NotificationUserInfo&) {});
    const auto messages = capture->messages();
    ASSERT_GE(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(
                  "[Sorvane] notification not posted: cn.kestrum.inputmethod.Sorvane.settingsChanged (", 0),
              0u)
        << messages[0];
}

TEST(DistributedNotifications, BadNameIsNotPosted) {
    PrivateBus bus;
    QCoreApplication app(qtArgc, qtArgv);
    DistributedNotifications center;
    ScopedLogCapture capture;
    EXPECT_FALSE(center.post("settingsChanged"));
    ASSERT_EQ(capture->messages().size(), 1u);
    EXPECT_EQ(capture->messages()[0],
              "[Sorvane] notification not posted: settingsChanged (not a notification name)");
}

// The settings process saves with notify; the server process hears the
// notification and its live settings give the new values on the next read.
TEST(DistributedNotifications, SettingsSavedInOneProcessReachTheOther) {
    TempHome home;
    PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    int toParent[2];
    ASSERT_EQ(pipe(toParent), 0);
    const AppSettings saved{ToggleKey::rightShift, false, AcceptKeys::tabFull, false};

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(toParent[0]);
        QCoreApplication app(qtArgc, qtArgv);
        const bool defaultsFirst = LiveSettings::current() == AppSettings{};
        auto center = DistributedNotifications::shared();
        center->observe(
            AppSettingsFile::changedNotification, [&](const std::string&, const NotificationUserInfo&) {
                LiveSettings::invalidate();
                const AppSettings now = LiveSettings::current();
                writeLine(toParent[1], std::string("arrived ") + (defaultsFirst ? "defaultsFirst " : "") +
                                           std::string(rawValue(now.toggleKey)) + " " +
                                           (now.doubleShiftLock ? "true" : "false") + " " +
                                           std::string(rawValue(now.acceptKeys)) + " " +
                                           (now.autoCheckUpdates ? "true" : "false"));
                app.quit();
            });
        roundTrip();
        writeLine(toParent[1], "ready");
        QTimer::singleShot(10000, &app, [&] { app.exit(2); });
        _exit(app.exec());
    }
    ::close(toParent[1]);
    ASSERT_EQ(readLine(toParent[0], 10000ms), "ready");
    QCoreApplication app(qtArgc, qtArgv);
    NotificationCenter::setShared(DistributedNotifications::shared());
    AppSettingsFile::live().save(saved, true);
    const std::string result = readLine(toParent[0], 10000ms);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(result, "arrived defaultsFirst rightShift false tabFull false");
    EXPECT_EQ(AppSettingsFile::live().load(), saved);
}

}  // namespace
}  // namespace sorvane
