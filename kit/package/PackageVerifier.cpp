#include "kit/package/PackageVerifier.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "kit/update/UpdateVersion.h"
#include "platform/Text.h"
#include "platform/files/ChunkedFileReader.h"

namespace sorvane::PackageVerifier {
namespace {

constexpr std::size_t chunkBytes = 1024 * 1024;

std::string hex(const unsigned char* bytes, unsigned int count) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(count * 2);
    for (unsigned int i = 0; i < count; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

}  // namespace

Expected<std::int64_t, FileError> fileSize(const std::filesystem::path& package) {
    struct stat st {};
    if (::stat(package.c_str(), &st) != 0) return unexpected(Files::errorFromErrno(errno, package));
    // A folder or device has no size of a package file.
    if (!S_ISREG(st.st_mode)) return std::int64_t{-1};
    return static_cast<std::int64_t>(st.st_size);
}

Expected<std::string, FileError> sha256(const std::filesystem::path& package) {
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return unexpected(FileError{FileError::Kind::io, 0, "SHA-256 is not available"});
    auto read =
        ChunkedFileReader::read(package, chunkBytes, [&](const unsigned char* bytes, std::size_t count) {
            EVP_DigestUpdate(context.get(), bytes, count);
        });
    if (!read) return unexpected(read.error());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return unexpected(FileError{FileError::Kind::io, 0, "SHA-256 failed"});
    return hex(digest, length);
}

Expected<PackageVerification, UpdateVerificationError> verify(const std::filesystem::path& package,
                                                              const UpdateRelease& release,
                                                              std::string_view runningVersion,
                                                              const PackageSignatureChecking& signature,
                                                              const PackageVersionReading& version) {
    using Error = UpdateVerificationError;
    const auto size = fileSize(package);
    if (!size) return unexpected(Error::unreadable(size.error().description()));
    if (*size != release.size) return unexpected(Error::sizeMismatch(release.size, *size));

    const auto digest = sha256(package);
    if (!digest) return unexpected(Error::unreadable(digest.error().description()));
    const std::string expected = Text::asciiLowercased(release.sha256);
    if (*digest != expected) return unexpected(Error::checksumMismatch(expected, *digest));

    auto report = signature.check(package);
    if (!report) return unexpected(report.error());
    auto productVersion = version.productVersion(package);
    if (!productVersion) return unexpected(productVersion.error());

    if (*productVersion != release.version)
        return unexpected(Error::versionMismatch(release.version, *productVersion));
    if (UpdateVersion::compare(*productVersion, runningVersion) != VersionOrder::descending)
        return unexpected(Error::notNewer(*productVersion, std::string(runningVersion)));
    return PackageVerification{std::move(*report), std::move(*productVersion)};
}

}  // namespace sorvane::PackageVerifier
