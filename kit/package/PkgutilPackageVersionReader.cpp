#include "kit/package/PkgutilPackageVersionReader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "kit/package/PackageVersionParser.h"
#include "platform/Text.h"
#include "platform/Uuid.h"
#include "platform/files/Files.h"

namespace sorvane {
namespace {

// Removes the working folder when the result is known, whatever it is.
struct WorkingFolder {
    std::filesystem::path path;
    ~WorkingFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

Expected<void, FileError> makeOwnerOnlyFolder(const std::filesystem::path& path) {
    if (auto parents = Files::createDirectories(path.parent_path()); !parents) return parents;
    if (::mkdir(path.c_str(), 0700) != 0) return unexpected(Files::errorFromErrno(errno, path));
    // The umask may only take bits away; make sure none were added either.
    if (::chmod(path.c_str(), 0700) != 0) {
        const int code = errno;
        ::rmdir(path.c_str());
        return unexpected(Files::errorFromErrno(code, path));
    }
    return {};
}

Unexpected<UpdateVerificationError> refuse(std::string reason) {
    return unexpected(UpdateVerificationError::versionUnreadable(std::move(reason)));
}

}  // namespace

Expected<std::string, UpdateVerificationError> PkgutilPackageVersionReader::productVersion(
    const std::filesystem::path& package) const {
    const auto folderPath = temporaryDirectory / ("SorvaneIME-expand-" + Uuid::random());
    // A folder that could not be made is not ours to remove.
    if (auto made = makeOwnerOnlyFolder(folderPath); !made)
        return refuse("临时目录建不了：" + made.error().description());
    const WorkingFolder folder{folderPath};
    // The utility creates the target itself and refuses an existing one.
    const auto target = folder.path / "pkg";

    using Kind = PkgutilRunner::Outcome::Kind;
    const auto outcome =
        PkgutilRunner::run({"--expand-full", package.string(), target.string()}, timeout, executable);
    switch (outcome.kind) {
        case Kind::launchFailed:
            return refuse("pkgutil did not run: " + outcome.failure);
        case Kind::timedOut:
            return refuse("pkgutil --expand-full timed out");
        case Kind::exited:
            break;
    }
    if (outcome.status != 0) {
        std::string reason = "pkgutil --expand-full exit " + std::to_string(outcome.status);
        if (const auto said = Text::trimmed(outcome.output); !said.empty())
            reason += ": " + Text::prefixCharacters(said, 200);
        return refuse(std::move(reason));
    }
    return PackageVersionParser::read(target);
}

}  // namespace sorvane
