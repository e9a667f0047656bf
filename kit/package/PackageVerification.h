#pragma once
// What a passed verification proves, and the two checks that need the
// system's package utility, as interfaces so that the pipeline's callers and
// tests can swap them. Implementations block the calling thread (a
// background task, never the main thread) and may run in two processes at
// once.
#include <filesystem>
#include <string>

#include "kit/package/PackageSignaturePolicy.h"
#include "kit/package/UpdateVerificationError.h"
#include "platform/Expected.h"

namespace sorvane {

struct PackageVerification {
    PackageSignaturePolicy::Report signature;
    std::string productVersion;
    bool operator==(const PackageVerification&) const = default;
};

class PackageSignatureChecking {
public:
    virtual ~PackageSignatureChecking() = default;
    virtual Expected<PackageSignaturePolicy::Report, UpdateVerificationError> check(
        const std::filesystem::path& package) const = 0;
};

class PackageVersionReading {
public:
    virtual ~PackageVersionReading() = default;
    virtual Expected<std::string, UpdateVerificationError> productVersion(
        const std::filesystem::path& package) const = 0;
};

}  // namespace sorvane
