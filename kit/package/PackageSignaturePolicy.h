#pragma once
// Judges the package utility's signature report: the package must be signed
// by the maker's Developer ID Installer certificate, chained through the
// Developer ID intermediate to Apple's root. Pure functions, any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/package/UpdateVerificationError.h"
#include "platform/Expected.h"

namespace sorvane::PackageSignaturePolicy {

struct Report {
    std::optional<std::string> status;  // the whole "Status: ..." line
    std::vector<std::string> chain;     // certificate names, leaf first
    bool notarized = false;             // shown only; not required
    bool operator==(const Report&) const = default;
};

// Lines split at every newline character, trimmed of horizontal whitespace.
Report parse(std::string_view output);
// Every refusal is `signatureRejected` with an English reason.
Expected<Report, UpdateVerificationError> evaluate(std::string_view output, std::int32_t exitStatus);

}  // namespace sorvane::PackageSignaturePolicy
