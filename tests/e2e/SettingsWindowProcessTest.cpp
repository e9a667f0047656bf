// The settings window process: the lock, the forward of a page to the open
// window, SIGTERM. A private session bus and a temporary HOME per case; the
// test programs' entry gives each case its own runtime folder, so its lock
// never meets another case's or a real window's.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTimer>
#include <cstdlib>

#include "app/settings/SettingsLauncher.h"
#include "app/settings/SettingsRootView.h"
#include "app/settings/SettingsWindow.h"
#include "app/settings/blocks/SettingsSwitch.h"
#include "app/settings/pages/HotkeysPage.h"
#include "kit/settings/AppSettings.h"
#include "platform/files/FileLock.h"
#include "platform/files/Files.h"
#include "platform/qt/DistributedNotifications.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/KeyringDaemon.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::ScopedEnvironment;

const std::string kForwarded = "[Sorvane] settings window already open; forwarded page=";
const std::string kOpen = "[Sorvane] settings window open page=";

using testing::pumpUntil;

// Makes sure match rules sent before it have reached the bus.
void roundTrip() {
    QDBusConnection::sessionBus().interface()->isServiceRegistered("org.freedesktop.DBus");
}

class SettingsProcessTest : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> settings(const std::string& page) {
        auto child =
            std::make_unique<ChildProcess>(SORVANE_EXECUTABLE, std::vector<std::string>{"--settings", page},
                                           std::map<std::string, std::string>{{"SORVANE_LOG_STDERR", "1"}});
        EXPECT_TRUE(child->started());
        return child;
    }

    ScopedEnvironment platform_{"QT_QPA_PLATFORM", "offscreen"};
    testing::PrivateBus bus_;
    testing::TempHome home_;
};

// Cases that use the session bus from this process. Qt keeps a process's
// session-bus connection for the life of the process, so each of them runs
// in a process of its own (the drivers at the end), on its own bus.
class SettingsWindowInProcess : public SettingsProcessTest {
protected:
    static QApplication* makeApplication() {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        static int argc = 1;
        static char name[] = "tests_e2e";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }

    ~SettingsWindowInProcess() override { NotificationCenter::setShared(previousCenter_); }

    std::unique_ptr<QApplication> app_{makeApplication()};
    std::shared_ptr<NotificationCenter> previousCenter_ = NotificationCenter::shared();
};

TEST_F(SettingsWindowInProcess, DISABLED_WithTheLockHeldThePageIsForwarded) {
    ASSERT_TRUE(bus_.ok());
    FileLock held(SettingsWindow::lockPath(), FileLock::tryOnce);
    ASSERT_TRUE(held.held());
    FileLock again(SettingsWindow::lockPath(), FileLock::tryOnce);
    EXPECT_TRUE(again.heldElsewhere());

    DistributedNotifications observer;
    std::vector<NotificationUserInfo> received;
    observer.observe(SettingsLauncher::showNotification,
                     [&](const std::string&, const NotificationUserInfo& info) { received.push_back(info); });
    roundTrip();
    testing::ScopedLogCapture log;
    EXPECT_EQ(SettingsWindow::run(SettingsPage::about), 0);
    EXPECT_EQ(log->messages(), (std::vector<std::string>{kForwarded + "about"}));
    pumpUntil([&] { return !received.empty(); });
    EXPECT_EQ(received, (std::vector<NotificationUserInfo>{{{"page", "about"}}}));
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

TEST_F(SettingsProcessTest, TwoStartsAtOnceGiveOneWindowAndOneForwardAndSigtermEndsItWithZero) {
    ASSERT_TRUE(bus_.ok());
    std::unique_ptr<ChildProcess> children[] = {settings("general"), settings("general")};
    std::optional<int> ended[2];
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!ended[0] && !ended[1] && std::chrono::steady_clock::now() < deadline) {
        for (int i = 0; i < 2; ++i) ended[i] = children[i]->wait(20ms);
    }
    ASSERT_NE(ended[0].has_value(), ended[1].has_value()) << children[0]->err() << children[1]->err();
    ChildProcess& forwarder = *children[ended[0] ? 0 : 1];
    ChildProcess& window = *children[ended[0] ? 1 : 0];
    EXPECT_EQ(ended[0] ? ended[0] : ended[1], 0);
    EXPECT_NE(forwarder.err().find(kForwarded + "general"), std::string::npos) << forwarder.err();
    EXPECT_EQ(forwarder.err().find(kOpen), std::string::npos);

    ASSERT_TRUE(window.waitForStderr(kOpen + "general", 30s)) << window.err();
    window.signal(SIGTERM);
    EXPECT_EQ(window.wait(30s), 0) << window.err();
    EXPECT_EQ(window.err().find(kForwarded), std::string::npos);
}

