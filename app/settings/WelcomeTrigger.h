#pragma once
// Opens the settings window's home page by itself the first time the input
// method is used: once per server process it looks at state.json, and when
// no welcome time is recorded it records one and opens the page 1.5 s later.
// Main thread only.
#include <chrono>
#include <functional>

#include "kit/settings/AppStateFile.h"
#include "kit/settings/SettingsPage.h"
#include "platform/MainQueue.h"

namespace sorvane {

class WelcomeTrigger {
public:
    static constexpr std::chrono::milliseconds delay{1500};

    struct Services {
        AppStateFile state;
        MainQueue& queue;
        std::function<std::chrono::system_clock::time_point()> now;
        std::function<void(SettingsPage)> open;
    };

    explicit WelcomeTrigger(Services services);
    ~WelcomeTrigger();
    WelcomeTrigger(const WelcomeTrigger&) = delete;
    WelcomeTrigger& operator=(const WelcomeTrigger&) = delete;

    // Called at the end of every activation; acts on the first call only.
    void noteActivation();
    bool decided() const { return decided_; }

    // The server's trigger: AppStateFile::live(), the Qt main queue, the
    // system clock and SettingsLauncher::open. Made on first use.
    static WelcomeTrigger& shared();

private:
    Services services_;
    bool decided_ = false;
    QueueTaskId pending_ = 0;
};

}  // namespace sorvane
