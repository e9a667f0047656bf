#include "platform/Files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

namespace sorvane::Files {
namespace fs = std::filesystem;

FileError errorFromErrno(int code, const fs::path& path) {
    FileError e;
    e.code = code;
    e.kind = code == ENOENT    ? FileError::Kind::notFound
             : (code == EACCES || code == EPERM) ? FileError::Kind::permissionDenied
                                                 : FileError::Kind::io;
    e.message = std::string(std::strerror(code)) + " (" + path.string() + ")";
    return e;
}

fs::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home);
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return fs::path(pw->pw_dir);
    return fs::temp_directory_path();
}

fs::path supportDirectory() { return homeDirectory() / "Library" / "SorvaneIME"; }
fs::path preferencesDirectory() { return homeDirectory() / "Library" / "Preferences"; }
fs::path updatesCacheDirectory() { return homeDirectory() / "Library" / "Caches" / "SorvaneIME" / "Updates"; }
fs::path logsDirectory() { return homeDirectory() / "Library" / "Logs" / "SorvaneIME"; }

fs::path runtimeDirectory() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir) return fs::path(dir);
    return fs::temp_directory_path();
}

Expected<std::string, FileError> readFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return unexpected(errorFromErrno(errno, path));
    std::string data;
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            ::close(fd);
            return unexpected(errorFromErrno(code, path));
        }
        data.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

Expected<void, FileError> createDirectories(const fs::path& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) return unexpected(errorFromErrno(ec.value(), path));
    return {};
}

Expected<void, FileError> atomicWrite(const fs::path& path, std::string_view bytes) {
    const fs::path dir = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    if (auto made = createDirectories(dir); !made) return made;

    thread_local std::mt19937_64 rng{std::random_device{}()};
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".tmp-%016llx", static_cast<unsigned long long>(rng()));
    const fs::path temp = dir / ("." + path.filename().string() + suffix);

    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return unexpected(errorFromErrno(errno, temp));
    auto fail = [&](int code) -> Expected<void, FileError> {
        ::close(fd);
        ::unlink(temp.c_str());
        return unexpected(errorFromErrno(code, path));
    };
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        return unexpected(errorFromErrno(code, path));
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        return unexpected(errorFromErrno(code, path));
    }
    // Make the rename itself durable.
    if (const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return {};
}

std::optional<FileStamp> stamp(const fs::path& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    FileStamp s;
    s.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    s.size = static_cast<std::uint64_t>(st.st_size);
    return s;
}

}  // namespace sorvane::Files
