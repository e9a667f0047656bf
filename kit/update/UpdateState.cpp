#include "kit/update/UpdateState.h"

#include <nlohmann/json.hpp>
#include <system_error>

#include "kit/update/UpdateVersion.h"
#include "platform/DateText.h"
#include "platform/Text.h"

namespace sorvane {
namespace {

using json = nlohmann::json;
using Kind = UpdateDecodingError::Kind;

bool sameRelease(const UpdateRelease& a, const UpdateRelease& b) {
    return a.version == b.version && Text::asciiLowercased(a.sha256) == Text::asciiLowercased(b.sha256) &&
           a.size == b.size;
}

Unexpected<UpdateDecodingError> typeMismatch(const std::string& key) {
    return unexpected(UpdateDecodingError{Kind::typeMismatch, key, "wrong type at \"" + key + "\""});
}

const json* present(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

// Absent and null leave the field unset; another type fails.
bool readText(const json& object, const char* key, std::optional<std::string>& out) {
    const json* value = present(object, key);
    if (!value) return true;
    if (!value->is_string()) return false;
    out = value->get<std::string>();
    return true;
}

// Whole seconds only: the writer never puts a fraction, so one is a
// foreign or damaged file.
bool readDate(const json& object, const char* key, std::optional<UpdateState::Date>& out) {
    const json* value = present(object, key);
    if (!value) return true;
    if (!value->is_string()) return false;
    const auto date = DateText::parseISO8601(value->get_ref<const std::string&>());
    if (!date) return false;
    // Every date is compared with the system clock, which counts nanoseconds
    // and so ends within about 292 years of 1970; one outside that is not
    // ours, and converting it would overflow.
    using std::chrono::system_clock;
    if (*date < std::chrono::ceil<std::chrono::seconds>(system_clock::time_point::min()) ||
        *date > std::chrono::floor<std::chrono::seconds>(system_clock::time_point::max()))
        return false;
    out = *date;
    return true;
}

}  // namespace

void UpdateState::adopt(std::optional<UpdateRelease> release) {
    const bool changed =
        latest.has_value() != release.has_value() || (latest && release && !sameRelease(*latest, *release));
    if (changed) {
        downloadedPath.reset();
        verifiedAt.reset();
    }
    latest = std::move(release);
}

bool UpdateState::existsOnDisk(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

std::optional<UpdateState::Ready> UpdateState::readyRelease(std::string_view runningVersion,
                                                            const FileExists& fileExists) const {
    if (!latest || !downloadedPath || !verifiedAt) return std::nullopt;
    if (UpdateVersion::compare(latest->version, runningVersion) != VersionOrder::descending)
        return std::nullopt;
    if (!fileExists(*downloadedPath)) return std::nullopt;
    return Ready{*latest, *downloadedPath};
}

json UpdateState::toJSON() const {
    json object = json::object();
    if (checkedAt) object["checkedAt"] = DateText::iso8601(*checkedAt);
    if (latest) object["latest"] = latest->toJSON();
    if (downloadedPath) object["downloadedPath"] = *downloadedPath;
    if (verifiedAt) object["verifiedAt"] = DateText::iso8601(*verifiedAt);
    if (notifiedVersion) object["notifiedVersion"] = *notifiedVersion;
    return object;
}

Expected<UpdateState, UpdateDecodingError> UpdateState::fromJSON(const json& value) {
    if (!value.is_object()) return typeMismatch("");
    UpdateState state;
    if (!readDate(value, "checkedAt", state.checkedAt)) return typeMismatch("checkedAt");
    if (const json* latest = present(value, "latest")) {
        auto release = UpdateRelease::fromJSON(*latest);
        if (!release) return unexpected(release.error());
        state.latest = std::move(*release);
    }
    if (!readText(value, "downloadedPath", state.downloadedPath)) return typeMismatch("downloadedPath");
    if (!readDate(value, "verifiedAt", state.verifiedAt)) return typeMismatch("verifiedAt");
    if (!readText(value, "notifiedVersion", state.notifiedVersion)) return typeMismatch("notifiedVersion");
    return state;
}

}  // namespace sorvane
