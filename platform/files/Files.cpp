#include "platform/files/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>
#include <set>

#include "platform/LogSink.h"
#include "platform/files/UniqueFd.h"

namespace sorvane::Files {
namespace fs = std::filesystem;

FileError errorFromErrno(int code, const fs::path& path) {
    FileError e;
    e.code = code;
    // A path through a plain file ("settings.json/x") cannot exist either.
    e.kind = code == ENOENT || code == ENOTDIR   ? FileError::Kind::notFound
             : (code == EACCES || code == EPERM) ? FileError::Kind::permissionDenied
                                                 : FileError::Kind::io;
    e.message = std::string(std::strerror(code)) + " (" + path.string() + ")";
    return e;
}

Expected<fs::path, FileError> findHomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        if (*home == '/') return fs::path(home);
        return unexpected(FileError{FileError::Kind::notFound, ENOENT,
                                    "HOME is not an absolute path (" + std::string(home) + ")"});
    }
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir == '/')
        return fs::path(pw->pw_dir);
    return unexpected(FileError{
        FileError::Kind::notFound, ENOENT,
        "HOME is not set and user " + std::to_string(getuid()) + " has no home in the password database"});
}

fs::path homeDirectory() {
    // Never a shared folder such as the system's temporary one: anyone could
    // make our folders there first. A process that keeps files refuses to
    // start without a home; anything else that asks finds nothing and can
    // create nothing under a path through a device file.
    return findHomeDirectory().valueOr(fs::path("/dev/null"));
}

fs::path supportDirectory() {
    return homeDirectory() / "Library" / "SorvaneIME";
}
fs::path preferencesDirectory() {
    return homeDirectory() / "Library" / "Preferences";
}
fs::path updatesCacheDirectory() {
    return homeDirectory() / "Library" / "Caches" / "SorvaneIME" / "Updates";
}
fs::path logsDirectory() {
    return homeDirectory() / "Library" / "Logs" / "SorvaneIME";
}

fs::path runtimeDirectory() {
    // Whoever may write to the folder can plant files in it, or take away
    // ours: only a folder of this user's that is closed to others will do.
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir == '/') {
        struct stat st {};
        if (::stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
            (st.st_mode & 022) == 0)
            return fs::path(dir);
    }
    return supportDirectory() / "run";
}

namespace {

FileError refusal(FileError::Kind kind, const fs::path& path, std::size_t limit) {
    FileError e;
    e.kind = kind;
    e.message = (kind == FileError::Kind::notRegular ? std::string("Not a regular file")
                                                     : "Larger than " + std::to_string(limit) + " bytes") +
                " (" + path.string() + ")";
    return e;
}

// A refused file is read again on every lookup of some readers; one record
// per path says it all.
void logRefusalOnce(const FileError& error) {
    static std::mutex mutex;
    static std::set<std::string> logged;
    {
        std::lock_guard lock(mutex);
        if (logged.size() >= 256 || !logged.insert(error.message).second) return;
    }
    auto sink = Logging::sink();
    if (sink->isEnabled(LogLevel::standard))
        sink->write(LogLevel::standard, "[Sorvane] file not read: " + error.message);
}

}  // namespace

Expected<std::string, FileError> readFile(const fs::path& path, std::size_t limit) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file.valid()) return unexpected(errorFromErrno(errno, path));
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) return unexpected(errorFromErrno(errno, path));
    auto refuse = [&](FileError::Kind kind) {
        FileError error = refusal(kind, path, limit);
        logRefusalOnce(error);
        return unexpected(std::move(error));
    };
    if (!S_ISREG(st.st_mode)) return refuse(FileError::Kind::notRegular);
    if (static_cast<std::uint64_t>(st.st_size) > limit) return refuse(FileError::Kind::tooLarge);
    std::string data;
    char buf[16384];
    // Reads one byte past the limit, so a file that grows meanwhile is caught.
    for (;;) {
        const std::size_t want = std::min(sizeof buf, limit + 1 - data.size());
        const ssize_t n = ::read(file.get(), buf, want);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return unexpected(errorFromErrno(errno, path));
        }
        data.append(buf, static_cast<std::size_t>(n));
        if (data.size() > limit) return refuse(FileError::Kind::tooLarge);
    }
    return data;
}

