// The settings launcher, menu and pages, and the first-run welcome trigger.
// The launcher really spawns: small shell scripts stand in for the settings
// process so a test decides how long the "window" stays open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <functional>
#include <thread>

#include "app/server/GhostTest.h"
#include "app/settings/SettingsLauncher.h"
#include "app/settings/SettingsMenu.h"
#include "app/settings/WelcomeTrigger.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FilePermissions.h"
#include "tests/support/MemoryUserDefaults.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/RecordingNotificationCenter.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(SettingsPageTest, RawValuesRoundTripAndAreCaseSensitive) {
    const std::vector<std::string> expected = {"welcome", "account", "hotkeys", "general", "about",
                                               "service", "ownKey",  "privacy", "rhythm"};
    ASSERT_EQ(allSettingsPages.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(rawValue(allSettingsPages[i]), expected[i]);
        EXPECT_EQ(settingsPageFromRaw(expected[i]), allSettingsPages[i]);
    }
    for (const char* bad : {"", "Welcome", "ownkey", "OWNKEY", "welcome ", "settings"})
        EXPECT_EQ(settingsPageFromRaw(bad), std::nullopt) << bad;
}

TEST(SettingsLauncherTest, PageFromUserInfo) {
    using SettingsLauncher::page;
    EXPECT_EQ(page(std::nullopt), std::nullopt);
    EXPECT_EQ(page(NotificationUserInfo{}), std::nullopt);
    EXPECT_EQ(page(NotificationUserInfo{{"pages", "about"}}), std::nullopt);
    EXPECT_EQ(page(NotificationUserInfo{{"page", "3"}}), std::nullopt);
    EXPECT_EQ(page(NotificationUserInfo{{"page", "About"}}), std::nullopt);
    EXPECT_EQ(page(NotificationUserInfo{{"page", "about"}, {"other", "x"}}), SettingsPage::about);
    EXPECT_EQ(page(NotificationUserInfo{{"page", "rhythm"}}), SettingsPage::rhythm);
}

TEST(SettingsMenuTest, OneItemWithoutKeyEquivalent) {
    const auto menu = SettingsMenu::make();
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0].title, "设置…");
    EXPECT_EQ(menu[0].action, "openSettings:");
    EXPECT_EQ(menu[0].keyEquivalent, "");
}

class LauncherTest : public ::testing::Test {
protected:
    // A stand-in settings process: records its arguments, then lives for
    // `seconds`.
    fs::path script(const std::string& name, double seconds) {
        const fs::path path = dir_.path() / name;
        std::ofstream(path) << "#!/bin/sh\necho \"$@\" >> '" << (dir_.path() / "args").string()
                            << "'\nexec sleep " << seconds << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }

    std::unique_ptr<SettingsLauncher::Launcher> launcher() {
        return std::make_unique<SettingsLauncher::Launcher>(SettingsLauncher::Launcher::Services{
            [this] { return program_; }, [this] { return center_; }, time_});
    }

    static bool waitUntilEnded(const SettingsLauncher::Launcher& l) {
        return testing::waitUntil([&] { return !l.childIsRunning(); });
    }

    // Polls until `done` holds, running the virtual main queue in between.
    bool eventually(const std::function<bool()>& done) {
        return testing::waitUntil([&] {
            time_.runPending();
            return done();
        });
    }

    static bool collected(pid_t pid) {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == -1 &&
               errno == ECHILD;
    }

