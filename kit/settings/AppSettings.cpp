#include "kit/settings/AppSettings.h"

#include <algorithm>
#include <vector>

#include "platform/NotificationCenter.h"
#include "platform/SorvaneLog.h"
#include "platform/files/DataFile.h"
#include "platform/files/JsonDocument.h"

namespace sorvane {
namespace {

// Each known key's value as this version reads it; none when the key is
// missing, null, mistyped or holds a value it does not know.
std::optional<bool> boolAt(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_boolean()) return std::nullopt;
    return it->get<bool>();
}

std::optional<std::string> stringAt(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::optional<ToggleKey> toggleKeyAt(const nlohmann::json& object) {
    auto raw = stringAt(object, "toggleKey");
    return raw ? toggleKeyFromRaw(*raw) : std::nullopt;
}

std::optional<AcceptKeys> acceptKeysAt(const nlohmann::json& object) {
    auto raw = stringAt(object, "acceptKeys");
    return raw ? acceptKeysFromRaw(*raw) : std::nullopt;
}

// The known keys of `object` that hold a value this version cannot read, in
// field order. A null holds nothing to lose.
std::vector<std::string> unreadableKnownKeys(const nlohmann::json& object) {
    std::vector<std::string> keys;
    const auto check = [&](const char* key, bool readable) {
        auto it = object.find(key);
        if (it != object.end() && !it->is_null() && !readable) keys.emplace_back(key);
    };
    check("toggleKey", toggleKeyAt(object).has_value());
    check("doubleShiftLock", boolAt(object, "doubleShiftLock").has_value());
    check("acceptKeys", acceptKeysAt(object).has_value());
    check("autoCheckUpdates", boolAt(object, "autoCheckUpdates").has_value());
    return keys;
}

}  // namespace

AppSettings AppSettings::fromJson(const nlohmann::json& object) {
    AppSettings s;
    if (!object.is_object()) return s;
    s.toggleKey = toggleKeyAt(object).value_or(s.toggleKey);
    s.doubleShiftLock = boolAt(object, "doubleShiftLock").value_or(s.doubleShiftLock);
    s.acceptKeys = acceptKeysAt(object).value_or(s.acceptKeys);
    s.autoCheckUpdates = boolAt(object, "autoCheckUpdates").value_or(s.autoCheckUpdates);
    return s;
}

std::optional<AppSettings> AppSettings::decode(std::string_view text) {
    auto parsed = JsonDocument::parse(text);
    if (!parsed || !parsed->is_object()) return std::nullopt;
    return fromJson(*parsed);
}

nlohmann::json AppSettings::toJson() const {
    return nlohmann::json{{"toggleKey", std::string(rawValue(toggleKey))},
                          {"doubleShiftLock", doubleShiftLock},
                          {"acceptKeys", std::string(rawValue(acceptKeys))},
                          {"autoCheckUpdates", autoCheckUpdates}};
}

// nlohmann's object keeps its keys sorted, so the dump is sorted too.
std::string AppSettings::encode() const {
    return toJson().dump(2);
}

const AppSettingsFile& AppSettingsFile::live() {
    static const AppSettingsFile file{Files::supportDirectory() / "settings.json", nullptr};
    return file;
}

Expected<void, AppSettingsFile::SaveError> AppSettingsFile::save(const AppSettings& settings,
                                                                 const AppSettings& changedFrom,
                                                                 bool notify) const {
    return write(settings, &changedFrom, notify);
}

Expected<void, AppSettingsFile::SaveError> AppSettingsFile::save(const AppSettings& settings,
                                                                 bool notify) const {
    return write(settings, nullptr, notify);
}

Expected<void, AppSettingsFile::SaveError> AppSettingsFile::write(const AppSettings& settings,
                                                                  const AppSettings* changedFrom,
                                                                  bool notify) const {
    using Kind = SaveError::Kind;
    auto notWritten = [](Kind kind, FileError cause) {
        SorvaneLog::log("[Sorvane] settings not written: " + cause.description());
        return unexpected(SaveError{kind, std::move(cause)});
    };
    if (auto made = Files::createDirectories(url.parent_path()); !made)
        return notWritten(Kind::notWritten, made.error());
    // Only the settings window writes here, so no lock. The user's choices in
    // a file we cannot read now must not give way to the defaults, and what
    // a newer version keeps beside our four keys stays as it was written;
    // so does a value of ours the user left alone, even one we cannot read.
    auto existing = DataFile::readObjectBeforeReplacing(url, "settings");
    if (!existing) return notWritten(Kind::keptExisting, existing.error());
    nlohmann::json& object = existing->object;
    const std::vector<std::string> unreadable = unreadableKnownKeys(object);
    const nlohmann::json before = changedFrom ? changedFrom->toJson() : nlohmann::json();
    const nlohmann::json after = settings.toJson();
    std::vector<std::string> written;
    for (const auto& [key, value] : after.items()) {
        auto it = object.find(key);
        const bool held = it != object.end() && !it->is_null();
        if (held && changedFrom && before.at(key) == value) continue;
        object[key] = value;
        written.push_back(key);
    }
    std::vector<std::string> replaced;
    for (const auto& key : unreadable)
        if (std::find(written.begin(), written.end(), key) != written.end()) replaced.push_back(key);
    std::string bytes;
    try {
        bytes = existing->dump();
    } catch (const nlohmann::json::exception& e) {
        return notWritten(Kind::notWritten, FileError{FileError::Kind::io, 0, e.what()});
    }
    if (auto written = Files::atomicWrite(url, bytes); !written)
        return notWritten(Kind::notWritten, written.error());
    if (!replaced.empty()) {
        std::string keys;
        for (const auto& key : replaced) keys += (keys.empty() ? "" : ", ") + key;
        SorvaneLog::log("[Sorvane] settings: replaced unreadable values of " + keys);
    }
    if (!notify) return {};
    // The center logs its own failure; the file is written either way and a
    // reader still notices it by its stamp.
    if (auto center = notifications ? notifications : NotificationCenter::shared()) {
        center->post(changedNotification);
    } else {
        SorvaneLog::log("[Sorvane] settings change not posted: no notification center");
    }
    return {};
}

std::optional<AppSettings> AppSettingsFile::load() const {
    auto text = Files::readFile(url);
    if (!text) return std::nullopt;
    return AppSettings::decode(*text);
}

std::optional<std::chrono::system_clock::time_point> AppSettingsFile::modificationDate() const {
    auto stamp = Files::stamp(url);
    if (!stamp) return std::nullopt;
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(stamp->modifiedNs)));
}

namespace LiveSettings {

Cache::Cache(AppSettingsFile file) : file_(std::move(file)) {}

AppSettings Cache::current() {
    std::lock_guard guard(lock_);
    // Stamp before the read: a write landing between the two shows a new
    // stamp on the next call and is read then.
    const auto stamp = Files::stamp(file_.url);
    if (loaded_ && stamp == loadedStamp_) return *loaded_;
    const AppSettings value = file_.load().value_or(AppSettings{});
    loaded_ = value;
    loadedStamp_ = stamp;
    return value;
}

void Cache::invalidate() {
    std::lock_guard guard(lock_);
    loaded_.reset();
    loadedStamp_.reset();
}

Cache& shared() {
    static Cache cache(AppSettingsFile::live());
    return cache;
}

}  // namespace LiveSettings
}  // namespace sorvane
