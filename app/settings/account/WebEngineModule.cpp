#include "app/settings/account/WebEngineModule.h"

#include <dlfcn.h>

#include "platform/SorvaneLog.h"

namespace sorvane::WebEngineModule {

std::filesystem::path path(const std::filesystem::path& bundle) {
    return bundle / "Contents" / "PlugIns" / "libSorvaneWebEngine.so";
}

namespace {

Expected<WebViewFactory*, std::string> load(const std::filesystem::path& bundle) {
    const auto file = path(bundle);
    // Never closed: the engine's threads and Qt's plug-in registry outlive
    // any point at which it could be unloaded.
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        return unexpected(std::string(reason ? reason : "cannot load " + file.string()));
    }
    auto entry = reinterpret_cast<WebEngineFactoryEntry>(dlsym(handle, webEngineFactorySymbol));
    if (!entry) return unexpected(file.string() + " has no " + webEngineFactorySymbol);
    WebViewFactory* made = entry();
    if (!made) return unexpected(file.string() + " made no web view factory");
    return made;
}

}  // namespace

Expected<WebViewFactory*, std::string> factory(const std::filesystem::path& bundle) {
    static const Expected<WebViewFactory*, std::string> loaded = [&] {
        auto result = load(bundle);
        if (!result) SorvaneLog::log("[Sorvane] web engine not loaded: " + result.error());
        return result;
    }();
    return loaded;
}

}  // namespace sorvane::WebEngineModule
