// The update section's model on a manual main queue, with a scripted
// pipeline and installer: background tasks wait until the test runs them.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "kit/package/ProgressThrottle.h"
#include "kit/update/UpdatePanelModel.h"
#include "kit/update/UpdatePaths.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using Phase = UpdatePanelPhase;
using testing::ScopedLogCapture;
using testing::TempHome;
using testing::VirtualTime;

struct FakeInstaller final : UpdateInstaller {
    std::optional<fs::path> app = fs::path("/opt/installer");
    std::optional<std::string> failure;
    std::vector<fs::path> opened;

    std::optional<fs::path> installerAppURL() const override { return app; }
    void open(const fs::path&, const fs::path& package, Opened done) override {
        opened.push_back(package);
        done(failure);
    }
};

UpdatePanelModel::Date at(int hour, int minute) {
    using namespace std::chrono;
    return sys_days{December / 7 / 2026} + hours(hour) + minutes(minute);
}

class UpdatePanelModelTest : public ::testing::Test {
protected:
    UpdatePanelModelTest() {
        release = UpdatePanelModel::previewRelease();
        release.version = "1.2.0";
    }

    UpdatePanelModel::Services services() {
        UpdatePanelModel::Services s;
        s.mainQueue = &time;
        s.startTask = [this](std::function<void()> work) { tasks.push_back(std::move(work)); };
        s.makeEnvironment = [] {
            UpdateEnvironment environment;
            environment.stateFile = UpdateStateFile::live();
            environment.updatesDirectory = UpdatePaths::updatesDirectory();
            environment.currentVersion = "1.0.0";
            return environment;
        };
        s.runCheck = [this](const UpdateEnvironment& environment, const UpdateEventHandler& send) {
            for (const auto& event : events) send(event);
            UpdateState state = environment.stateFile.load();
            state.checkedAt = at(9, 5);
            environment.stateFile.save(state);
            return checkResult;
        };
        s.verifyReady = [this](const UpdateEnvironment&) { return readyResult; };
        s.installer = &installer;
        return s;
    }

    std::shared_ptr<UpdatePanelModel> model(bool autoCheck = true) {
        auto m = UpdatePanelModel::make(services(), autoCheck);
        watching.push_back(m->observeChanges([this, raw = m.get()] { shown.push_back(raw->phase()); }));
        return m;
    }

    void runTasks() {
        auto pending = std::move(tasks);
        tasks.clear();
        for (auto& task : pending) task();
        time.runPending();
    }

    TempHome home;
    VirtualTime time;
    FakeInstaller installer;
    std::vector<std::function<void()>> tasks;
    std::vector<Phase> shown;
    std::vector<ObserverSubscription> watching;
    UpdateRelease release;
    std::vector<UpdateEvent> events;
    Expected<UpdateCheckResult, UpdateCheckError> checkResult = UpdateCheckResult::upToDate(std::nullopt);
    Expected<UpdateState::Ready, UpdateCheckError> readyResult = UpdateState::Ready{release, "/pkg"};
};

TEST_F(UpdatePanelModelTest, ThrottleReportsEachWholePercentOnce) {
    ProgressThrottle throttle;
    const std::vector<std::pair<UpdateEvent, std::optional<Phase>>> steps = {
        {UpdateEvent::requesting("https://x"), std::nullopt},
        {UpdateEvent::downloading(0, 1000), Phase::downloading(0)},
        {UpdateEvent::downloading(9, 1000), std::nullopt},
        {UpdateEvent::downloading(10, 1000), Phase::downloading(0.01)},
        {UpdateEvent::downloading(19, 1000), std::nullopt},
        {UpdateEvent::downloading(1500, 1000), Phase::downloading(1.0)},
        {UpdateEvent::downloading(5, 0), Phase::downloading(0)},
        {UpdateEvent::downloading(9, -1), std::nullopt},
        {UpdateEvent::verifying(), Phase::verifying()},
        {UpdateEvent::reusing("/p"), std::nullopt},
    };
    for (const auto& [event, expected] : steps) {
        SCOPED_TRACE(event.received);
        EXPECT_EQ(throttle.phase(event), expected);
    }
}

