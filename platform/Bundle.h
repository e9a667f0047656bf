#pragma once
// The application bundle the running executable belongs to:
// <bundle>/Contents/MacOS/<executable>, with Contents/Info.plist.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

struct Bundle {
    std::filesystem::path path;
    std::optional<std::string> identifier;    // CFBundleIdentifier
    std::optional<std::string> shortVersion;  // CFBundleShortVersionString
    // The input-mode ids of an input method: the keys of
    // ComponentInputModeDict → tsInputModeListKey, in the file's order.
    std::vector<std::string> inputModeIds;

    static constexpr std::size_t maxInputModes = 64;

    // Reads <path>/Contents/Info.plist; a missing or unreadable file, or a
    // missing key, leaves that value absent.
    static Bundle load(const std::filesystem::path& bundlePath);
    // <bundle>/Contents/MacOS/<name> gives <bundle>; an executable outside
    // that layout is its own folder's bundle.
    static std::filesystem::path bundlePathOfExecutable(const std::filesystem::path& executable);
    // The running executable's bundle (/proc/self/exe), read once.
    static const Bundle& main();

    // <path>/Contents/Resources/<name>.<extension>, when that is a regular
    // file (not a folder, not a link to elsewhere).
    std::optional<std::filesystem::path> resourcePath(std::string_view name,
                                                      std::string_view extension) const;
};

// Finds the application's resources ("AppMark" "png", "THIRD-PARTY-NOTICES"
// "txt"). Goes to the main bundle unless a test installed its own lookup.
namespace BundleResources {
using Lookup =
    std::function<std::optional<std::filesystem::path>(std::string_view name, std::string_view extension)>;

std::optional<std::filesystem::path> find(std::string_view name, std::string_view extension);
// Installs a lookup (empty: the main bundle's again) and returns the previous
// one. For tests, which point it at the built bundle or take a resource away.
Lookup setLookup(Lookup lookup);
}  // namespace BundleResources

}  // namespace sorvane
