#include "platform/files/ConfinedFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/files/UniqueFd.h"

namespace sorvane::ConfinedFiles {

Expected<std::string, FileError> readRegularFile(const std::filesystem::path& root,
                                                 const std::filesystem::path& relative,
                                                 std::size_t maxBytes) {
    const auto whole = root / relative;
    auto fail = [&](int code) { return unexpected(Files::errorFromErrno(code, whole)); };
    auto refuse = [&](int code, FileError::Kind kind) {
        FileError error = Files::errorFromErrno(code, whole);
        error.kind = kind;
        return unexpected(std::move(error));
    };

    UniqueFd dir(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return fail(errno);
    std::vector<std::string> parts;
    for (const auto& part : relative.lexically_normal()) {
        const std::string name = part.string();
        if (name.empty() || name == ".") continue;
        if (name == ".." || name == "/") return fail(EACCES);
        parts.push_back(name);
    }
    if (parts.empty()) return fail(EISDIR);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        UniqueFd next(::openat(dir.get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid()) return fail(errno);
        dir = std::move(next);
    }
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    UniqueFd file(::openat(dir.get(), parts.back().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) return fail(errno);
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) return fail(errno);
    if (!S_ISREG(st.st_mode)) return refuse(EINVAL, FileError::Kind::notRegular);
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) return refuse(EFBIG, FileError::Kind::tooLarge);

    std::string data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (data.size() + static_cast<std::size_t>(n) > maxBytes)
            return refuse(EFBIG, FileError::Kind::tooLarge);
        data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
}

std::vector<std::string> entryNames(const std::filesystem::path& folder, std::size_t maxEntries) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (names.size() < maxEntries) {
        const dirent* entry = ::readdir(dir);
        if (!entry) break;
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

}  // namespace sorvane::ConfinedFiles
