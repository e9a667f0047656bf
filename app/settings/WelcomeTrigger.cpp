#include "app/settings/WelcomeTrigger.h"

#include "app/settings/SettingsLauncher.h"
#include "platform/SorvaneLog.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane {

WelcomeTrigger::WelcomeTrigger(Services services) : services_(std::move(services)) {}

WelcomeTrigger::~WelcomeTrigger() {
    if (pending_ != 0) services_.queue.cancel(pending_);
}

void WelcomeTrigger::noteActivation() {
    if (decided_) return;
    decided_ = true;
    if (services_.state.welcomeWasShown()) return;
    // The mark goes first: a window that then fails to open is not retried.
    // A mark that cannot be written opens nothing; the next process tries.
    if (!services_.state.markWelcomeShown(services_.now())) return;
    SorvaneLog::log("[Sorvane] first run: welcome page in 1.5s");
    pending_ = services_.queue.postAfter(delay, [this] {
        pending_ = 0;
        if (services_.open) services_.open(SettingsPage::welcome);
    });
}

WelcomeTrigger& WelcomeTrigger::shared() {
    static WelcomeTrigger trigger(Services{
        AppStateFile::live(),
        QtMainQueue::shared(),
        [] { return std::chrono::system_clock::now(); },
        [](SettingsPage page) { SettingsLauncher::open(page); },
    });
    return trigger;
}

}  // namespace sorvane
