#include "platform/files/DataFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/LogSink.h"
#include "platform/Uuid.h"
#include "platform/files/JsonDocument.h"

namespace sorvane::DataFile {
namespace {

namespace fs = std::filesystem;

// "<file>.corrupt-20261207T090512.123Z": beside the file.
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

// Two writers in one millisecond, or a clock set back, choose one name.
constexpr int maxCopiesOfOneName = 100;

// `copy`, then "<copy>-2", "-3", ...
fs::path copyName(const fs::path& copy, int n) {
    return n == 1 ? copy : fs::path(copy.string() + "-" + std::to_string(n));
}

}  // namespace

Expected<fs::path, FileError> setAside(const fs::path& file, const fs::path& copy) {
    for (int n = 1;; ++n) {
        const fs::path name = copyName(copy, n);
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) return name;
        const int code = errno;
        if (code == EINVAL || code == ENOSYS) return setAsideByLinking(file, copy);
        if (code != EEXIST || n == maxCopiesOfOneName) return unexpected(Files::errorFromErrno(code, file));
    }
}

Expected<fs::path, FileError> setAsideByLinking(const fs::path& file, const fs::path& copy,
                                                const Link& link) {
    // Whatever is at `file` at this instant moves, as with RENAME_NOREPLACE;
    // a file a writer puts there afterwards is not ours to touch. No one else
    // writes a name of a fresh UUID, so this rename replaces nothing.
    const fs::path own(copy.string() + "." + Uuid::random());
    if (::rename(file.c_str(), own.c_str()) != 0) return unexpected(Files::errorFromErrno(errno, file));
    for (int n = 1; n <= maxCopiesOfOneName; ++n) {
        const fs::path name = copyName(copy, n);
        const int linked = link ? link(own.c_str(), name.c_str()) : ::link(own.c_str(), name.c_str());
        if (linked == 0) {
            ::unlink(own.c_str());
            return name;
        }
        if (errno != EEXIST) break;
    }
    // No hard links here, or every name taken: the file stays set aside under
    // its own name, which still says what it is.
    return own;
}

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
    const auto copy = setAside(path, corruptCopyPath(path));
    if (!copy) return unexpected(copy.error());
    auto sink = Logging::sink();
    if (sink->isEnabled(LogLevel::standard))
        sink->write(LogLevel::standard, "[Sorvane] " + std::string(what) +
                                            " unreadable as a JSON object, kept as " + copy->string());
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
