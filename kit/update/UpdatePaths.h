#pragma once
// Where the updater keeps its one verified package. Any thread.
#include <filesystem>
#include <string>
#include <string_view>

namespace sorvane::UpdatePaths {

// ~/Library/Caches/SorvaneIME/Updates of the current user.
std::filesystem::path updatesDirectory();
// "SorvaneIME-<version>-update.pkg" with the version reduced to ASCII
// letters, digits, "." and "-" and no "..", so a hostile feed version can
// never name a path outside the folder; "unknown" when nothing is left.
std::string packageFileName(std::string_view version);

}  // namespace sorvane::UpdatePaths