    std::string args() const {
        std::ifstream in(dir_.path() / "args");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    testing::TempDir dir_;
    std::optional<fs::path> program_;
    testing::VirtualTime time_;
    testing::ScopedLogCapture log_;
    std::shared_ptr<testing::RecordingNotificationCenter> center_ =
        std::make_shared<testing::RecordingNotificationCenter>();
};

TEST_F(LauncherTest, ASecondOpenWhileTheWindowRunsPostsThePage) {
    program_ = script("settings", 30);
    auto l = launcher();
    l->open(SettingsPage::welcome);
    ASSERT_TRUE(l->child());
    const pid_t pid = *l->child();
    EXPECT_TRUE(l->childIsRunning());
    l->open(SettingsPage::account);
    EXPECT_EQ(l->child(), pid);
    ASSERT_EQ(center_->posted().size(), 1u);
    EXPECT_EQ(center_->posted()[0].first, "cn.kestrum.inputmethod.Sorvane.showSettings");
    EXPECT_EQ(center_->posted()[0].second, (NotificationUserInfo{{"page", "account"}}));
    EXPECT_EQ(log_->messages(),
              (std::vector<std::string>{"[Sorvane] settings window launched page=welcome pid=" +
                                        std::to_string(pid)}));
    ::kill(pid, SIGTERM);
    EXPECT_TRUE(waitUntilEnded(*l));
}

TEST_F(LauncherTest, AnEndedChildIsNotRunningEvenBeforeItsEndIsNoted) {
    program_ = script("quick", 0);
    auto l = launcher();
    l->open(SettingsPage::about);
    ASSERT_TRUE(l->child());
    const pid_t first = *l->child();
    ASSERT_TRUE(waitUntilEnded(*l));
    // The end is known, but the main queue has not run yet.
    EXPECT_EQ(l->child(), first);
    // The reaper collects it: no zombie is left behind.
    testing::waitUntil([&] { return collected(first) && time_.pendingCount() > 0; });
    EXPECT_TRUE(collected(first));
    ASSERT_EQ(time_.pendingCount(), 1u);  // its end is waiting to be noted

    // So the next open starts a new process, and the late note of the first
    // one's end keeps the new one.
    program_ = script("slow", 30);
    l->open(SettingsPage::hotkeys);
    ASSERT_TRUE(l->child());
    const pid_t second = *l->child();
    EXPECT_NE(second, first);
    EXPECT_TRUE(center_->posted().empty());
    time_.runPending();
    EXPECT_EQ(l->child(), second);
    EXPECT_TRUE(l->childIsRunning());

    // Let it say what it was started with before it is closed.
    testing::waitUntil([&] { return args().find("hotkeys") != std::string::npos; });
    ::kill(second, SIGTERM);
    ASSERT_TRUE(waitUntilEnded(*l));
    EXPECT_TRUE(eventually([&] { return !l->child(); }));
    EXPECT_EQ(args(), "--settings about\n--settings hotkeys\n");
}

TEST_F(LauncherTest, AChildEndingAfterItsLauncherIsGoneTouchesNothing) {
    program_ = script("quick", 0.2);
    auto l = launcher();
    l->open(SettingsPage::welcome);
    const pid_t pid = *l->child();
    l.reset();
    // Collected all the same, and its note finds no launcher to touch.
    EXPECT_TRUE(eventually([&] { return collected(pid); }));
    // Nothing to wait for: a note, if the reaper wrongly posted one, has this long to come.
    std::this_thread::sleep_for(50ms);
    time_.runPending();
}

TEST_F(LauncherTest, FailuresAreLoggedAndRetried) {
    program_ = dir_.path() / "missing";
    auto l = launcher();
    l->open(SettingsPage::welcome);
    EXPECT_EQ(l->child(), std::nullopt);
    EXPECT_EQ(
        log_->messages(),
        (std::vector<std::string>{"[Sorvane] settings window failed to launch: No such file or directory"}));
    program_.reset();
    auto none = launcher();
    none->open(SettingsPage::welcome);
    EXPECT_EQ(none->child(), std::nullopt);
    EXPECT_EQ(log_->messages().size(), 1u);
    EXPECT_TRUE(center_->posted().empty());
}

TEST_F(LauncherTest, TheChildGetsNoDescriptorsBeyondTheStandardOnes) {
    const fs::path path = dir_.path() / "fds";
    std::ofstream(path) << "#!/bin/sh\nls /proc/$$/fd > '" << (dir_.path() / "fd-list").string() << "'\n";
    fs::permissions(path, fs::perms::owner_all);
    // Not close-on-exec, and far above what the shell itself uses (it keeps
    // its script and saved descriptors from 10 up), whatever this process
    // has open already.
    const int opened = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(opened, 3);
    const int extra = ::fcntl(opened, F_DUPFD, 200);
    ::close(opened);
    ASSERT_GE(extra, 200);
    program_ = path;
    auto l = launcher();
    l->open(SettingsPage::welcome);
    ASSERT_TRUE(waitUntilEnded(*l));
    ::close(extra);
    std::ifstream in(dir_.path() / "fd-list");
    std::vector<std::string> fds;
    for (std::string fd; in >> fd;) fds.push_back(fd);
    // 0, 1, 2 and the one the listing itself opens.
    for (const auto& fd : fds) EXPECT_NE(fd, std::to_string(extra));
}

class WelcomeTriggerTest : public ::testing::Test {
protected:
    WelcomeTrigger trigger(const AppStateFile& state) {
        return WelcomeTrigger(WelcomeTrigger::Services{
            state, time_,
            [] { return std::chrono::system_clock::time_point(std::chrono::seconds(1796600000)); },
            [this](SettingsPage page) { opened_.push_back(page); }});
    }

