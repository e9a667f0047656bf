#include "platform/Bundle.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>

#include "platform/files/Files.h"

namespace sorvane {
namespace {

std::optional<std::string> stringValue(plist_t dict, const char* key) {
    plist_t node = plist_dict_get_item(dict, key);
    if (!node || plist_get_node_type(node) != PLIST_STRING) return std::nullopt;
    // Copying a string that holds a NUL trips an assertion in libplist.
    std::uint64_t length = 0;
    const char* value = plist_get_string_ptr(node, &length);
    if (!value || std::string_view(value, length).find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(value, length);
}

// Mode ids past the bound are dropped: an input method has a handful.
std::vector<std::string> readInputModeIds(plist_t root) {
    std::vector<std::string> ids;
    plist_t component = plist_dict_get_item(root, "ComponentInputModeDict");
    if (!component || plist_get_node_type(component) != PLIST_DICT) return ids;
    plist_t modes = plist_dict_get_item(component, "tsInputModeListKey");
    if (!modes || plist_get_node_type(modes) != PLIST_DICT) return ids;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(modes, &it);
    if (!it) return ids;
    for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(modes, it, &key, &item);
        if (!key) break;
        if (!*key || ids.size() >= Bundle::maxInputModes) {
            std::free(key);
            continue;
        }
        ids.emplace_back(key);
        std::free(key);
    }
    std::free(it);
    return ids;
}

}  // namespace

Bundle Bundle::load(const std::filesystem::path& bundlePath) {
    Bundle bundle;
    bundle.path = bundlePath;
    auto bytes = Files::readFile(bundlePath / "Contents" / "Info.plist");
    if (!bytes || bytes->empty() || bytes->size() > UINT32_MAX) return bundle;
    plist_t root = nullptr;
    plist_from_memory(bytes->data(), static_cast<uint32_t>(bytes->size()), &root);
    if (!root) return bundle;
    std::unique_ptr<void, void (*)(plist_t)> guard(root, plist_free);
    if (plist_get_node_type(root) != PLIST_DICT) return bundle;
    bundle.identifier = stringValue(root, "CFBundleIdentifier");
    bundle.shortVersion = stringValue(root, "CFBundleShortVersionString");
    bundle.inputModeIds = readInputModeIds(root);
    return bundle;
}

std::filesystem::path Bundle::bundlePathOfExecutable(const std::filesystem::path& executable) {
    const auto macos = executable.parent_path();
    const auto contents = macos.parent_path();
    if (macos.filename() == "MacOS" && contents.filename() == "Contents") return contents.parent_path();
    return macos;
}

const Bundle& Bundle::main() {
    static const Bundle bundle = [] {
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        return load(bundlePathOfExecutable(ec ? std::filesystem::current_path(ec) / "unknown" : exe));
    }();
    return bundle;
}

std::optional<std::filesystem::path> Bundle::resourcePath(std::string_view name,
                                                          std::string_view extension) const {
    if (name.empty() || name.find('/') != std::string_view::npos) return std::nullopt;
    std::string file(name);
    if (!extension.empty()) file.append(".").append(extension);
    const auto candidate = path / "Contents" / "Resources" / file;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(candidate, ec)))
        return std::nullopt;
    return candidate;
}

namespace BundleResources {
namespace {

std::mutex lookupMutex;
Lookup installedLookup;

}  // namespace

std::optional<std::filesystem::path> find(std::string_view name, std::string_view extension) {
    Lookup lookup;
    {
        std::lock_guard lock(lookupMutex);
        lookup = installedLookup;
    }
    if (lookup) return lookup(name, extension);
    return Bundle::main().resourcePath(name, extension);
}

Lookup setLookup(Lookup lookup) {
    std::lock_guard lock(lookupMutex);
    std::swap(installedLookup, lookup);
    return lookup;
}

}  // namespace BundleResources

}  // namespace sorvane
