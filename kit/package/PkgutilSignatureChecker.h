#pragma once
// The signature check through `pkgutil --check-signature`, judged by the
// signature policy. Blocking, any background thread, no state.
#include <filesystem>

#include "kit/package/PackageVerification.h"
#include "kit/package/PkgutilRunner.h"

namespace sorvane {

struct PkgutilSignatureChecker final : PackageSignatureChecking {
    double timeout = 120;  // seconds
    std::filesystem::path executable = PkgutilRunner::liveExecutable;

    PkgutilSignatureChecker() = default;
    explicit PkgutilSignatureChecker(double timeout,
                                     std::filesystem::path executable = PkgutilRunner::liveExecutable)
        : timeout(timeout), executable(std::move(executable)) {}

    Expected<PackageSignaturePolicy::Report, UpdateVerificationError> check(
        const std::filesystem::path& package) const override;
};

}  // namespace sorvane
