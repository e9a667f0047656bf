#pragma once
// Everything an update check touches outside its own logic, in one record
// whose fields a caller replaces: the service address, the HTTP client and
// its time-outs, the state file, the folders, the package checks, the
// running version and system, and the clock. live() is what the server, the
// command line and the settings window use; tests put their own server,
// client, folders and checkers in.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "kit/package/PackageVerification.h"
#include "kit/update/UpdateStateFile.h"
#include "platform/HttpClient.h"

namespace sorvane {

// The client and the time-outs one request runs with.
struct UpdateSessionConfiguration {
    HttpClient* client = nullptr;
    // Idle limit of any request; a request's own shorter limit wins.
    std::chrono::milliseconds requestTimeout{60'000};
    // The longest a whole transfer may run, however much moves: a download
    // file older than this belongs to no transfer still under way.
    static constexpr std::chrono::seconds longestTransfer{1800};
    // Bounds a whole transfer.
    std::chrono::milliseconds resourceTimeout{longestTransfer};
};

struct UpdateEnvironment {
    std::string baseURL;
    // Called once for each request the check makes; any thread.
    std::function<UpdateSessionConfiguration()> makeConfiguration;
    UpdateStateFile stateFile;
    std::filesystem::path updatesDirectory;
    std::filesystem::path temporaryDirectory;
    std::shared_ptr<const PackageSignatureChecking> signature;
    std::shared_ptr<const PackageVersionReading> packageVersion;
    std::string currentVersion;
    std::string osVersion;
    std::string arch;
    std::function<std::chrono::system_clock::time_point()> now = [] {
        return std::chrono::system_clock::now();
    };

    // The account service's address and the shared client, the live state
    // file and folders, the package utility's checks (120 s each), and the
    // running version: `currentVersion` when given, else the bundle's, else
    // "0.0.0".
    static UpdateEnvironment live(std::optional<std::string> currentVersion = std::nullopt);
};

// What the running program says about itself.
namespace UpdateRuntime {
// The bundle's CFBundleShortVersionString, when it has one.
std::optional<std::string> bundleVersion();
// The system's major.minor.patch ("6.1.0" for the kernel 6.1.0-18-amd64).
std::string osVersion();
// "arm64" on an arm64 machine, else "x86_64".
std::string arch();
}  // namespace UpdateRuntime

}  // namespace sorvane
