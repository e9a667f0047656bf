#include "platform/files/DataFile.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/LogSink.h"
#include "platform/files/JsonDocument.h"

namespace sorvane::DataFile {
namespace {

namespace fs = std::filesystem;

// "<file>.corrupt-20261207T090512.123Z": beside the file, never over an
// earlier copy kept the same way.
fs::path corruptCopyPath(const fs::path& file) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &utc);
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".corrupt-%s.%03dZ", stamp, static_cast<int>(millis));
    return fs::path(file.string() + suffix);
}

}  // namespace

Expected<std::optional<std::string>, FileError> readBeforeReplacing(
    const fs::path& path, std::string_view what, const std::function<bool(std::string_view text)>& parses) {
    auto text = Files::readFile(path);
    if (!text) {
        if (text.error().kind == FileError::Kind::notFound) return std::optional<std::string>();
        return unexpected(text.error());
    }
    if (parses(*text)) return std::optional<std::string>(std::move(*text));
    // What another program or a damaged disk left here may still be the
    // user's: set it aside rather than overwrite it.
    const fs::path copy = corruptCopyPath(path);
    if (::rename(path.c_str(), copy.c_str()) != 0) return unexpected(Files::errorFromErrno(errno, path));
    auto sink = Logging::sink();
    if (sink->isEnabled(LogLevel::standard))
        sink->write(LogLevel::standard, "[Sorvane] " + std::string(what) +
                                            " unreadable as a JSON object, kept as " + copy.string());
    return std::optional<std::string>();
}

std::string ObjectBeforeReplacing::dump() const {
    return JsonDocument::dumpKeeping(object, original, originalText);
}

Expected<ObjectBeforeReplacing, FileError> readObjectBeforeReplacing(const fs::path& path,
                                                                     std::string_view what) {
    ObjectBeforeReplacing found{nlohmann::json::object(), nlohmann::json(), {}};
    auto existing = readBeforeReplacing(path, what, [&](std::string_view text) {
        auto parsed = JsonDocument::parse(text);
        if (!parsed || !parsed->is_object()) return false;
        found.object = std::move(*parsed);
        return true;
    });
    if (!existing) return unexpected(existing.error());
    if (*existing) found.originalText = JsonDocument::inexactMembers(**existing);
    // The copy to compare against is needed only when there is text to keep.
    if (!found.originalText.empty()) found.original = found.object;
    return found;
}

}  // namespace sorvane::DataFile
