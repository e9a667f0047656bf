#include "kit/update/UpdateVersion.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "platform/Text.h"

namespace sorvane::UpdateVersion {

std::vector<std::int64_t> components(std::string_view version) {
    std::string text = Text::trimmedHorizontally(version);
    std::string_view rest = text;
    if (!rest.empty() && (rest.front() == 'v' || rest.front() == 'V')) rest.remove_prefix(1);

    std::vector<std::int64_t> out;
    for (;;) {
        const auto dot = rest.find('.');
        const std::string_view piece = rest.substr(0, dot);
        std::size_t run = 0;
        while (run < piece.size() && piece[run] >= '0' && piece[run] <= '9') ++run;
        std::int64_t value = 0;
        if (run > 0) {
            const auto [end, error] = std::from_chars(piece.data(), piece.data() + run, value);
            if (error != std::errc() || end != piece.data() + run) value = 0;
        }
        out.push_back(value);
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    return out;
}

VersionOrder compare(std::string_view first, std::string_view second) {
    const auto a = components(first);
    const auto b = components(second);
    const std::size_t places = std::max({a.size(), b.size(), std::size_t{3}});
    for (std::size_t i = 0; i < places; ++i) {
        const std::int64_t x = i < a.size() ? a[i] : 0;
        const std::int64_t y = i < b.size() ? b[i] : 0;
        if (x != y) return x > y ? VersionOrder::descending : VersionOrder::ascending;
    }
    return VersionOrder::same;
}

}  // namespace sorvane::UpdateVersion
