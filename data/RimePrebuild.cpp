// Build-time tool: compiles the bundle's engine data into its prebuilt
// folder, so that a first start with an empty user folder only has to read
// it. Usage: sorvane-rime-prebuild <shared dir> <prebuilt dir> <scratch user dir>
#include <cstdio>

#include "engine/RimeEngine.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <shared dir> <prebuilt dir> <scratch user dir>\n", argv[0]);
        return 2;
    }
    sorvane::RimeEngine::BuildOptions options;
    options.sharedDataDir = argv[1];
    options.stagingDir = argv[2];
    options.userDataDir = argv[3];
    options.appName = "rime.sorvane";
    options.distribution = {"SorvaneIME", "Sorvane", "0.1.0"};
    options.minLogLevel = 2;  // the compiler's progress lines are noise in a build log

    auto result = sorvane::RimeEngine::buildPrebuiltData(options);
    if (!result) {
        std::fprintf(stderr, "rime prebuild failed: %s\n", sorvane::describe(result.error()).c_str());
        return 1;
    }
    std::printf("rime prebuild: %s in %.1f s\n", options.stagingDir.c_str(), result->duration);
    return 0;
}