TEST_F(UpdatePanelModelTest, CheckShowsPhasesInOrderThenTheResult) {
    auto m = model();
    EXPECT_EQ(m->phase(), Phase::idle());
    EXPECT_FALSE(m->lastChecked());
    events = {UpdateEvent::requesting("https://x"), UpdateEvent::downloading(0, 200),
              UpdateEvent::downloading(1, 200),     UpdateEvent::downloading(100, 200),
              UpdateEvent::downloading(200, 200),   UpdateEvent::verifying()};
    checkResult = UpdateCheckResult::ready(release, "/pkg", true);
    m->check();
    m->check();  // under way: ignored
    ASSERT_EQ(tasks.size(), 1u);
    runTasks();
    const std::vector<Phase> expected = {Phase::checking(),       Phase::downloading(0),
                                         Phase::downloading(0.5), Phase::downloading(1),
                                         Phase::verifying(),      Phase::ready(release)};
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(m->lastChecked(), at(9, 5));

    // From ready a new check starts; a failure shows the error's text.
    checkResult = unexpected(UpdateCheckError::download("HTTP 404"));
    events.clear();
    m->check();
    runTasks();
    EXPECT_EQ(m->phase(), Phase::failed("下载失败：HTTP 404"));
}

TEST_F(UpdatePanelModelTest, ButtonsIgnoredWhereTheyDoNothing) {
    auto m = model();
    m->install();  // not ready
    EXPECT_TRUE(tasks.empty());
    m->check();
    for (const Phase& busy : {Phase::checking(), Phase::downloading(0.3), Phase::verifying()}) {
        time.post([&] {});
        m->check();
        m->install();
        EXPECT_EQ(tasks.size(), 1u) << static_cast<int>(busy.kind);
    }
    // A preview does nothing at all, even when it shows a ready package.
    auto preview = UpdatePanelModel::preview(Phase::ready(release), std::nullopt, "1.0.0", true);
    preview->check();
    preview->install();
    EXPECT_EQ(preview->phase(), Phase::ready(release));
}

TEST_F(UpdatePanelModelTest, InstallOutcomes) {
    struct Case {
        Expected<UpdateState::Ready, UpdateCheckError> verified;
        bool hasInstaller;
        std::optional<std::string> startFailure;
        Phase expected;
    };
    const auto gone = UpdateCheckError::storage("没有已下载的更新，请重新检查更新");
    const auto broken =
        UpdateCheckError::verificationFailed(UpdateVerificationError::checksumMismatch("a", "b"));
    // The real installer start: a file without a "#!" line is no program
    // (ENOEXEC), and that is told at once, not when it would have ended.
    testing::TempDir dir;
    const auto start = [&](const std::string& name, const std::string& text) {
        const fs::path program = dir.path() / name;
        std::ofstream(program) << text;
        fs::permissions(program, fs::perms::owner_all);
        std::optional<std::optional<std::string>> told;
        CommandInstaller().open(program, "/pkg", [&](std::optional<std::string> failure) { told = failure; });
        EXPECT_TRUE(told) << name;
        return told.value_or("not told");
    };
    EXPECT_EQ(start("opens", "#!/bin/sh\nexit 0\n"), std::nullopt);
    const auto noProgram = start("no-program", "exit 0\n");
    EXPECT_EQ(noProgram,
              std::string(std::strerror(ENOEXEC)) + " (" + (dir.path() / "no-program").string() + ")");
    const std::vector<Case> cases = {
        {UpdateState::Ready{release, "/pkg"}, true, std::nullopt, Phase::installerOpened("1.2.0")},
        {unexpected(gone), true, std::nullopt, Phase::failed("没有已下载的更新，请重新检查更新")},
        {unexpected(broken), true, std::nullopt,
         Phase::failed("安装包 SHA-256 与更新源不一致，请重新检查更新")},
        {UpdateState::Ready{release, "/pkg"}, false, std::nullopt, Phase::failed("找不到 macOS 安装器")},
        {UpdateState::Ready{release, "/pkg"}, true, "Permission denied",
         Phase::failed("打不开安装器：Permission denied")},
        {UpdateState::Ready{release, "/pkg"}, true, noProgram,
         Phase::failed("打不开安装器：" + noProgram.value_or(""))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.text);
        installer.app = c.hasInstaller ? std::optional<fs::path>("/opt/installer") : std::nullopt;
        installer.failure = c.startFailure;
        readyResult = c.verified;
        auto m = model();
        checkResult = UpdateCheckResult::ready(release, "/pkg", false);
        m->check();
        runTasks();
        ScopedLogCapture log;
        m->install();
        EXPECT_EQ(m->phase(), Phase::installing());
        runTasks();
        EXPECT_EQ(m->phase(), c.expected);
        EXPECT_EQ(log->contains("[Sorvane] update: opening Installer with /pkg"),
                  c.hasInstaller && c.verified);
    }
}

