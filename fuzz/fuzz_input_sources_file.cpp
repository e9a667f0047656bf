// Reads arbitrary bytes as the input-source registry, as --list and
// --current do, and enables its last source, as --enable does. The change
// must leave every other source as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>

#include "fuzz/ScratchFolder.h"
#include "platform/TextInputSources.h"

namespace {

using sorvane::TextInputSources;

auto properties(const TextInputSources& sources, const sorvane::InputSource& source) {
    return std::tuple(sources.id(source), sources.flag(source, TextInputSources::Flag::enabled),
                      sources.flag(source, TextInputSources::Flag::selected),
                      sources.flag(source, TextInputSources::Flag::selectCapable));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvane;
    FileTextInputSources sources(fuzz::ScratchFolder::shared().holding("TextInputSources.json", data, size));
    (void)sources.current();
    const auto before = sources.list();
    if (before.empty()) return 0;
    const std::optional<std::string> chosen = sources.id(*before.back());
    if (sources.enable(*before.back()) != InputSourceStatusCode::ok) std::abort();
    const auto after = sources.list();
    if (after.size() != before.size()) std::abort();
    // The first source of that id is the one changed.
    bool changed = false;
    for (std::size_t i = 0; i < before.size(); ++i) {
        auto expected = properties(sources, *before[i]);
        if (!changed && std::get<0>(expected) == chosen) {
            std::get<1>(expected) = true;
            changed = true;
        }
        if (properties(sources, *after[i]) != expected) std::abort();
    }
    return 0;
}
