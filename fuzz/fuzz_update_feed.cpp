// Reads arbitrary bytes as the update feed's reply. A release it announces
// is kept in update.json and compared with the running version, so it must
// read back from its stored form unchanged and order consistently.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>

#include "kit/update/UpdateFeedClient.h"
#include "kit/update/UpdateVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvane;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    (void)UpdateFeedClient::decode(body, 503);
    const auto feed = UpdateFeedClient::decode(body, 200);
    if (!feed || !feed->latest) return 0;
    const UpdateRelease& release = *feed->latest;
    const auto stored = UpdateRelease::fromJSON(release.toJSON());
    if (!stored || !(*stored == release)) std::abort();
    const auto order = static_cast<int>(UpdateVersion::compare(release.version, "1.2.3"));
    if (order != -static_cast<int>(UpdateVersion::compare("1.2.3", release.version))) std::abort();
    return 0;
}
