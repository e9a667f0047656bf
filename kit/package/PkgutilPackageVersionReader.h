#pragma once
// Reads the product version of a package by expanding it with
// `pkgutil --expand-full` into a working folder of its own (owner-only,
// named by a fresh UUID, so two processes never share one) and handing the
// tree to PackageVersionParser. The folder is removed on every path.
// Blocking; any background thread; no state.
#include <filesystem>

#include "kit/package/PackageVerification.h"
#include "kit/package/PkgutilRunner.h"

namespace sorvane {

struct PkgutilPackageVersionReader final : PackageVersionReading {
    std::filesystem::path temporaryDirectory;
    double timeout = 120;  // seconds
    std::filesystem::path executable = PkgutilRunner::liveExecutable;

    PkgutilPackageVersionReader(std::filesystem::path temporaryDirectory, double timeout,
                                std::filesystem::path executable = PkgutilRunner::liveExecutable)
        : temporaryDirectory(std::move(temporaryDirectory)),
          timeout(timeout),
          executable(std::move(executable)) {}

    Expected<std::string, UpdateVerificationError> productVersion(
        const std::filesystem::path& package) const override;
};

}  // namespace sorvane
