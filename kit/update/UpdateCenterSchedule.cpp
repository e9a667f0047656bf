#include "kit/update/UpdateCenterSchedule.h"

#include "platform/SorvaneLog.h"

namespace sorvane::UpdateCenter {

std::optional<std::string> menuTitle(const UpdateState& state, std::string_view runningVersion,
                                     const UpdateState::FileExists& fileExists) {
    const auto ready = state.readyRelease(runningVersion, fileExists);
    if (!ready) return std::nullopt;
    return "安装更新 " + ready->release.version + "…";
}

std::string outcomeText(const Expected<UpdateCheckResult, UpdateCheckError>& outcome) {
    if (!outcome) return outcome.error().logText();
    const UpdateCheckResult& result = *outcome;
    if (result.kind == UpdateCheckResult::Kind::ready) {
        return (result.release ? result.release->version : std::string()) + " ready (" +
               (result.downloaded ? "downloaded" : "kept") + "); the next activation announces it";
    }
    return "up to date (feed latest " + (result.release ? result.release->version : std::string("none")) +
           ")";
}

Schedule::Schedule(Services services) : services_(std::move(services)), stateCache_(services_.stateFile) {}

Schedule::~Schedule() {
    if (startupWork_ != 0) services_.queue.cancel(startupWork_);
}

void Schedule::serverDidStart() {
    serverStartedAt_ = services_.clock.now();
    if (startupWork_ != 0) services_.queue.cancel(startupWork_);
    startupWork_ = services_.queue.postAfter(startupDelay, [this] {
        startupWork_ = 0;
        if (checkInFlight_ || toastInFlight_) return;
        // The first check runs whatever the throttles say; the setting still holds.
        scheduleCheck("startup", true);
    });
}

void Schedule::noteActivation() {
    if (!serverStartedAt_) return;
    const Date now = services_.clock.now();
    if (now - *serverStartedAt_ < startupDelay) return;
    if (announceReadyUpdateIfNeeded()) return;
    if (lastActivationProbeAt_ && now - *lastActivationProbeAt_ < probeInterval) return;
    // Recorded even when the check then does nothing, so a switched-off
    // setting or a throttle costs one probe per interval, not one per activation.
    lastActivationProbeAt_ = now;
    scheduleCheck("activation", false);
}

void Schedule::scheduleCheck(const std::string& reason, bool force) {
    if (checkInFlight_ || toastInFlight_) return;
    checkInFlight_ = true;
    services_.tasks.run([this, reason, force, lastAttemptAt = lastAttemptAt_] {
        const bool attempted = backgroundCheck(reason, force, lastAttemptAt);
        services_.queue.post([this, attempted] {
            checkInFlight_ = false;
            // A failed check counts as an attempt too, so failures obey the same throttle.
            if (attempted) lastAttemptAt_ = services_.clock.now();
        });
    });
}

bool Schedule::backgroundCheck(const std::string& reason, bool force, std::optional<Date> lastAttemptAt) {
    if (!services_.autoCheckUpdates()) return false;
    Check check = services_.makeCheck();
    const UpdateState state = services_.stateFile.load();
    const Date now = services_.clock.now();
    // Plain differences: a date in the future holds the check back as well.
    if (!force) {
        if (lastAttemptAt && now - *lastAttemptAt < attemptInterval) return false;
        if (state.checkedAt && now - *state.checkedAt < checkedInterval) return false;
    }
    SorvaneLog::log("[Sorvane] update: checking (" + reason + ") running=" + check.currentVersion);
    SorvaneLog::log("[Sorvane] update: " + outcomeText(check.run()));
    return true;
}

bool Schedule::announceReadyUpdateIfNeeded() {
    if (toastInFlight_ || checkInFlight_) return false;
    const UpdateState state = stateCache_.current();
    const std::string running = services_.runningVersion();
    // The kept package must still be there: a cached state whose file was
    // deleted would otherwise pass here at every activation, and no check
    // would ever be scheduled again.
    const auto ready = state.readyRelease(running, services_.keptPackage);
    if (!ready || state.notifiedVersion == ready->release.version) return false;

    toastInFlight_ = true;
    services_.tasks.run([this, running] {
        std::optional<UpdateRelease> announced;
        UpdateState fresh = services_.stateFile.load();
        const auto release = fresh.readyRelease(running, services_.keptPackage);
        if (release && fresh.notifiedVersion != release->release.version) {
            // Saved before the toast shows, so a version is announced once;
            // a failed save shows nothing and a later activation tries again.
            fresh.notifiedVersion = release->release.version;
            if (services_.stateFile.save(fresh)) announced = release->release;
        }
        services_.queue.post([this, announced = std::move(announced)] {
            toastInFlight_ = false;
            if (!announced) return;
            SorvaneLog::log("[Sorvane] update: toast for " + announced->version);
            services_.announce(*announced);
        });
    });
    return true;
}

}  // namespace sorvane::UpdateCenter
