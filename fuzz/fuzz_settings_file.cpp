// Reads arbitrary bytes as settings.json. Settings that load are written in
// the file's own form, which must load as the same settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/ScratchFolder.h"
#include "kit/settings/AppSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvane;
    const AppSettingsFile file{fuzz::ScratchFolder::shared().holding("settings.json", data, size), nullptr};
    const auto settings = file.load();
    if (settings && AppSettings::decode(settings->encode()) != settings) std::abort();
    return 0;
}
