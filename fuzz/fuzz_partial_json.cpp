// Reads arbitrary text as a reply that is still streaming and as a finished
// one; neither may crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "prediction/PartialJSON.h"
#include "prediction/SSEParser.h"
#include "prediction/StreamingReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto fields = sorvane::PartialJSON::extract(text);
    // Each input byte spells at most one replacement character (3 bytes).
    if (fields.normalized && fields.normalized->size() > 4 * text.size() + 4) __builtin_trap();
    // A key taken from the input itself, up to the first NUL.
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        (void)sorvane::PartialJSON::string(text.substr(0, nul), text.substr(nul + 1));
    }
    (void)sorvane::StreamingReply::finalSuggestion(text);
    (void)sorvane::SSEParser::parse(text);
    return 0;
}
