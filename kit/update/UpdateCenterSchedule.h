#pragma once
// The server's updater: when a background update check runs (60 s after
// start whatever the throttles say, then on input activations at most every
// 600 s, and only when the last attempt is an hour old and the last answered
// feed request six hours old, while the user lets it check), and the one
// announcement per version of a verified, kept package at the next input
// activation.
//
// Threading: every member is touched on the main thread only. Checks and
// announcements run as tasks on the task runner and come back through the
// main queue to clear their in-flight flags; while either flag is set,
// nothing is checked and nothing is announced.
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "kit/update/UpdateCenterStateCache.h"
#include "kit/update/UpdateCheckError.h"
#include "kit/update/UpdateState.h"
#include "platform/Clock.h"
#include "platform/Expected.h"
#include "platform/MainQueue.h"
#include "platform/TaskRunner.h"

namespace sorvane::UpdateCenter {

// "安装更新 1.2.3…" while the state names a ready package, else nothing.
std::optional<std::string> menuTitle(const UpdateState& state, std::string_view runningVersion,
                                     const UpdateState::FileExists& fileExists);

// What the log says of a check's outcome, after "[Sorvane] update: ".
std::string outcomeText(const Expected<UpdateCheckResult, UpdateCheckError>& outcome);

class Schedule {
public:
    using Date = std::chrono::system_clock::time_point;

    // One background check as the schedule sees the pipeline.
    struct Check {
        std::string currentVersion;
        // Runs the whole check on the calling task.
        std::function<Expected<UpdateCheckResult, UpdateCheckError>()> run;
    };

    struct Services {
        const Clock& clock;
        MainQueue& queue;
        TaskRunner& tasks;
        // The user's automatic-update setting, read afresh. Any thread.
        std::function<bool()> autoCheckUpdates;
        // Makes a check against the live environment. Any thread.
        std::function<Check()> makeCheck;
        // The running version, "0.0.0" when it has none.
        std::function<std::string()> runningVersion;
        UpdateStateFile stateFile;
        // Whether a path of update.json is a package the updater kept. Any thread.
        UpdateState::FileExists keptPackage;
        // Shows the toast for a release. Main thread.
        std::function<void(const UpdateRelease&)> announce;
    };

    static constexpr std::chrono::seconds startupDelay{60};
    static constexpr std::chrono::seconds probeInterval{600};
    static constexpr std::chrono::seconds attemptInterval{3600};
    static constexpr std::chrono::seconds checkedInterval{21600};

    explicit Schedule(Services services);
    ~Schedule();
    Schedule(const Schedule&) = delete;
    Schedule& operator=(const Schedule&) = delete;

    void serverDidStart();
    void noteActivation();

    const std::optional<Date>& serverStartedAt() const { return serverStartedAt_; }
    const std::optional<Date>& lastAttemptAt() const { return lastAttemptAt_; }
    const std::optional<Date>& lastActivationProbeAt() const { return lastActivationProbeAt_; }
    bool checkInFlight() const { return checkInFlight_; }
    bool toastInFlight() const { return toastInFlight_; }

private:
    void scheduleCheck(const std::string& reason, bool force);
    bool backgroundCheck(const std::string& reason, bool force, std::optional<Date> lastAttemptAt);
    bool announceReadyUpdateIfNeeded();

    Services services_;
    StateCache stateCache_;
    std::optional<Date> serverStartedAt_;
    std::optional<Date> lastAttemptAt_;
    std::optional<Date> lastActivationProbeAt_;
    bool checkInFlight_ = false;
    bool toastInFlight_ = false;
    QueueTaskId startupWork_ = 0;
};

}  // namespace sorvane::UpdateCenter
