// Reads arbitrary bytes as billing.json, as the route choice does for every
// request, and records a refused key in it, as the input process does. The
// file written must read back as the record that update reported.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/ScratchFolder.h"
#include "kit/route/MacBillingState.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvane;
    const MacBillingStateFile file(fuzz::ScratchFolder::shared().holding("billing.json", data, size));
    (void)file.routeState();
    const auto written =
        file.update([](MacBillingState& state) { state.keyStatus = MacBillingState::KeyStatus::invalid; });
    if (!written) std::abort();
    // The file keeps four-digit years: a date past them reads back clamped.
    const auto loaded = file.load();
    if (!loaded || loaded->encoded() != written->encoded()) std::abort();
    return 0;
}