// A lock path that cannot be a lock (a folder here) leaves the window
// without its lock: it opens all the same and says why in one line. And a
// hang-up while the window waits on a Secret Service that never answers ends
// it at once with 0, rather than once the keychain call gives up (3 s).
TEST_F(SettingsProcessTest, WithoutItsLockItSaysWhyAndAHangUpEndsItAtOnceWhateverTheKeychainDoes) {
    ASSERT_TRUE(bus_.ok());
    std::filesystem::create_directories(SettingsWindow::lockPath());
    testing::MuteBusName secrets("org.freedesktop.secrets");
    ASSERT_TRUE(secrets.owned());

    auto window = settings("ownKey");
    const std::string lockLine =
        "[Sorvane] settings lock not taken, window opens without it: " + SettingsWindow::lockPath().string() +
        ": ";
    ASSERT_TRUE(window->waitForStderr(lockLine, 30s)) << window->err();
    ASSERT_TRUE(testing::waitUntil([&] { return secrets.callsReceived() > 0; })) << window->err();
    const auto hungUp = std::chrono::steady_clock::now();
    window->signal(SIGHUP);
    EXPECT_EQ(window->wait(30s), 0) << window->err();
    // A call still waiting would end 3 s after it started.
    EXPECT_LT(std::chrono::steady_clock::now() - hungUp, 2s) << window->err();
    EXPECT_EQ(window->err().find("did not answer"), std::string::npos) << window->err();
}

TEST_F(SettingsWindowInProcess, DISABLED_AWindowHereTakesAPageForwardedByTheExecutable) {
    ASSERT_TRUE(bus_.ok());
    std::unique_ptr<ChildProcess> second;
    bool shown = false;
    auto titleShown = [](const char* text) {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            for (QWidget* child : top->findChildren<QWidget*>()) {
                const auto* root = dynamic_cast<SettingsRootView*>(child);
                if (root && root->isVisible() && root->titleText() == QString::fromUtf8(text)) return true;
            }
        }
        return false;
    };
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!second) {
            if (!titleShown("Sorvane输入法")) return;
            second = settings("about");
            return;
        }
        if (!titleShown("关于与支持")) return;
        shown = true;
        if (QWidget* window = QApplication::activeWindow()) window->close();
        for (QWidget* top : QApplication::topLevelWidgets()) top->close();
    });
    poll.start();
    QTimer::singleShot(30s, [] {
        for (QWidget* top : QApplication::topLevelWidgets()) top->close();
    });
    testing::ScopedLogCapture log;
    EXPECT_EQ(SettingsWindow::run(SettingsPage::welcome), 0);
    poll.stop();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(log->contains(kOpen + "welcome"));
    EXPECT_TRUE(log->contains("[Sorvane] settings window closed"));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->wait(30s), 0);
    EXPECT_NE(second->err().find(kForwarded + "about"), std::string::npos) << second->err();
}

TEST_F(SettingsWindowInProcess, DISABLED_TheLauncherStartsARealWindowAndForwardsTheNextOpen) {
    ASSERT_TRUE(bus_.ok());
    DistributedNotifications center;
    std::vector<NotificationUserInfo> received;
    center.observe(SettingsLauncher::showNotification,
                   [&](const std::string&, const NotificationUserInfo& info) { received.push_back(info); });
    roundTrip();
    testing::VirtualTime time;
    auto shared = std::shared_ptr<NotificationCenter>(&center, [](NotificationCenter*) {});
    SettingsLauncher::Launcher launcher(SettingsLauncher::Launcher::Services{
        [] { return std::optional<std::filesystem::path>(SORVANE_EXECUTABLE); }, [shared] { return shared; },
        time});
    launcher.open(SettingsPage::hotkeys);
    ASSERT_TRUE(launcher.child());
    const pid_t pid = *launcher.child();
    // The window takes the lock: a try from here finds it held.
    pumpUntil([] { return FileLock(SettingsWindow::lockPath(), FileLock::tryOnce).heldElsewhere(); });
    EXPECT_TRUE(launcher.childIsRunning());

    launcher.open(SettingsPage::general);
    EXPECT_EQ(launcher.child(), pid) << "no second process";
    pumpUntil([&] { return !received.empty(); });
    EXPECT_EQ(received, (std::vector<NotificationUserInfo>{{{"page", "general"}}}));

    ::kill(pid, SIGTERM);
    pumpUntil([&] {
        time.runPending();
        return !launcher.child();
    });
    EXPECT_FALSE(launcher.child()) << "ended, reaped and forgotten";
    siginfo_t info{};
    EXPECT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG), -1);
    // And the lock is free again.
    EXPECT_TRUE(FileLock(SettingsWindow::lockPath(), FileLock::tryOnce).held());
}

