#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "kit/update/UpdateCenterSchedule.h"
#include "kit/update/UpdatePaths.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FilePermissions.h"
#include "tests/support/ManualTaskRunner.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane::UpdateCenter {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

UpdateState checkedAt(UpdateState::Date date) {
    UpdateState state;
    state.checkedAt = date;
    return state;
}
UpdateState notified(std::string version) {
    UpdateState state;
    state.notifiedVersion = std::move(version);
    return state;
}

class UpdateScheduleTest : public ::testing::Test {
protected:
    UpdateScheduleTest() {
        schedule_ = std::make_unique<Schedule>(Schedule::Services{
            time_, time_, tasks_, [this] { return autoCheck_; },
            [this] {
                return Schedule::Check{"1.0.0", [this] {
                                           ++checks_;
                                           return outcome_;
                                       }};
            },
            [] { return std::string("1.0.0"); }, UpdateStateFile::live(), UpdateState::existsOnDisk,
            [this](const UpdateRelease& release) { shown_.push_back(release.version); }});
    }

    // Lets background tasks finish and their main-thread steps run.
    void settle() {
        while (tasks_.runAll() > 0) time_.runPending();
    }
    void at(seconds sinceStart) {
        time_.advance(duration_cast<milliseconds>(start_ + sinceStart - time_.now()));
        settle();
    }
    void activate(seconds sinceStart) {
        at(sinceStart);
        schedule_->noteActivation();
        settle();
    }
    UpdateState::Date ago(seconds age) const { return floor<seconds>(time_.now() - age); }

    void writeState(const UpdateState& state) { ASSERT_TRUE(UpdateStateFile::live().save(state)); }
    // A verified package of 1.3.0 lying in the updates folder.
    UpdateState readyState() {
        const auto folder = UpdatePaths::updatesDirectory();
        std::filesystem::create_directories(folder);
        const auto path = folder / UpdatePaths::packageFileName("1.3.0");
        std::ofstream(path) << "pkg";
        UpdateState state;
        state.latest = UpdateRelease{};
        state.latest->version = "1.3.0";
        state.downloadedPath = path.string();
        state.verifiedAt = ago(10s);
        return state;
    }

    testing::TempHome home_;
    testing::ScopedLogCapture log_;
    testing::VirtualTime time_;
    testing::ManualTaskRunner tasks_;
    bool autoCheck_ = true;
    int checks_ = 0;
    Expected<UpdateCheckResult, UpdateCheckError> outcome_ = UpdateCheckResult::upToDate(std::nullopt);
    std::vector<std::string> shown_;
    std::unique_ptr<Schedule> schedule_;
    system_clock::time_point start_ = time_.now();
};

TEST_F(UpdateScheduleTest, StartupCheckIsForcedAndActivationsProbeUnderTheThrottles) {
    writeState(checkedAt(ago(2h)));
    schedule_->serverDidStart();
    activate(30s);  // within the first minute: nothing, not even a probe
    EXPECT_EQ(schedule_->lastActivationProbeAt(), std::nullopt);
    EXPECT_EQ(checks_, 0);

    at(60s);  // the start-up check ignores the two-hour-old answer
    EXPECT_EQ(checks_, 1);
    EXPECT_EQ(schedule_->lastAttemptAt(), start_ + 60s);
    EXPECT_EQ(log_->messages(),
              (std::vector<std::string>{"[Sorvane] update: checking (startup) running=1.0.0",
                                        "[Sorvane] update: up to date (feed latest none)"}));

    struct Step {
        seconds when;
        bool probes;
    };
    // Probes every 600 s at most; none of them passes the hourly attempt
    // throttle, and after that the six-hour one holds them back.
    for (const Step step :
         {Step{70s, true}, Step{370s, false}, Step{670s, true}, Step{3670s, true}, Step{4300s, true}}) {
        activate(step.when);
        EXPECT_EQ(schedule_->lastActivationProbeAt() == start_ + step.when, step.probes) << step.when.count();
        EXPECT_FALSE(schedule_->checkInFlight());
    }
    EXPECT_EQ(checks_, 1);
    EXPECT_EQ(schedule_->lastAttemptAt(), start_ + 60s);

    // Both throttles passed: a failure counts as an attempt and is logged in its own words.
    outcome_ = unexpected(UpdateCheckError::download("timeout"));
    writeState(checkedAt(ago(7h)));
    activate(4300s + 600s);
    EXPECT_EQ(checks_, 2);
    EXPECT_EQ(schedule_->lastAttemptAt(), start_ + 4900s);
    EXPECT_EQ(log_->messages().back(), "[Sorvane] update: 下载失败：timeout");
    activate(4900s + 600s);
    EXPECT_EQ(checks_, 2);
}

TEST_F(UpdateScheduleTest, SettingOffOrAFutureAnswerHoldsChecksBack) {
    autoCheck_ = false;
    schedule_->serverDidStart();
    at(61s);
    activate(62s);
    EXPECT_EQ(checks_, 0);
    EXPECT_EQ(schedule_->lastAttemptAt(), std::nullopt);
    EXPECT_EQ(schedule_->lastActivationProbeAt(), start_ + 62s);
    EXPECT_TRUE(log_->messages().empty());

    autoCheck_ = true;
    writeState(checkedAt(floor<seconds>(time_.now() + 24h)));
    activate(62s + 600s);
    EXPECT_EQ(checks_, 0);
    EXPECT_EQ(schedule_->lastActivationProbeAt(), start_ + 662s);
}

