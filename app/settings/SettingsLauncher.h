#pragma once
// Opens the settings window from the input-method server: the window is a
// second process of our own executable ("--settings <page>"). While the
// process we started last is still running, it is told the page through the
// show-settings notification instead of starting another one.
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "kit/settings/SettingsPage.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"

namespace sorvane::SettingsLauncher {

inline constexpr std::string_view showNotification = "cn.kestrum.inputmethod.Sorvane.showSettings";
inline constexpr std::string_view pageKey = "page";

class Launcher {
public:
    struct Services {
        // The program to start; none when the executable cannot be found
        // (open() then does nothing).
        std::function<std::optional<std::filesystem::path>()> executable;
        // Where postShow() posts; none: nothing is posted.
        std::function<std::shared_ptr<NotificationCenter>()> notifications;
        // Where the end of a child is noted. Must outlive the launcher.
        MainQueue& queue;
    };

    explicit Launcher(Services services);
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // Main thread.
    void open(SettingsPage page);
    // False when there is nowhere to post or the post failed (logged by the
    // center).
    bool postShow(SettingsPage page);

    // The child started last while it is known, even after it ended and
    // before its end was noted on the main queue.
    std::optional<pid_t> child() const;
    // Whether that child has not ended yet. A child that has ended counts as
    // ended at once, before its end is noted.
    bool childIsRunning() const;

private:
    struct Child;
    struct Sink;

    Services services_;
    std::shared_ptr<Child> child_;
    std::shared_ptr<Sink> sink_;
};

// The server's launcher: our own executable (/proc/self/exe), the process's
// notification center and the Qt main queue. Made on first use.
Launcher& shared();
void open(SettingsPage page);
bool postShow(SettingsPage page);

// The page a show-settings notification names; none when the user info is
// absent, has no "page" entry or names no page (case-sensitive).
std::optional<SettingsPage> page(const std::optional<NotificationUserInfo>& userInfo);

}  // namespace sorvane::SettingsLauncher
