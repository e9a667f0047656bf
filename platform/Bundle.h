#pragma once
// The application bundle the running executable belongs to:
// <bundle>/Contents/MacOS/<executable>, with Contents/Info.plist.
#include <filesystem>
#include <optional>
#include <string>
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
};

}  // namespace sorvane
