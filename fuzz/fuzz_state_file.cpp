// Reads arbitrary bytes as state.json and records the welcome in it, as the
// server does. The other process's members must come through the rewrite as
// they were: equal values, and numbers the library cannot hold exactly in
// the very text they were written in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>

#include "fuzz/ScratchFolder.h"
#include "kit/settings/AppStateFile.h"
#include "platform/files/Files.h"
#include "platform/files/JsonDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvane;
    const AppStateFile file{fuzz::ScratchFolder::shared().holding("state.json", data, size)};
    nlohmann::json expected = file.read();
    expected["welcomeShownAt"] = "2026-12-07T08:45:00Z";
    auto exactText =
        JsonDocument::inexactMembers(std::string_view(reinterpret_cast<const char*>(data), size));
    exactText.erase("welcomeShownAt");
    if (!file.update([](nlohmann::json& object) { object["welcomeShownAt"] = "2026-12-07T08:45:00Z"; }))
        std::abort();
    const auto written = Files::readFile(file.url);
    if (!written || JsonDocument::inexactMembers(*written) != exactText) std::abort();
    if (file.read() != expected) std::abort();
    return 0;
}
