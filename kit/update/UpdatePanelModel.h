#pragma once
// The state of the about page's update section: the running version, a
// one-line status, checks started by the user with their download progress,
// a verified package with its notes, and the hand-over of that package,
// verified once more, to the installer. It never installs anything itself.
//
// Threading: the model lives on the main thread, and every change of its
// phase and last-check date is made there. check() and install() run their
// work as background tasks that hold the model only weakly and hand each
// result to the main queue in the order it came, so a model dropped (the
// window closed) mid-check lets the check finish and write its state while
// nothing is shown.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "kit/package/UpdateInstaller.h"
#include "kit/update/UpdateCheckError.h"
#include "kit/update/UpdateEnvironment.h"
#include "kit/update/UpdateEvent.h"
#include "kit/update/UpdatePanelPhase.h"
#include "kit/update/UpdateState.h"
#include "platform/MainQueue.h"
#include "platform/ObserverList.h"

namespace sorvane {

class UpdatePanelModel : public std::enable_shared_from_this<UpdatePanelModel> {
public:
    using Phase = UpdatePanelPhase;
    using Date = std::chrono::sys_seconds;

    struct Services {
        MainQueue* mainQueue = nullptr;
        // Runs work off the main thread; the live one starts a thread.
        std::function<void(std::function<void()>)> startTask;
        // Absent in previews, whose buttons then do nothing. Any thread.
        std::function<UpdateEnvironment()> makeEnvironment;
        std::function<Expected<UpdateCheckResult, UpdateCheckError>(const UpdateEnvironment&,
                                                                    const UpdateEventHandler&)>
            runCheck;
        std::function<Expected<UpdateState::Ready, UpdateCheckError>(const UpdateEnvironment&)> verifyReady;
        UpdateInstaller* installer = nullptr;
    };

    // The live section: version and starting phase from the live
    // environment and update.json, the automatic-check note from
    // settings.json (read from disk; on when unreadable).
    static std::shared_ptr<UpdatePanelModel> live(MainQueue& mainQueue);
    // A section over the given services, starting as the state file says.
    static std::shared_ptr<UpdatePanelModel> make(Services services, bool autoCheck);
    // A fixed section for previews; check() and install() do nothing.
    static std::shared_ptr<UpdatePanelModel> preview(Phase phase, std::optional<Date> lastChecked,
                                                     std::string currentVersion, bool autoCheck);

    // The release that previews and the toast's renderings show.
    static const UpdateRelease& previewRelease();

    // Starts a check unless one, or an installation, is under way.
    void check();
    // From `ready` only: verifies the kept package again and opens the
    // installer on it.
    void install();

    const Phase& phase() const { return phase_; }
    const std::optional<Date>& lastChecked() const { return lastChecked_; }
    const std::string& currentVersion() const { return currentVersion_; }
    bool autoCheck() const { return autoCheck_; }

    // The status text of the current phase; the date of the last check in
    // the user's locale and zone unless given.
    std::string statusLine(std::string_view locale = {}, std::string_view timeZone = {}) const;

    // Called on the main thread after each change.
    [[nodiscard]] ObserverSubscription observeChanges(std::function<void()> observer);

    UpdatePanelModel(Services services, Phase phase, std::optional<Date> lastChecked,
                     std::string currentVersion, bool autoCheck);

private:
    void setPhase(Phase phase);
    void finishCheck(const Expected<UpdateCheckResult, UpdateCheckError>& result,
                     std::optional<Date> checkedAt);
    void openInstaller(const Expected<UpdateState::Ready, UpdateCheckError>& result);
    void changed();

    Services services_;
    Phase phase_;
    std::optional<Date> lastChecked_;
    std::string currentVersion_;
    bool autoCheck_;
    ObserverList<> observers_;
};

}  // namespace sorvane
