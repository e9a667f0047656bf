#pragma once
// librime's C function table and the process-wide state that goes with it.
// Engine-internal: the only header that brings in rime_api.h (the engine's
// own tests and benchmark use it to reach a table directly).
#include <rime_api.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace sorvane {

// Heap copies of the strings handed to librime in one traits record.
class RimeTraitsStorage {
public:
    RimeTraitsStorage() = default;
    ~RimeTraitsStorage();
    RimeTraitsStorage(const RimeTraitsStorage&) = delete;
    RimeTraitsStorage& operator=(const RimeTraitsStorage&) = delete;

    // A copy that lives as long as this storage; null when none can be made.
    const char* keep(const std::string& text);

private:
    std::vector<char*> owned_;
};

class RimeLibrary {
public:
    // A table supplied by the caller (a fake, or one already obtained).
    explicit RimeLibrary(const RimeApi* api) : api_(api) {}

    // librime from the system, loaded once per process and never unloaded;
    // its table is null when the library or rime_get_api is missing.
    static std::shared_ptr<RimeLibrary> system();

    const RimeApi* api() const { return api_; }

    // An entry of the table, or null when the table is absent, the entry is
    // null or lies beyond the size the table declares.
    template <class F>
    F entry(F RimeApi::*member) const {
        if (!api_) return nullptr;
        if (offsetOf(member) + sizeof(F) >
            sizeof(api_->data_size) + static_cast<std::size_t>(api_->data_size))
            return nullptr;
        return api_->*member;
    }

    // Calls an entry, `name` being its name in the table. librime is C++
    // behind its C table: an error deep inside it (a data folder it cannot
    // read) leaves the entry as an exception, which must never take the
    // process down. A missing entry or an exception gives `neutral`; the
    // first exception of each entry is logged, so that a key that vanishes
    // can be traced without a record for every key.
    template <class R, class... P, class... A>
    R call(R neutral, R (*RimeApi::*member)(P...), const char* name, A&&... args) const noexcept {
        auto function = entry(member);
        if (!function) return neutral;
        try {
            return function(std::forward<A>(args)...);
        } catch (...) {
            noteFault(offsetOf(member), name);
            return neutral;
        }
    }
    template <class... P, class... A>
    void call(void (*RimeApi::*member)(P...), const char* name, A&&... args) const noexcept {
        auto function = entry(member);
        if (!function) return;
        try {
            function(std::forward<A>(args)...);
        } catch (...) {
            noteFault(offsetOf(member), name);
        }
    }

    // The text of the exception being handled; only inside a handler.
    static std::string currentFault();

    // Calls setup only the first time: a second setup in one process aborts
    // it (the logging library refuses to start twice) and librime's logging
    // keeps pointers into the strings it was given, so those are kept for
    // the life of this library (the system one is never released).
    // Answers whether setup ran now.
    bool setupOnce(RimeTraits* traits, std::shared_ptr<RimeTraitsStorage> strings);
    bool setupDone() const;

private:
    template <class F>
    std::size_t offsetOf(F RimeApi::*member) const {
        return static_cast<std::size_t>(reinterpret_cast<const char*>(&(api_->*member)) -
                                        reinterpret_cast<const char*>(api_));
    }
    // Logs the exception being handled, unless this entry already had one.
    void noteFault(std::size_t entryOffset, const char* name) const noexcept;

    const RimeApi* api_;
    mutable std::mutex mutex_;
    bool setupDone_ = false;
    mutable std::set<std::size_t> faultedEntries_;
    std::shared_ptr<RimeTraitsStorage> setupStrings_;
};

}  // namespace sorvane