TEST_F(UpdateScheduleTest, AnnouncesOnceWithTheVersionSavedFirst) {
    UpdateState state = readyState();
    state.checkedAt = ago(1h);
    writeState(state);
    schedule_->serverDidStart();
    at(59s);
    schedule_->noteActivation();
    time_.advance(2s);  // the start-up check is in flight: no announcement meanwhile
    EXPECT_TRUE(schedule_->checkInFlight());
    schedule_->noteActivation();
    EXPECT_FALSE(schedule_->toastInFlight());
    EXPECT_EQ(schedule_->lastActivationProbeAt(), start_ + 61s);
    settle();

    activate(62s);
    EXPECT_EQ(shown_, std::vector<std::string>{"1.3.0"});
    EXPECT_EQ(UpdateStateFile::live().load().notifiedVersion, "1.3.0");
    EXPECT_EQ(log_->messages().back(), "[Sorvane] update: toast for 1.3.0");
    // The announcing activation probes nothing; a later one finds the
    // version announced and goes on to its probe.
    EXPECT_EQ(schedule_->lastActivationProbeAt(), start_ + 61s);
    activate(661s);
    EXPECT_EQ(shown_.size(), 1u);
    EXPECT_EQ(schedule_->lastActivationProbeAt(), start_ + 661s);
}

TEST_F(UpdateScheduleTest, AFailedSaveShowsNothingAndALaterActivationTriesAgain) {
    testing::ScopedFilePermissions permissions;
    if (!permissions.enforced()) GTEST_SKIP() << "file permissions cannot be enforced here";
    writeState(readyState());
    schedule_->serverDidStart();
    time_.advance(60s);
    tasks_.runAll();  // the start-up check, before the folder is closed
    time_.runPending();
    const auto folder = UpdateStateFile::live().url.parent_path();
    ::chmod(folder.c_str(), 0500);
    activate(120s);
    ::chmod(folder.c_str(), 0700);
    EXPECT_TRUE(shown_.empty());
    EXPECT_EQ(UpdateStateFile::live().load().notifiedVersion, std::nullopt);
    activate(121s);
    EXPECT_EQ(shown_, std::vector<std::string>{"1.3.0"});
}

TEST_F(UpdateScheduleTest, ADeletedKeptPackageAnnouncesNothingAndTheActivationProbes) {
    const UpdateState state = readyState();
    writeState(state);
    std::filesystem::remove(*state.downloadedPath);
    autoCheck_ = false;
    schedule_->serverDidStart();
    activate(61s);
    EXPECT_FALSE(schedule_->toastInFlight());
    EXPECT_TRUE(shown_.empty());
    EXPECT_EQ(schedule_->lastActivationProbeAt(), start_ + 61s);
}

TEST(UpdateOutcomeTextTest, EveryOutcomeInItsWords) {
    UpdateRelease release;
    release.version = "1.3.0";
    const std::pair<Expected<UpdateCheckResult, UpdateCheckError>, const char*> table[] = {
        {UpdateCheckResult::ready(release, "/p.pkg", true),
         "1.3.0 ready (downloaded); the next activation announces it"},
        {UpdateCheckResult::ready(release, "/p.pkg", false),
         "1.3.0 ready (kept); the next activation announces it"},
        {UpdateCheckResult::upToDate(release), "up to date (feed latest 1.3.0)"},
        {UpdateCheckResult::upToDate(std::nullopt), "up to date (feed latest none)"},
        {unexpected(UpdateCheckError::feed("HTTP 500")), "检查更新失败：HTTP 500"},
    };
    for (const auto& [outcome, text] : table) EXPECT_EQ(outcomeText(outcome), text);
}

TEST(UpdateStateCacheTest, ReloadsOnlyOnANewStamp) {
    testing::TempHome home;
    const UpdateStateFile file = UpdateStateFile::live();
    StateCache cache(file);
    EXPECT_EQ(cache.current(), UpdateState{});
    ASSERT_TRUE(file.save(notified("1.0")));
    EXPECT_EQ(cache.current().notifiedVersion, "1.0");
    // Two saves within one tick of the clock: same modification time, new file.
    struct stat before {};
    ::stat(file.url.c_str(), &before);
    ASSERT_TRUE(file.save(notified("2.0")));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ::utimensat(AT_FDCWD, file.url.c_str(), times, 0);
    EXPECT_EQ(cache.current().notifiedVersion, "2.0");
    // Same stamp, other bytes (written in place): the cached state stays.
    {
        std::fstream raw(file.url, std::ios::in | std::ios::out);
        raw.seekp(0);
        raw << R"({"notifiedVersion":"3.0"})";
    }
    ::utimensat(AT_FDCWD, file.url.c_str(), times, 0);
    EXPECT_EQ(cache.current().notifiedVersion, "2.0");
    std::filesystem::remove(file.url);
    EXPECT_EQ(cache.current(), UpdateState{});
}

TEST(UpdateMenuTitleTest, NamesOnlyAKeptNewerPackage) {
    UpdateState state;
    state.latest = UpdateRelease{};
    state.latest->version = "1.3.0";
    state.downloadedPath = "/x.pkg";
    state.verifiedAt = UpdateState::Date{};
    const auto yes = [](const std::string&) { return true; };
    EXPECT_EQ(menuTitle(state, "1.2.9", yes), "安装更新 1.3.0…");
    EXPECT_EQ(menuTitle(state, "1.3.0", yes), std::nullopt);
    EXPECT_EQ(menuTitle(state, "1.0", [](const std::string&) { return false; }), std::nullopt);
}

}  // namespace
}  // namespace sorvane::UpdateCenter
