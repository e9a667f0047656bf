#include "kit/update/UpdateEnvironment.h"

#include "kit/account/AccountAPI.h"
#include "kit/package/PkgutilPackageVersionReader.h"
#include "kit/package/PkgutilSignatureChecker.h"
#include "kit/update/UpdatePaths.h"
#include "platform/Bundle.h"
#include "platform/SystemInfo.h"

namespace sorvane {
namespace {

constexpr double packageToolTimeout = 120;  // seconds

}  // namespace

UpdateEnvironment UpdateEnvironment::live(std::optional<std::string> currentVersion) {
    std::error_code error;
    std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (error) temporary = "/tmp";
    UpdateEnvironment environment;
    environment.baseURL = AccountAPI::baseURL();
    environment.makeConfiguration = [] { return UpdateSessionConfiguration{&CurlHttpClient::shared()}; };
    environment.stateFile = UpdateStateFile::live();
    environment.updatesDirectory = UpdatePaths::updatesDirectory();
    environment.temporaryDirectory = temporary;
    environment.signature = std::make_shared<PkgutilSignatureChecker>(packageToolTimeout);
    environment.packageVersion = std::make_shared<PkgutilPackageVersionReader>(temporary, packageToolTimeout);
    environment.currentVersion =
        currentVersion ? *currentVersion : UpdateRuntime::bundleVersion().value_or("0.0.0");
    environment.osVersion = UpdateRuntime::osVersion();
    environment.arch = UpdateRuntime::arch();
    return environment;
}

namespace UpdateRuntime {

std::optional<std::string> bundleVersion() {
    return Bundle::main().shortVersion;
}

std::string osVersion() {
    return UnameSystemInfo::shared().version().text();
}

std::string arch() {
    // Linux runs no binary of another architecture translated, so the
    // build's architecture is the machine's.
#if defined(__aarch64__) || defined(__arm64__)
    return "arm64";
#else
    return "x86_64";
#endif
}

}  // namespace UpdateRuntime
}  // namespace sorvane
