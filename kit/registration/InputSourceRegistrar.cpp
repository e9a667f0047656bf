#include "kit/registration/InputSourceRegistrar.h"

#include <algorithm>

namespace sorvane {
namespace {

using Flag = TextInputSources::Flag;

std::optional<std::string> stringField(const nlohmann::json& entry, const char* key) {
    auto it = entry.find(key);
    if (it == entry.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

// The enabled list as stored: an array of dictionaries, none when the key is
// absent. A store that cannot be read, or a value of another shape, is not
// ours to interpret: none of its entries can be told apart from ours.
std::optional<std::vector<nlohmann::json>> readEnabledList(const UserDefaults& preferences,
                                                           std::string_view key) {
    const auto stored = preferences.read(key);
    if (!stored) return std::nullopt;
    if (!*stored) return std::vector<nlohmann::json>{};
    const nlohmann::json& value = **stored;
    if (!value.is_array()) return std::nullopt;
    std::vector<nlohmann::json> entries;
    for (const auto& entry : value) {
        if (!entry.is_object()) return std::nullopt;
        entries.push_back(entry);
    }
    return entries;
}

bool isRetired(const nlohmann::json& entry) {
    auto mode = stringField(entry, "Input Mode");
    if (!mode) return false;
    const auto& retired = InputSourceRegistrar::retiredModeIDs;
    return std::find(std::begin(retired), std::end(retired), *mode) != std::end(retired);
}

}  // namespace

std::string InputSourceRegistrar::bundleID() const {
    auto id = s_.bundleIdentifier ? s_.bundleIdentifier() : std::nullopt;
    return id ? *id : std::string(fallbackBundleID);
}

InputSourceRegistrar::ListLocation InputSourceRegistrar::enabledListLocation() const {
    if (s_.system.majorVersion() >= 26)
        return {"com.apple.inputsources", "AppleEnabledThirdPartyInputSources"};
    return {"com.apple.HIToolbox", "AppleEnabledInputSources"};
}

std::vector<nlohmann::json> InputSourceRegistrar::enabledListEntries() const {
    const std::string bundle = bundleID();
    return {
        {{"Bundle ID", bundle}, {"InputSourceKind", "Keyboard Input Method"}},
        {{"Bundle ID", bundle}, {"Input Mode", std::string(modeID)}, {"InputSourceKind", "Input Mode"}},
    };
}

std::optional<std::string> InputSourceRegistrar::idOf(const InputSource& source) const {
    return s_.sources->id(source);
}

bool InputSourceRegistrar::flagOf(const InputSource& source, Flag flag) const {
    return s_.sources->flag(source, flag).value_or(false);
}

void InputSourceRegistrar::diagnose(const std::string& line) const {
    if (s_.diagnostic) s_.diagnostic(line + "\n");
}

InputSourceRef InputSourceRegistrar::find(std::string_view id) {
    for (auto& source : s_.sources->list()) {
        if (source && idOf(*source) == id) return source;
    }
    return nullptr;
}

bool InputSourceRegistrar::waitForSourceToAppear(double timeout) {
    const auto deadline =
        s_.clock.steadyNow() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                   std::chrono::duration<double>(std::max(timeout, 0.0)));
    while (s_.clock.steadyNow() < deadline) {
        if (find(modeID)) return true;
        s_.runLoop.runFor(waitSlice);
    }
    return find(modeID) != nullptr;
}

bool InputSourceRegistrar::enable() {
    const std::string bundle = bundleID();
    const std::string prefix = bundle + ".";
    std::vector<InputSourceRef> candidates;
    for (auto& source : s_.sources->list()) {
        if (!source) continue;
        auto id = idOf(*source);
        if (id && (*id == bundle || id->starts_with(prefix))) candidates.push_back(source);
    }
    if (candidates.empty()) {
        diagnose("input source " + std::string(modeID) + " is not registered");
        return false;
    }
    bool failed = false;
    for (const auto& source : candidates) {
        if (flagOf(*source, Flag::enabled)) continue;
        const InputSourceStatus status = s_.sources->enable(*source);
        if (status == InputSourceStatusCode::ok) continue;
        diagnose("TISEnableInputSource(" + idOf(*source).value_or("?") +
                 ") failed: " + std::to_string(status));
        failed = true;
    }
    // The service applies an enabling asynchronously; give it a moment before
    // asking for the result.
    s_.runLoop.runFor(enableSettle);
    if (failed) return false;
    auto mode = find(modeID);
    return mode && flagOf(*mode, Flag::enabled);
}

bool InputSourceRegistrar::disable() {
    auto mode = find(modeID);
    if (!mode) return false;
    if (!flagOf(*mode, Flag::enabled)) return true;
    return s_.sources->disable(*mode) == InputSourceStatusCode::ok;
}

bool InputSourceRegistrar::select(const std::string& sourceID) {
    auto source = find(sourceID);
    if (!source) {
        diagnose("no such input source: " + sourceID);
        return false;
    }
    if (flagOf(*source, Flag::selected)) return true;
    if (!flagOf(*source, Flag::selectCapable)) {
        diagnose("input source not select-capable: " + sourceID);
        return false;
    }
    const InputSourceStatus status = s_.sources->select(*source);
    if (status == InputSourceStatusCode::ok) return true;
    diagnose("TISSelectInputSource(" + sourceID + ") failed: " + std::to_string(status));
    return false;
}

bool InputSourceRegistrar::select() {
    if (!find(modeID)) {
        diagnose("input source " + std::string(modeID) + " is not registered");
        return false;
    }
    if (!enable()) return false;
    return select(std::string(modeID));
}

std::optional<std::string> InputSourceRegistrar::currentSourceID() {
    auto source = s_.sources->current();
    if (!source) return std::nullopt;
    return idOf(*source);
}

InputSourceRegistrar::Status InputSourceRegistrar::status() {
    auto mode = find(modeID);
    if (!mode) return {};
    return {true, flagOf(*mode, Flag::enabled), flagOf(*mode, Flag::selected)};
}

std::vector<std::string> InputSourceRegistrar::allSourceIDs() {
    std::vector<std::string> ids;
    for (auto& source : s_.sources->list()) {
        if (!source) continue;
        if (auto id = idOf(*source)) ids.push_back(std::move(*id));
    }
    return ids;
}

std::string InputSourceRegistrar::ensureEnabled() {
    bool enabledThroughService = false;
    if (enable()) {
        auto own = find(bundleID());
        enabledThroughService = own && flagOf(*own, Flag::enabled);
    }
    // From 26 on the system keeps third-party sources in a list of its own,
    // which enabling through the service does not fill.
    if (s_.system.majorVersion() <= 25 && enabledThroughService) return std::string(enabledViaTIS);

    const ListLocation location = enabledListLocation();
    auto preferences = s_.preferences(location.domain);
    const auto read = readEnabledList(*preferences, location.key);
    // Replacing a value we cannot read would drop whatever it holds.
    if (!read) return std::string(listUnreadable);

    std::vector<nlohmann::json> merged;
    std::copy_if(read->begin(), read->end(), std::back_inserter(merged),
                 [](const nlohmann::json& entry) { return !isRetired(entry); });
    for (const auto& own : enabledListEntries()) {
        if (std::find(merged.begin(), merged.end(), own) == merged.end()) merged.push_back(own);
    }
    if (merged == *read) return std::string(listAlreadyComplete);
    if (!preferences->setValue(location.key, nlohmann::json(merged))) return std::string(listNotWritten);
    return std::string(listUpdated);
}

std::string InputSourceRegistrar::removeFromEnabledList() {
    disable();
    const ListLocation location = enabledListLocation();
    auto preferences = s_.preferences(location.domain);
    // Whether our entries are in a list we cannot read is unknown, and the
    // uninstaller must not be told they are not.
    const auto read = readEnabledList(*preferences, location.key);
    if (!read) return std::string(listUnreadable);
    const std::string bundle = bundleID();
    std::vector<nlohmann::json> kept;
    std::copy_if(read->begin(), read->end(), std::back_inserter(kept),
                 [&](const nlohmann::json& entry) { return stringField(entry, "Bundle ID") != bundle; });
    if (kept == *read) return std::string(notInList);
    if (!preferences->setValue(location.key, nlohmann::json(kept))) return std::string(listNotWritten);
    return std::string(removedFromList);
}

}  // namespace sorvane
