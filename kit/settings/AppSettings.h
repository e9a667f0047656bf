#pragma once
// The user's settings (settings.json) and the server's cache of them.
#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "kit/input/AcceptKeys.h"
#include "platform/files/Files.h"

namespace sorvane {

class NotificationCenter;

// Which Shift switches between Chinese and English.
enum class ToggleKey { eitherShift, leftShift, rightShift, off };

inline constexpr std::array<ToggleKey, 4> allToggleKeys{ToggleKey::eitherShift, ToggleKey::leftShift,
                                                        ToggleKey::rightShift, ToggleKey::off};

constexpr std::string_view rawValue(ToggleKey key) {
    switch (key) {
        case ToggleKey::eitherShift:
            return "eitherShift";
        case ToggleKey::leftShift:
            return "leftShift";
        case ToggleKey::rightShift:
            return "rightShift";
        case ToggleKey::off:
            return "off";
    }
    return "eitherShift";
}

constexpr std::optional<ToggleKey> toggleKeyFromRaw(std::string_view raw) {
    for (ToggleKey key : allToggleKeys) {
        if (rawValue(key) == raw) return key;
    }
    return std::nullopt;
}

struct AppSettings {
    ToggleKey toggleKey = ToggleKey::eitherShift;
    bool doubleShiftLock = true;
    AcceptKeys acceptKeys = AcceptKeys::tabNormalized;
    bool autoCheckUpdates = true;

    bool operator==(const AppSettings&) const = default;

    // Key by key: a missing, null, mistyped or unknown value gives that
    // field's default; other keys are ignored.
    static AppSettings fromJson(const nlohmann::json& object);
    // Fails only when the text is not JSON or its top level is not an object.
    static std::optional<AppSettings> decode(std::string_view text);
    nlohmann::json toJson() const;
    // Pretty-printed, keys sorted.
    std::string encode() const;
};

// One settings file.
struct AppSettingsFile {
    std::filesystem::path url;
    // Where save() posts its change notification; the process's shared
    // center when unset.
    std::shared_ptr<NotificationCenter> notifications;

    static constexpr std::string_view changedNotification = "cn.kestrum.inputmethod.Sorvane.settingsChanged";
    // ~/Library/SorvaneIME/settings.json of the HOME at first use.
    static const AppSettingsFile& live();

    // Why a save wrote nothing; the file stays as it was.
    struct SaveError {
        // keptExisting: the file there could not be read, or (not being a
        // JSON object) could not be set aside; notWritten: the folder or the
        // file could not be written.
        enum class Kind { keptExisting, notWritten };
        Kind kind = Kind::notWritten;
        FileError cause;
    };

    // A change the user made, from the settings the window had read
    // (`changedFrom`) to `settings`. Writes atomically, creating the folder;
    // posts changedNotification only after a successful write and only when
    // `notify`. A failure is logged ("[Sorvane] settings not written: …") and
    // returned. Of the four known keys it writes those whose value differs
    // between the two, and those the file holds no value for (absent or
    // null), so that the file stays complete; every other member of the file
    // (a known key the user did not change, also one whose value this
    // version cannot read, and keys it does not know) keeps its value as
    // written. A known key whose unreadable value gives way to the user's
    // change is named in one line per save ("[Sorvane] settings: replaced
    // unreadable values of <keys>"). An existing file that cannot be read is
    // never replaced; one that is not a JSON object is first set aside as
    // "settings.json.corrupt-<UTC time>", and the new one then holds all four
    // keys.
    Expected<void, SaveError> save(const AppSettings& settings, const AppSettings& changedFrom,
                                   bool notify) const;
    // The same with every known key written from `settings`: for a file made
    // to hold these settings (a preview's, a test's).
    Expected<void, SaveError> save(const AppSettings& settings, bool notify) const;
    // None when the file is missing, unreadable or not a JSON object.
    std::optional<AppSettings> load() const;
    std::optional<std::chrono::system_clock::time_point> modificationDate() const;

private:
    // `changedFrom` none: every known key.
    Expected<void, SaveError> write(const AppSettings& settings, const AppSettings* changedFrom,
                                    bool notify) const;
};

// The reading side's process-wide cache over AppSettingsFile::live().
namespace LiveSettings {

class Cache {
public:
    explicit Cache(AppSettingsFile file);
    // The file is re-read only when its stamp (modification time, inode and
    // size) changed; all defaults when it is missing or undecodable.
    AppSettings current();
    void invalidate();

private:
    AppSettingsFile file_;
    std::mutex lock_;
    std::optional<AppSettings> loaded_;
    std::optional<FileStamp> loadedStamp_;
};

Cache& shared();
inline AppSettings current() {
    return shared().current();
}
inline void invalidate() {
    shared().invalidate();
}

}  // namespace LiveSettings
}  // namespace sorvane