    testing::TempHome home_;
    testing::VirtualTime time_;
    testing::ScopedLogCapture log_;
    std::vector<SettingsPage> opened_;
    AppStateFile state_{home_.path() / "Library" / "SorvaneIME" / "state.json"};
};

TEST_F(WelcomeTriggerTest, FirstActivationOpensTheWelcomePageOnceAfterADelay) {
    auto t = trigger(state_);
    t.noteActivation();
    EXPECT_TRUE(state_.welcomeWasShown());
    EXPECT_EQ(state_.read().value("welcomeShownAt", ""), "2026-12-06T23:33:20Z");
    EXPECT_EQ(log_->messages(), (std::vector<std::string>{"[Sorvane] first run: welcome page in 1.5s"}));
    time_.advance(1499ms);
    EXPECT_TRUE(opened_.empty());
    time_.advance(1ms);
    EXPECT_EQ(opened_, (std::vector<SettingsPage>{SettingsPage::welcome}));
    // Even with the mark removed again, this process does not look twice.
    std::filesystem::remove(state_.url);
    t.noteActivation();
    time_.advance(5s);
    EXPECT_EQ(opened_.size(), 1u);
    EXPECT_FALSE(state_.welcomeWasShown());
}

TEST_F(WelcomeTriggerTest, AnEarlierMarkOpensAndWritesNothing) {
    ASSERT_TRUE(state_.update([](nlohmann::json& o) { o["welcomeShownAt"] = "2026-01-01T00:00:00Z"; }));
    const auto before = state_.read();
    auto t = trigger(state_);
    t.noteActivation();
    time_.advance(5s);
    EXPECT_TRUE(opened_.empty());
    EXPECT_EQ(state_.read(), before);
    EXPECT_TRUE(log_->messages().empty());
    EXPECT_TRUE(t.decided());
}

TEST_F(WelcomeTriggerTest, AStateFileThatCannotBeWrittenOpensNothing) {
    const fs::path folder = home_.path() / "Library" / "SorvaneIME";
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    {
        testing::ScopedFilePermissions enforce;
        auto t = trigger(state_);
        t.noteActivation();
        time_.advance(5s);
    }
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_TRUE(opened_.empty());
    EXPECT_FALSE(log_->contains("first run"));
    // A later process tries again.
    auto later = trigger(state_);
    later.noteActivation();
    time_.advance(2s);
    EXPECT_EQ(opened_, (std::vector<SettingsPage>{SettingsPage::welcome}));
}

TEST(GhostTestTest, TheEnvironmentWinsOverTheDefaults) {
    testing::MemoryUserDefaults defaults;
    EXPECT_FALSE(GhostTest::isEnabled(std::nullopt, &defaults));
    defaults.setBool("SorvaneGhostTest", true);
    EXPECT_TRUE(GhostTest::isEnabled(std::nullopt, &defaults));
    EXPECT_FALSE(GhostTest::isEnabled("0", &defaults));
    EXPECT_FALSE(GhostTest::isEnabled("", &defaults));
    defaults.setBool("SorvaneGhostTest", false);
    EXPECT_TRUE(GhostTest::isEnabled("YES", &defaults));
    EXPECT_FALSE(GhostTest::isEnabled(std::nullopt, nullptr));
}

TEST(GhostTestTest, BooleanReadingOfText) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"1", true},    {"yes", true},  {"Y", true},   {"true", true},  {"T", true},   {"  true", true},
        {"+5", true},   {"-1", true},   {"007", true}, {"10", true},    {"no", false}, {"false", false},
        {"0", false},   {"000", false}, {"", false},   {" ", false},    {"on", false}, {"abc", false},
        {"0x1", false}, {"-0", false},  {"+", false},  {"9lives", true}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(GhostTest::boolValue(text), expected) << '"' << text << '"';
}

}  // namespace
}  // namespace sorvane
