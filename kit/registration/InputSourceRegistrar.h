#pragma once
// Ties the input method to the system's keyboard input sources: whether our
// input mode is installed, enabled and selected; enabling, disabling and
// selecting it; the current and all installed sources; and our two entries
// in the system's list of enabled input sources, on which the installer and
// the uninstaller rely.
//
// Holds no state: every call asks the input-source service and the
// preferences afresh, so a change made by another process is seen at once.
// Main thread only; enable() and waitForSourceToAppear() run the caller's
// run loop while they wait. Diagnostics are single lines for standard error.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/RunLoop.h"
#include "platform/SystemInfo.h"
#include "platform/TextInputSources.h"
#include "platform/files/UserDefaults.h"

namespace sorvane {

class InputSourceRegistrar {
public:
    static constexpr std::string_view fallbackBundleID = "cn.kestrum.inputmethod.Sorvane";
    // Our own input mode; fixed, whatever the bundle's identifier.
    static constexpr std::string_view modeID = "cn.kestrum.inputmethod.Sorvane.Hans";
    // Modes of earlier versions, dropped from the enabled list.
    static constexpr std::string_view retiredModeIDs[] = {"cn.kestrum.inputmethod.Sorvane.Latin"};

    static constexpr std::chrono::milliseconds enableSettle{500};
    static constexpr std::chrono::milliseconds waitSlice{200};

    // Result texts of the two list operations.
    static constexpr std::string_view enabledViaTIS = "enabled via TIS";
    static constexpr std::string_view listUpdated = "enabled list updated";
    static constexpr std::string_view listAlreadyComplete = "enabled list already complete";
    static constexpr std::string_view listUnreadable = "enabled list unreadable; not changed";
    static constexpr std::string_view listNotWritten = "enabled list not written";
    static constexpr std::string_view removedFromList = "removed from enabled list";
    static constexpr std::string_view notInList = "not in enabled list";

    struct Services {
        std::shared_ptr<TextInputSources> sources;
        // The store of one preferences domain; the enabled list's value is
        // read and written through it.
        std::function<std::unique_ptr<UserDefaults>(std::string_view domain)> preferences;
        const SystemInfo& system;
        const Clock& clock;
        RunLoop& runLoop;
        // The running bundle's identifier, asked at each use.
        std::function<std::optional<std::string>()> bundleIdentifier;
        // One diagnostic line, with its line feed.
        std::function<void(std::string_view)> diagnostic;
    };

    struct Status {
        bool registered = false;
        bool enabled = false;
        bool selected = false;
        bool operator==(const Status&) const = default;
    };

    struct ListLocation {
        std::string domain;
        std::string key;
    };

    explicit InputSourceRegistrar(Services services) : s_(std::move(services)) {}

    // Whether our mode is installed once `timeout` seconds have passed at the
    // latest; looks every 0.2 s while the run loop runs. 0 looks once.
    bool waitForSourceToAppear(double timeout);
    // Enables the bundle's own source and all its modes.
    bool enable();
    // Disables our mode only.
    bool disable();
    bool select(const std::string& sourceID);
    // Enables, then selects our mode.
    bool select();
    std::optional<std::string> currentSourceID();
    Status status();
    // In the service's order; sources without an id are left out.
    std::vector<std::string> allSourceIDs();
    std::string ensureEnabled();
    std::string removeFromEnabledList();

    std::string bundleID() const;
    // Where the system keeps the enabled list on this system version.
    ListLocation enabledListLocation() const;
    // Our two entries, in the order they are added.
    std::vector<nlohmann::json> enabledListEntries() const;

private:
    InputSourceRef find(std::string_view id);
    std::optional<std::string> idOf(const InputSource& source) const;
    bool flagOf(const InputSource& source, TextInputSources::Flag flag) const;
    void diagnose(const std::string& line) const;

    Services s_;
};

}  // namespace sorvane
