#pragma once
// Finds the product version inside an expanded installer package and
// insists that every place naming it agrees: the distribution definition,
// the one component's PackageInfo, and the application's own Info.plist.
// The expanded tree is hostile: files are read beneath it only, without
// following links, bounded in size; XML never loads anything external.
// Blocking; any background thread; no state.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/package/UpdateVerificationError.h"
#include "platform/Expected.h"
#include "platform/files/XmlDocument.h"

namespace sorvane::PackageVersionParser {

inline constexpr std::string_view componentIdentifier = "cn.kestrum.pkg.SorvaneIME";
inline constexpr std::string_view applicationIdentifier = "cn.kestrum.inputmethod.Sorvane";

struct Evidence {
    std::vector<std::string> pkgRef;  // the component's versions in Distribution
    std::vector<std::string> bundle;  // the application's versions in Distribution
    std::optional<std::string> packageInfoVersion;
    std::optional<std::string> packageInfoBundle;
    std::optional<std::string> payloadVersion;  // Info.plist's short version
};

struct DistributionVersions {
    std::vector<std::string> pkgRef;
    std::vector<std::string> bundle;
};

struct PackageInfoVersions {
    std::optional<std::string> identifier;
    std::optional<std::string> version;
    std::optional<std::string> bundle;
};

// Every refusal is `versionUnreadable` with a Chinese reason.
Expected<std::string, UpdateVerificationError> read(const std::filesystem::path& expandedProduct);
Expected<DistributionVersions, UpdateVerificationError> distribution(std::string_view bytes);
Expected<PackageInfoVersions, UpdateVerificationError> packageInfo(std::string_view bytes);
// Each selected node's string value trimmed; empty ones left out.
std::vector<std::string> strings(const XmlDocument& document, const std::string& query);
Expected<std::string, UpdateVerificationError> resolve(const Evidence& evidence);

}  // namespace sorvane::PackageVersionParser
