// Reads arbitrary text as a client key script, as the client tool reads its
// argument. A refusal must point inside the script.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/imk/KeyScript.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvane;
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    const auto steps = KeyScript::parse(script);
    if (!steps && steps.error().offset > script.size()) std::abort();
    return 0;
}
