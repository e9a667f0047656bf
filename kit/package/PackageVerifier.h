#pragma once
// Proves a downloaded package is the announced release: size, SHA-256,
// signature, then the version inside it, in that fixed order so that the
// package utility never runs on a file whose size or digest failed.
// Blocking; runs on the caller's background thread; keeps no state.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "kit/package/PackageVerification.h"
#include "kit/update/UpdateRelease.h"
#include "platform/files/Files.h"

namespace sorvane::PackageVerifier {

// The file's size; -1 when the file system gives none.
Expected<std::int64_t, FileError> fileSize(const std::filesystem::path& package);
// 64 lower-case hex digits; read in chunks of 1 MiB, so memory stays flat
// whatever the size.
Expected<std::string, FileError> sha256(const std::filesystem::path& package);

// Stops at the first failure; the checkers' failures pass through as they
// are. A digest announced in upper case passes.
Expected<PackageVerification, UpdateVerificationError> verify(const std::filesystem::path& package,
                                                              const UpdateRelease& release,
                                                              std::string_view runningVersion,
                                                              const PackageSignatureChecking& signature,
                                                              const PackageVersionReading& version);

}  // namespace sorvane::PackageVerifier
