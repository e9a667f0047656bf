#include "engine/RimeLibrary.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <exception>

#include "platform/LogSink.h"

namespace sorvane {

RimeTraitsStorage::~RimeTraitsStorage() {
    for (char* p : owned_) std::free(p);
}

const char* RimeTraitsStorage::keep(const std::string& text) {
    char* copy = strdup(text.c_str());
    if (copy) owned_.push_back(copy);
    return copy;
}

std::shared_ptr<RimeLibrary> RimeLibrary::system() {
    // Never unloaded and never released: librime's threads and its logging
    // outlive any one engine.
    static auto* library = [] {
        const RimeApi* api = nullptr;
        if (void* handle = dlopen("librime.so.1", RTLD_NOW | RTLD_LOCAL)) {
            using GetApi = RimeApi* (*)();
            if (auto getApi = reinterpret_cast<GetApi>(dlsym(handle, "rime_get_api"))) api = getApi();
        }
        return new std::shared_ptr<RimeLibrary>(std::make_shared<RimeLibrary>(api));
    }();
    return *library;
}

bool RimeLibrary::setupOnce(RimeTraits* traits, std::shared_ptr<RimeTraitsStorage> strings) {
    std::lock_guard lock(mutex_);
    if (setupDone_) return false;
    auto setup = entry(&RimeApi::setup);
    if (!setup) return false;
    setupStrings_ = std::move(strings);
    // Once tried, never again: a second start of librime's logging aborts.
    setupDone_ = true;
    setup(traits);
    return true;
}

std::string RimeLibrary::currentFault() {
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

void RimeLibrary::noteFault(std::size_t entryOffset, const char* name) const noexcept {
    try {
        const std::string fault = currentFault();
        {
            std::lock_guard lock(mutex_);
            if (!faultedEntries_.insert(entryOffset).second) return;
        }
        auto sink = Logging::sink();
        if (sink->isEnabled(LogLevel::error))
            sink->write(LogLevel::error, "[Sorvane] librime " + std::string(name) + " failed: " + fault);
    } catch (...) {
        // Nothing may leave the guard, a failed record included.
    }
}

bool RimeLibrary::setupDone() const {
    std::lock_guard lock(mutex_);
    return setupDone_;
}

}  // namespace sorvane
