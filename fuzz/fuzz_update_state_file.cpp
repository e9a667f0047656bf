// Reads arbitrary bytes as update.json, as the update schedule and panel
// do. A state that loads is saved again and must load back unchanged: a
// save that the next load refuses would forget the kept package.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/ScratchFolder.h"
#include "kit/update/UpdateStateFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvane;
    const UpdateStateFile file{fuzz::ScratchFolder::shared().holding("update.json", data, size)};
    const UpdateState state = file.load();
    (void)state.readyRelease("1.2.3", [](const std::string&) { return true; });
    if (!file.save(state) || !(file.load() == state)) std::abort();
    return 0;
}
