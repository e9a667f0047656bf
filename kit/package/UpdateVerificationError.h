#pragma once
// The seven ways a downloaded package fails verification. `description()`
// is the Chinese text the user sees; the payload texts come from the checks
// (English for the package utility's failures, Chinese for the package's
// contents). A plain value.
#include <cstdint>
#include <string>

namespace sorvane {

struct UpdateVerificationError {
    enum class Kind {
        unreadable,
        sizeMismatch,
        checksumMismatch,
        signatureRejected,
        versionUnreadable,
        versionMismatch,
        notNewer,
    };
    Kind kind = Kind::unreadable;
    std::string reason;             // unreadable, signatureRejected, versionUnreadable
    std::int64_t expectedSize = 0;  // sizeMismatch: the feed's size
    std::int64_t actualSize = 0;    // sizeMismatch: the file's size
    std::string expected;           // checksumMismatch: the feed's digest, lower case
    std::string actual;             // checksumMismatch: the file's digest
    std::string announced;          // versionMismatch: the feed's version
    std::string package;            // versionMismatch, notNewer: the version inside the package
    std::string running;            // notNewer

    static UpdateVerificationError unreadable(std::string reason);
    static UpdateVerificationError sizeMismatch(std::int64_t expected, std::int64_t actual);
    static UpdateVerificationError checksumMismatch(std::string expected, std::string actual);
    static UpdateVerificationError signatureRejected(std::string reason);
    static UpdateVerificationError versionUnreadable(std::string reason);
    static UpdateVerificationError versionMismatch(std::string announced, std::string package);
    static UpdateVerificationError notNewer(std::string package, std::string running);

    std::string description() const;
    bool operator==(const UpdateVerificationError&) const = default;
};

}  // namespace sorvane
