#pragma once
// The engine the benchmarks type into: one per process (librime is set up
// once per process), started on the bundle's data in a fresh user folder,
// and ended before exit, since librime's own exit handlers crash on a
// session still open after its statics are gone.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "bench/BenchMain.h"
#include "engine/RimeEngine.h"
#include "engine/RimeLibrary.h"

namespace sorvane::bench {

inline std::function<void()>& engineShutdown() {
    static std::function<void()> shutdown;
    return shutdown;
}

// Starts the process's benchmark engine with a session, or exits.
inline RimeEngine* benchEngine(const char* userFolderName) {
    static RimeEngine* shared = [userFolderName] {
        const auto user = std::filesystem::temp_directory_path() / userFolderName;
        std::filesystem::remove_all(user);
        RimeEngine::Options o;
        o.sharedDataDir = std::string(SORVANE_BUNDLE_DIR) + "/Contents/SharedSupport/rime";
        o.userDataDir = user.string();
        o.appName = "rime.sorvane";
        o.distribution = {"SorvaneIME", "Sorvane", "0.1.0"};
        o.minLogLevel = 2;
        auto made = RimeEngine::create(o);
        if (!made) {
            std::fprintf(stderr, "engine: %s\n", made.error().description().c_str());
            std::exit(1);
        }
        auto* e = std::move(made).value().release();
        if (auto started = e->start(true, false); !started) {
            std::fprintf(stderr, "engine: %s\n", describe(started.error()).c_str());
            std::exit(1);
        }
        if (!e->createSession()) std::exit(1);
        engineShutdown() = [e] { e->shutdown(); };
        return e;
    }();
    return shared;
}

// librime alone on a key, as the benchmarks compare with it: the key, then
// the context read and freed. The candidate count keeps it from being
// optimized away.
inline std::size_t rawKeyAndContext(const RimeApi* api, RimeSessionId session, std::uint32_t keysym) {
    api->process_key(session, static_cast<int>(keysym), 0);
    RIME_STRUCT(RimeContext, context);
    std::size_t n = 0;
    if (api->get_context(session, &context)) {
        n = static_cast<std::size_t>(context.menu.num_candidates);
        api->free_context(&context);
    }
    return n;
}

// Ends whatever engine was started: the benchmarks' last step.
inline void endEngine() {
    if (engineShutdown()) engineShutdown()();
}

}  // namespace sorvane::bench
