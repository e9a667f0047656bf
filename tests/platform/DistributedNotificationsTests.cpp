#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <cstdlib>
#include <string>

#include "kit/settings/AppSettings.h"
#include "platform/qt/DistributedNotifications.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/ScopedEnvironment.h"
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

void writeLine(int fd, const std::string& line) {
    const std::string text = line + "\n";
    if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) _exit(4);
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
    NotificationObserverId later = 0;
    // It removes a later observer of its name while it is called.
    center.observe("cn.kestrum.inputmethod.Sorvane.showSettings",
                   [&](const std::string& name, const NotificationUserInfo& info) {
                       center.removeObserver(later);
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
    later = center.observe("cn.kestrum.inputmethod.Sorvane.showSettings",
                           [&](const std::string&, const NotificationUserInfo&) { ++otherNameCalls; });
    ASSERT_TRUE(
        center.post("cn.kestrum.inputmethod.Sorvane.showSettings", {{"page", "account"}, {"说明", "中文"}}));
    ASSERT_TRUE(testing::pumpUntil([&] { return !received.empty(); }));
    testing::pumpFor(50ms);  // nothing to wait for: a second delivery has this long to come
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (NotificationUserInfo{{"page", "account"}, {"说明", "中文"}}));
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(otherNameCalls, 0);
}

TEST(DistributedNotifications, WithoutABusPostingFailsWithALogRecord) {
    TempHome home;
    testing::ScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS",
                                     "unix:path=" + (home.path() / "no-bus").string());
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

// The server's side of the test below, run by it as a process of its own
// (a fork of a process that has run Qt and D-Bus threads is not safe): it
// says "ready" once it observes, then what its live settings read when the
// notification arrives.
TEST(DistributedNotifications, ReceivingProcess) {
    if (!std::getenv("SORVANE_TEST_RECEIVER"))
        GTEST_SKIP() << "the child of SettingsSavedInOneProcessReachTheOther";
    QCoreApplication app(qtArgc, qtArgv);
    const bool defaultsFirst = LiveSettings::current() == AppSettings{};
    auto center = std::make_shared<DistributedNotifications>();
    center->observe(
        AppSettingsFile::changedNotification, [&](const std::string&, const NotificationUserInfo&) {
            LiveSettings::invalidate();
            const AppSettings now = LiveSettings::current();
            writeLine(STDERR_FILENO, std::string("arrived ") + (defaultsFirst ? "defaultsFirst " : "") +
                                         std::string(rawValue(now.toggleKey)) + " " +
                                         (now.doubleShiftLock ? "true" : "false") + " " +
                                         std::string(rawValue(now.acceptKeys)) + " " +
                                         (now.autoCheckUpdates ? "true" : "false"));
            app.quit();
        });
    writeLine(STDERR_FILENO, "ready");
    QTimer::singleShot(10000, &app, [&] { app.exit(2); });
    EXPECT_EQ(app.exec(), 0);
}

// The settings process saves with notify; the server process hears the
// notification and its live settings give the new values on the next read.
TEST(DistributedNotifications, SettingsSavedInOneProcessReachTheOther) {
    TempHome home;
    PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    const AppSettings saved{ToggleKey::rightShift, false, AcceptKeys::tabFull, false};
    // Killed by its destructor if it is still running when the test ends.
    testing::ChildProcess receiver("/proc/self/exe",
                                   {"--gtest_filter=DistributedNotifications.ReceivingProcess"},
                                   {{"SORVANE_TEST_RECEIVER", "1"}, {"HOME", home.path().string()}});
    ASSERT_TRUE(receiver.started());
    ASSERT_TRUE(receiver.waitForStderr("ready\n", 10000ms)) << receiver.err();
    QCoreApplication app(qtArgc, qtArgv);
    const AppSettingsFile file{home.path() / "Library/SorvaneIME/settings.json",
                               std::make_shared<DistributedNotifications>()};
    file.save(saved, true);
    EXPECT_EQ(receiver.wait(10000ms), 0) << receiver.out();
    EXPECT_NE(receiver.err().find("arrived defaultsFirst rightShift false tabFull false\n"),
              std::string::npos)
        << receiver.err();
    EXPECT_EQ(file.load(), saved);
}

}  // namespace
}  // namespace sorvane
