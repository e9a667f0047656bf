#include "platform/SystemInfo.h"

#include <sys/utsname.h>

#include <charconv>
#include <limits>

namespace sorvane {
namespace {

// Reads one run of digits at `at`; none when there is no digit there or the
// number does not fit.
std::optional<int> number(std::string_view text, std::size_t& at) {
    int value = 0;
    const char* begin = text.data() + at;
    const char* end = text.data() + text.size();
    if (begin == end || *begin < '0' || *begin > '9') return std::nullopt;
    auto [next, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc()) return std::nullopt;
    at = static_cast<std::size_t>(next - text.data());
    return value;
}

}  // namespace

std::string OperatingSystemVersion::text() const {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

std::optional<OperatingSystemVersion> OperatingSystemVersion::parse(std::string_view release) {
    std::size_t at = 0;
    auto major = number(release, at);
    if (!major) return std::nullopt;
    OperatingSystemVersion version{*major, 0, 0};
    for (int* part : {&version.minor, &version.patch}) {
        if (at >= release.size() || release[at] != '.') break;
        std::size_t next = at + 1;
        auto value = number(release, next);
        if (!value) break;
        *part = *value;
        at = next;
    }
    return version;
}

OperatingSystemVersion UnameSystemInfo::version() const {
    struct utsname info {};
    if (::uname(&info) != 0) return {};
    return OperatingSystemVersion::parse(info.release).value_or(OperatingSystemVersion{});
}

UnameSystemInfo& UnameSystemInfo::shared() {
    static UnameSystemInfo info;
    return info;
}

}  // namespace sorvane
