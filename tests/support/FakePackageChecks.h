#pragma once
// Package checks without the package utility: every signature passes with
// a fixed report, and a package's version is its first line.
#include <fstream>

#include "kit/package/PackageVerification.h"

namespace sorvane::testing {

struct FakeSignature final : PackageSignatureChecking {
    Expected<PackageSignaturePolicy::Report, UpdateVerificationError> check(
        const std::filesystem::path&) const override {
        return PackageSignaturePolicy::Report{
            "Status: signed by a developer certificate", {"leaf", "ca", "root"}, false};
    }
};

struct FakeVersion final : PackageVersionReading {
    Expected<std::string, UpdateVerificationError> productVersion(
        const std::filesystem::path& package) const override {
        std::ifstream in(package);
        std::string line;
        std::getline(in, line);
        return line;
    }
};

}  // namespace sorvane::testing
