#include "kit/package/PackageVersionParser.h"

#include "platform/Text.h"
#include "platform/files/ConfinedFiles.h"
#include "platform/files/PropertyList.h"

namespace sorvane::PackageVersionParser {
namespace {

constexpr std::size_t maxMetadataBytes = XmlDocument::maxBytes;
// A product holds a handful of components; anything past this is not ours.
constexpr std::size_t maxEntries = 256;
constexpr const char* infoPlistPath = "Payload/SorvaneIME.app/Contents/Info.plist";

Unexpected<UpdateVerificationError> refuse(std::string reason) {
    return unexpected(UpdateVerificationError::versionUnreadable(std::move(reason)));
}

std::optional<std::string> first(const std::vector<std::string>& values) {
    if (values.empty()) return std::nullopt;
    return values.front();
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += separator;
        out += parts[i];
    }
    return out;
}

struct KeptComponent {
    std::optional<std::string> version;
    std::optional<std::string> bundle;
};

}  // namespace

std::vector<std::string> strings(const XmlDocument& document, const std::string& query) {
    std::vector<std::string> out;
    for (const std::string& value : document.stringValues(query)) {
        std::string trimmed = Text::trimmed(value);
        if (!trimmed.empty()) out.push_back(std::move(trimmed));
    }
    return out;
}

Expected<DistributionVersions, UpdateVerificationError> distribution(std::string_view bytes) {
    const auto document = XmlDocument::parse(bytes);
    if (!document) return refuse("Distribution 不是 XML");
    const std::string component(componentIdentifier);
    DistributionVersions versions;
    versions.pkgRef = strings(*document, "/installer-gui-script/pkg-ref[@id='" + component + "']/@version");
    versions.bundle = strings(
        *document, "/installer-gui-script/pkg-ref[@id='" + component + "']/bundle-version/bundle[@id='" +
                       std::string(applicationIdentifier) + "']/@CFBundleShortVersionString");
    return versions;
}

Expected<PackageInfoVersions, UpdateVerificationError> packageInfo(std::string_view bytes) {
    const auto document = XmlDocument::parse(bytes);
    if (!document) return refuse("PackageInfo 不是 XML");
    PackageInfoVersions versions;
    versions.identifier = first(strings(*document, "/pkg-info/@identifier"));
    versions.version = first(strings(*document, "/pkg-info/@version"));
    versions.bundle = first(strings(*document, "/pkg-info/bundle[@id='" + std::string(applicationIdentifier) +
                                                   "']/@CFBundleShortVersionString"));
    return versions;
}

Expected<std::string, UpdateVerificationError> read(const std::filesystem::path& expandedProduct) {
    const auto distributionBytes =
        ConfinedFiles::readRegularFile(expandedProduct, "Distribution", maxMetadataBytes);
    if (!distributionBytes) return refuse("不是 productbuild 产品包（没有 Distribution）");
    auto named = distribution(*distributionBytes);
    if (!named) return unexpected(named.error());

    std::vector<std::pair<std::string, KeptComponent>> kept;
    for (const std::string& entry : ConfinedFiles::entryNames(expandedProduct, maxEntries)) {
        if (std::filesystem::path(entry).extension() != ".pkg") continue;
        const auto infoBytes = ConfinedFiles::readRegularFile(
            expandedProduct, std::filesystem::path(entry) / "PackageInfo", maxMetadataBytes);
        if (!infoBytes) continue;
        const auto info = packageInfo(*infoBytes);
        if (!info || info->identifier != componentIdentifier) continue;
        kept.push_back({entry, KeptComponent{info->version, info->bundle}});
    }
    if (kept.size() != 1)
        return refuse("应有且只有一个 cn.kestrum.pkg.SorvaneIME 组件包，找到 " + std::to_string(kept.size()) +
                      " 个");

    const auto& [entry, component] = kept.front();
    const auto plistBytes = ConfinedFiles::readRegularFile(
        expandedProduct, std::filesystem::path(entry) / infoPlistPath, PropertyList::maxBytes);
    // One past the size a property list is read at is one that cannot be read.
    const auto plist = plistBytes ? PropertyList::dictionaryTexts(*plistBytes) : std::nullopt;
    if (!plist) return refuse("载荷里没有 SorvaneIME.app/Contents/Info.plist");

    const auto identifier = plist->find("CFBundleIdentifier");
    if (identifier == plist->end() || identifier->second != applicationIdentifier)
        return refuse("载荷的 CFBundleIdentifier 不是 cn.kestrum.inputmethod.Sorvane");

    Evidence evidence{named->pkgRef, named->bundle, component.version, component.bundle, std::nullopt};
    if (const auto version = plist->find("CFBundleShortVersionString");
        version != plist->end() && version->second) {
        std::string trimmed = Text::trimmed(*version->second);
        if (!trimmed.empty()) evidence.payloadVersion = std::move(trimmed);
    }
    return resolve(evidence);
}

Expected<std::string, UpdateVerificationError> resolve(const Evidence& evidence) {
    if (!evidence.payloadVersion)
        return refuse("SorvaneIME.app 的 Info.plist 没有 CFBundleShortVersionString");
    if (evidence.pkgRef.empty()) return refuse("Distribution 没有 cn.kestrum.pkg.SorvaneIME 的 version");
    if (!evidence.packageInfoVersion || !evidence.packageInfoBundle)
        return refuse("PackageInfo 缺 version 或 cn.kestrum.inputmethod.Sorvane 的版本");

    const std::string& payload = *evidence.payloadVersion;
    bool agree = *evidence.packageInfoVersion == payload && *evidence.packageInfoBundle == payload;
    for (const auto& v : evidence.pkgRef) agree = agree && v == payload;
    for (const auto& v : evidence.bundle) agree = agree && v == payload;
    if (agree) return payload;

    std::vector<std::string> named = evidence.pkgRef;
    named.insert(named.end(), evidence.bundle.begin(), evidence.bundle.end());
    return refuse("包内版本不一致：Distribution " + joined(named, "/") + "，PackageInfo " +
                  *evidence.packageInfoVersion + "/" + *evidence.packageInfoBundle + "，Info.plist " +
                  payload);
}

}  // namespace sorvane::PackageVersionParser