namespace {

// The data folder holds the user's typing history (the engine's user
// dictionary) and their route and consent state.
constexpr mode_t privateDirectoryMode = 0700;

// `path` relative to the data folder when it lies inside it (the folder
// itself gives "."), none otherwise.
std::optional<fs::path> withinSupportDirectory(const fs::path& path) {
    const fs::path support = supportDirectory().lexically_normal();
    const fs::path relative = path.lexically_normal().lexically_relative(support);
    if (relative.empty() || *relative.begin() == "..") return std::nullopt;
    return relative;
}

Expected<void, FileError> makeDirectory(const fs::path& path, mode_t mode) {
    if (::mkdir(path.c_str(), mode) == 0) return {};
    const int code = errno;
    struct stat st {};
    if (code == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return {};
    return unexpected(errorFromErrno(code == EEXIST ? ENOTDIR : code, path));
}

}  // namespace

Expected<void, FileError> createDirectories(const fs::path& path) {
    const auto inside = withinSupportDirectory(path);
    std::error_code ec;
    fs::create_directories(inside ? supportDirectory().parent_path() : path, ec);
    if (ec) return unexpected(errorFromErrno(ec.value(), path));
    if (!inside) return {};
    // Made one by one, so that whichever writer comes first, no folder of
    // ours is ever readable by others, not even for a moment.
    fs::path made = supportDirectory();
    if (auto ok = makeDirectory(made, privateDirectoryMode); !ok) return ok;
    for (const fs::path& part : *inside) {
        if (part == ".") continue;
        made /= part;
        if (auto ok = makeDirectory(made, privateDirectoryMode); !ok) return ok;
    }
    return {};
}

void keepSupportDirectoryPrivate() {
    const fs::path folder = supportDirectory();
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || (st.st_mode & 077) == 0) return;
    const mode_t before = st.st_mode & 07777;
    const mode_t after = before & ~static_cast<mode_t>(077);
    char modes[40];
    std::snprintf(modes, sizeof modes, " from %04o to %04o", static_cast<unsigned>(before),
                  static_cast<unsigned>(after));
    const std::string line =
        ::chmod(folder.c_str(), after) == 0
            ? "[Sorvane] data folder tightened" + std::string(modes) + ": " + folder.string()
            : "[Sorvane] data folder not tightened" + std::string(modes) + ": " +
                  errorFromErrno(errno, folder).description();
    auto sink = Logging::sink();
    if (sink->isEnabled(LogLevel::standard)) sink->write(LogLevel::standard, line);
}

namespace {

bool isOurTemporary(std::string_view entry, std::string_view prefix) {
    if (!entry.starts_with(prefix) || entry.size() != prefix.size() + 16) return false;
    for (char c : entry.substr(prefix.size())) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

}  // namespace

Expected<void, FileError> atomicWrite(const fs::path& path, std::string_view bytes, unsigned mode,
                                      std::size_t limit) {
    if (bytes.size() > limit) return unexpected(refusal(FileError::Kind::tooLarge, path, limit));
    const fs::path dir = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    if (auto made = createDirectories(dir); !made) return made;

    const std::string prefix = std::string(".").append(path.filename().string()).append(".tmp-");
    // A writer killed between creating its temporary file and the rename
    // leaves the file behind, holding what it was about to write.
    removeStaleFiles(
        dir, [&](std::string_view entry) { return isOurTemporary(entry, prefix); }, std::chrono::minutes(1));
    thread_local std::mt19937_64 rng{std::random_device{}()};
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(rng()));
    const fs::path temp = dir / (prefix + suffix);

    UniqueFd file(
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode & 07777)));
    if (!file.valid()) return unexpected(errorFromErrno(errno, temp));
    auto fail = [&](int code) -> Expected<void, FileError> {
        file.reset();
        ::unlink(temp.c_str());
        return unexpected(errorFromErrno(code, path));
    };
    // The replacement keeps what the user set on the old file, or tightens
    // it; it is set before anything is written into the temporary file.
    if (struct stat old{}; ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (::fchmod(file.get(), static_cast<mode_t>(old.st_mode & mode & 07777)) != 0) return fail(errno);
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(file.get(), bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(file.get()) != 0) return fail(errno);
    if (const int code = file.close(); code != 0) {
        ::unlink(temp.c_str());
        return unexpected(errorFromErrno(code, path));
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        return unexpected(errorFromErrno(code, path));
    }
    // Make the rename itself durable.
    if (const UniqueFd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); folder.valid())
        ::fsync(folder.get());
    return {};
}

void removeStaleFiles(const fs::path& dir, const std::function<bool(std::string_view name)>& ours,
                      std::chrono::seconds olderThan) {
    DIR* listing = ::opendir(dir.c_str());
    if (!listing) return;
    const auto cutoff = std::chrono::system_clock::now() - olderThan;
    const std::time_t cutoffSeconds = std::chrono::system_clock::to_time_t(cutoff);
    while (const dirent* entry = ::readdir(listing)) {
        if (!ours(entry->d_name)) continue;
        struct stat st {};
        if (::fstatat(::dirfd(listing), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        // In a shared folder a file of the same name may be another user's.
        if (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_mtim.tv_sec < cutoffSeconds)
            ::unlinkat(::dirfd(listing), entry->d_name, 0);
    }
    ::closedir(listing);
}

std::optional<FileStamp> stamp(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    FileStamp s;
    s.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    s.size = static_cast<std::uint64_t>(st.st_size);
    return s;
}

}  // namespace sorvane::Files