// A change made in the window is saved and announced on the bus, where the
// server's live settings hear it.
TEST_F(SettingsWindowInProcess, DISABLED_AChangeInTheWindowIsSavedAndAnnounced) {
    ASSERT_TRUE(bus_.ok());
    DistributedNotifications center;
    int announced = 0;
    center.observe(AppSettingsFile::changedNotification,
                   [&](const std::string&, const NotificationUserInfo&) { ++announced; });
    roundTrip();
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            for (QWidget* child : top->findChildren<QWidget*>()) {
                auto* page = dynamic_cast<HotkeysPage*>(child);
                if (!page || !page->isVisible()) continue;
                if (announced == 0 && page->lockSwitch()->isChecked()) page->lockSwitch()->click();
                if (announced > 0) top->close();
            }
        }
    });
    poll.start();
    QTimer::singleShot(30s, [] {
        for (QWidget* top : QApplication::topLevelWidgets()) top->close();
    });
    EXPECT_EQ(SettingsWindow::run(SettingsPage::hotkeys), 0);
    EXPECT_EQ(announced, 1);
    const auto saved = AppSettingsFile{Files::supportDirectory() / "settings.json", nullptr}.load();
    ASSERT_TRUE(saved);
    EXPECT_FALSE(saved->doubleShiftLock);
}

// Runs one of the cases above alone in a new process of this test program.
void runAlone(const std::string& name) {
    const auto r = ChildProcess::run(
        "/proc/self/exe",
        {"--gtest_also_run_disabled_tests", "--gtest_filter=SettingsWindowInProcess.DISABLED_" + name}, {},
        90s);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[  PASSED  ] 1 test."), std::string::npos) << r.out;
}

TEST(SettingsWindowProcessTest, WithTheLockHeldThePageIsForwarded) {
    runAlone("WithTheLockHeldThePageIsForwarded");
}

TEST(SettingsWindowProcessTest, AWindowHereTakesAPageForwardedByTheExecutable) {
    runAlone("AWindowHereTakesAPageForwardedByTheExecutable");
}

TEST(SettingsWindowProcessTest, AChangeInTheWindowIsSavedAndAnnounced) {
    runAlone("AChangeInTheWindowIsSavedAndAnnounced");
}

TEST(SettingsWindowProcessTest, TheLauncherStartsARealWindowAndForwardsTheNextOpen) {
    runAlone("TheLauncherStartsARealWindowAndForwardsTheNextOpen");
}

// Another test program of the same run (same HOME, same runtime folder as
// the run was given) holds the settings lock: a test's own window still
// opens, since every test has a runtime folder of its own.
TEST(SettingsWindowIsolation, ALockHeldWhereTheRunWasStartedDoesNotReachATest) {
    testing::TempDir ambient;
    const std::map<std::string, std::string> environment{
        {"HOME", (ambient.path() / "home").string()},
        {"XDG_RUNTIME_DIR", (ambient.path() / "run").string()},
        {"SORVANE_TEST_ISOLATION", ""}};
    std::filesystem::path lock;
    {
        ScopedEnvironment there;
        for (const auto& [name, value] : environment) there.set(name, value);
        lock = SettingsWindow::lockPath();
    }
    std::filesystem::create_directories(lock.parent_path());
    // One process holds it, and goes with the test: flock becomes the sleep
    // rather than leave a child of its own holding the lock.
    ChildProcess holder("/usr/bin/flock", {"--nonblock", "--no-fork", lock.string(), "sleep", "120"});
    ASSERT_TRUE(testing::waitUntil([&] { return FileLock(lock, FileLock::tryOnce).heldElsewhere(); }));

    const auto r = ChildProcess::run(
        "/proc/self/exe",
        {"--gtest_also_run_disabled_tests", "--gtest_filter=SettingsWindowIsolation.DISABLED_AWindowOpens"},
        environment, 90s);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[  PASSED  ] 1 test."), std::string::npos) << r.out;
}

TEST(SettingsWindowIsolation, DISABLED_AWindowOpens) {
    testing::PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    ChildProcess window(SORVANE_EXECUTABLE, {"--settings", "about"},
                        {{"SORVANE_LOG_STDERR", "1"}, {"QT_QPA_PLATFORM", "offscreen"}});
    ASSERT_TRUE(window.waitForStderr(kOpen + "about", 30s)) << window.err();
    window.signal(SIGTERM);
    EXPECT_EQ(window.wait(30s), 0) << window.err();
}

}  // namespace
}  // namespace sorvane
