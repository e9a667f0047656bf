// Reads arbitrary bytes as the user defaults, through what the product
// reads out of them (the cached account user, the typing rhythm's samples),
// and writes one key as either process does: every other key must stay.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz/ScratchFolder.h"
#include "kit/account/AccountStore.h"
#include "kit/english/TypingRhythm.h"
#include "platform/files/UserDefaults.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvane;
    auto defaults = std::make_shared<FileUserDefaults>(
        fuzz::ScratchFolder::shared().holding("cn.kestrum.inputmethod.Sorvane.json", data, size));
    nlohmann::json expected = defaults->snapshot();
    (void)AccountStore::cachedUser(*defaults);
    {
        const auto now = std::chrono::system_clock::time_point(std::chrono::seconds(1796531299));
        TypingRhythm rhythm(defaults, [now] { return now; });
        (void)rhythm.pause();
        (void)rhythm.snapshot();
    }
    const std::string gaps = R"({"at":[1796531299],"ms":[180]})";
    if (!defaults->setData(TypingRhythm::defaultsKey, gaps)) std::abort();
    expected[std::string(TypingRhythm::defaultsKey)] = Base64::encode(gaps);
    if (defaults->snapshot() != expected) std::abort();
    return 0;
}
