#pragma once
// The process's one RIME engine, started on the main thread before the
// event loop runs, and the engine self-test of `--engine-check`.
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/RimeEngine.h"
#include "platform/MainQueue.h"

namespace sorvane::EngineBootstrap {

// Where the engine's data and logs live for a bundle and a home folder.
struct Layout {
    std::filesystem::path sharedDataDir;    // <bundle>/Contents/SharedSupport/rime
    std::filesystem::path userDataDir;      // <home>/Library/SorvaneIME/rime
    std::filesystem::path logDir;           // <home>/Library/Logs/SorvaneIME
    std::filesystem::path prebuiltDataDir;  // shared + build
    std::filesystem::path stagingDir;       // user + build
};
Layout layout(const std::filesystem::path& bundlePath, const std::filesystem::path& home);

inline constexpr const char* kAppName = "rime.sorvane";
inline constexpr int kMinLogLevel = 1;
RimeEngine::Distribution distribution();

// The process's engine; none before a successful start() and after quit.
// Main thread only.
RimeEngine* engine();

// Starts the engine of the running bundle for the current user (or returns
// the one already running). A failure is logged and gives none. Engine
// notifications are logged through `queue` on the main thread.
RimeEngine* start();
RimeEngine* start(const Layout& layout, MainQueue& queue);

// Shuts the engine down and forgets it (the quit path). False when there
// was none.
bool shutdown();

// The self-test's start-time bound: 5000 ms still passes.
bool startWithinBound(double elapsedMs);

// The self-test: prints to standard output, returns the exit status.
int runCheck(const std::vector<std::string>& arguments);
// The same printing to `out`, over a given librime (none: the system's).
int runCheck(const std::vector<std::string>& arguments, std::ostream& out,
             std::shared_ptr<RimeLibrary> library);

}  // namespace sorvane::EngineBootstrap
