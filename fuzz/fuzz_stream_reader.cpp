// Feeds arbitrary bytes to the streamed-reply reader, split into chunks of
// sizes taken from the input, and checks that the split changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "prediction/StreamingReply.h"

namespace {

struct Outcome {
    std::vector<sorvane::Suggestion> partials;
    std::string text;
    bool equalTo(const Outcome& o) const { return partials == o.partials && text == o.text; }
};

Outcome run(std::string_view stream, std::string_view sizes) {
    sorvane::StreamingReply reply;
    Outcome out;
    const auto onPartial = [&](const sorvane::Suggestion& s) { out.partials.push_back(s); };
    std::size_t pos = 0;
    std::size_t i = 0;
    while (pos < stream.size()) {
        const std::size_t n =
            sizes.empty() ? stream.size() : 1 + static_cast<uint8_t>(sizes[i++ % sizes.size()]) % 64;
        reply.feed(stream.substr(pos, n), onPartial);
        pos += n;
    }
    reply.finish(onPartial);
    out.text = reply.text();
    (void)reply.finalSuggestion();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte says how many of the following bytes choose chunk sizes.
    const std::size_t sizeBytes = std::min<std::size_t>(data[0] % 16, size - 1);
    const std::string_view sizes(reinterpret_cast<const char*>(data + 1), sizeBytes);
    const std::string_view stream(reinterpret_cast<const char*>(data + 1 + sizeBytes), size - 1 - sizeBytes);
    const Outcome whole = run(stream, {});
    const Outcome split = run(stream, sizes);
    if (!whole.equalTo(split)) std::abort();
    return 0;
}
