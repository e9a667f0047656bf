#pragma once
// The one comparison of version texts in the updater: the feed's release,
// the package's own version and the running program's are all compared
// here. Pure functions, any thread.
#include <cstdint>
#include <string_view>
#include <vector>

namespace sorvane {

// How a first version stands against a second.
enum class VersionOrder : int { ascending = -1, same = 0, descending = 1 };

namespace UpdateVersion {

// Horizontal whitespace trimmed, one leading "v" or "V" dropped, split at
// every "." (empty pieces kept); each piece counts by its leading ASCII
// digits, 0 when there are none or they overflow.
std::vector<std::int64_t> components(std::string_view version);
// Place by place over at least three places, missing places counting 0:
// descending when the first is newer.
VersionOrder compare(std::string_view first, std::string_view second);

}  // namespace UpdateVersion
}  // namespace sorvane
