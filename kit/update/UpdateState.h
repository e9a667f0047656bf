#pragma once
// What update.json holds: the last answered check, the release it
// announced, the kept package of that release with its last verification,
// and the version the toast has announced. Both processes read and write it
// (the server's schedule and toast, the settings window's update panel).
// A plain value, safe to copy across threads.
#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "kit/update/UpdateRelease.h"

namespace sorvane {

struct UpdateState {
    // The file keeps whole seconds only.
    using Date = std::chrono::sys_seconds;

    std::optional<Date> checkedAt;
    std::optional<UpdateRelease> latest;
    std::optional<std::string> downloadedPath;
    std::optional<Date> verifiedAt;
    std::optional<std::string> notifiedVersion;

    // Stores `release` as the latest; when it is another release (by
    // version, digest ignoring case, or size; or one of the two is unset)
    // the kept package and its verification no longer apply and are cleared.
    void adopt(std::optional<UpdateRelease> release);

    struct Ready {
        UpdateRelease release;
        std::string path;
        bool operator==(const Ready&) const = default;
    };
    using FileExists = std::function<bool(const std::string& path)>;
    // A verified, kept package of a release newer than the running version
    // whose file is still there.
    std::optional<Ready> readyRelease(std::string_view runningVersion,
                                      const FileExists& fileExists = existsOnDisk) const;
    static bool existsOnDisk(const std::string& path);

    // Dates as "2026-12-07T08:45:00Z"; unset fields have no key.
    nlohmann::json toJSON() const;
    // Any wrongly typed value, or a date not in that form (a fraction
    // included), fails the whole state.
    static Expected<UpdateState, UpdateDecodingError> fromJSON(const nlohmann::json& value);

    bool operator==(const UpdateState&) const = default;
};

}  // namespace sorvane