TEST_F(UpdatePanelModelTest, StatusLineOfEveryPhase) {
    const std::vector<std::pair<Phase, std::string>> lines = {
        {Phase::checking(), "正在检查更新…"},
        {Phase::downloading(0.425), "正在下载更新 43%"},
        {Phase::downloading(0.005), "正在下载更新 1%"},
        {Phase::verifying(), "正在校验安装包…"},
        {Phase::installing(), "正在校验安装包…"},
        {Phase::ready(release), "新版本 1.2.0 已下载并通过校验"},
        {Phase::installerOpened("1.2.0"), "已打开安装器，按提示安装 1.2.0"},
        {Phase::upToDate(), "已是最新版本"},
        {Phase::failed("下载失败：HTTP 404"), "下载失败：HTTP 404"},
        {Phase::idle(), "尚未检查更新"},
    };
    for (const auto& [phase, line] : lines) {
        EXPECT_EQ(UpdatePanelModel::preview(phase, std::nullopt, "1.0.0", true)->statusLine(), line);
    }
    auto checked = UpdatePanelModel::preview(Phase::idle(), at(13, 5), "1.0.0", true);
    // The locale decides the hour cycle and its marker (a narrow space in
    // English); no year, no seconds.
    EXPECT_EQ(checked->statusLine("en_US", "UTC"), "上次检查：Dec 7, 1:05\u202fPM");
    EXPECT_EQ(checked->statusLine("zh_CN", "Asia/Shanghai"), "上次检查：12月7日 21:05");
    EXPECT_EQ(checked->statusLine("zh_TW", "Asia/Taipei"), "上次检查：12月7日 下午9:05");
    EXPECT_EQ(checked->statusLine("de_DE", "UTC"), "上次检查：7. Dez., 13:05");
}

TEST_F(UpdatePanelModelTest, StartingPhaseFromTheStateFile) {
    const fs::path kept = UpdatePaths::updatesDirectory() / "SorvaneIME-1.2.0-update.pkg";
    fs::create_directories(kept.parent_path());
    std::ofstream(kept) << "pkg";
    UpdateState state;
    state.checkedAt = at(8, 0);
    state.latest = release;
    state.downloadedPath = kept.string();
    state.verifiedAt = at(8, 0);
    ASSERT_TRUE(UpdateStateFile::live().save(state));
    EXPECT_EQ(model()->phase(), Phase::ready(release));
    EXPECT_EQ(model()->lastChecked(), at(8, 0));
    EXPECT_FALSE(model(false)->autoCheck());

    state.latest->version = "1.0.0";  // not newer than the running version
    ASSERT_TRUE(UpdateStateFile::live().save(state));
    EXPECT_EQ(model()->phase(), Phase::idle());

    state.latest->version = "1.2.0";
    fs::remove(kept);
    ASSERT_TRUE(UpdateStateFile::live().save(state));
    EXPECT_EQ(model()->phase(), Phase::idle());
}

TEST_F(UpdatePanelModelTest, ModelDroppedMidCheckLeavesTheStateWritten) {
    events = {UpdateEvent::downloading(0, 10), UpdateEvent::verifying()};
    checkResult = UpdateCheckResult::ready(release, "/pkg", true);
    {
        auto m = model();
        m->check();
    }
    shown.clear();
    runTasks();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(time.pendingCount(), 0u);
    EXPECT_EQ(UpdateStateFile::live().load().checkedAt, at(9, 5));
}

}  // namespace
}  // namespace sorvane
