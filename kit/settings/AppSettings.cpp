#include "kit/settings/AppSettings.h"

#include "platform/NotificationCenter.h"
#include "platform/SorvaneLog.h"
#include "platform/files/DataFile.h"
#include "platform/files/JsonDocument.h"

namespace sorvane {
namespace {

bool boolOr(const nlohmann::json& object, const char* key, bool fallback) {
    auto it = object.find(key);
    return it != object.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

std::optional<std::string> stringAt(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

}  // namespace

AppSettings AppSettings::fromJson(const nlohmann::json& object) {
    AppSettings s;
    if (!object.is_object()) return s;
    if (auto raw = stringAt(object, "toggleKey")) s.toggleKey = toggleKeyFromRaw(*raw).value_or(s.toggleKey);
    s.doubleShiftLock = boolOr(object, "doubleShiftLock", s.doubleShiftLock);
    if (auto raw = stringAt(object, "acceptKeys"))
        s.acceptKeys = acceptKeysFromRaw(*raw).value_or(s.acceptKeys);
    s.autoCheckUpdates = boolOr(object, "autoCheckUpdates", s.autoCheckUpdates);
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

void AppSettingsFile::save(const AppSettings& settings, bool notify) const {
    auto notWritten = [](const FileError& error) {
        SorvaneLog::log("[Sorvane] settings not written: " + error.description());
    };
    if (auto made = Files::createDirectories(url.parent_path()); !made) return notWritten(made.error());
    // Only the settings window writes here, so no lock. The user's choices in
    // a file we cannot read now must not give way to the defaults.
    auto existing = DataFile::readBeforeReplacing(
        url, "settings", [](std::string_view text) { return AppSettings::decode(text).has_value(); });
    if (!existing) return notWritten(existing.error());
    if (auto written = Files::atomicWrite(url, settings.encode()); !written)
        return notWritten(written.error());
    if (!notify) return;
    // The center logs its own failure; the file is written either way and a
    // reader still notices it by its stamp.
    if (auto center = notifications ? notifications : NotificationCenter::shared()) {
        center->post(changedNotification);
    } else {
        SorvaneLog::log("[Sorvane] settings change not posted: no notification center");
    }
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
