#include "kit/update/UpdatePaths.h"

#include "platform/Text.h"
#include "platform/files/Files.h"

namespace sorvane::UpdatePaths {

std::filesystem::path updatesDirectory() {
    return Files::updatesCacheDirectory();
}

std::string packageFileName(std::string_view version) {
    std::string kept;
    // Whole Characters: one made of several code points goes as a whole.
    for (const std::string& character : Text::characters(version)) {
        if (character.size() != 1) continue;
        const char c = character[0];
        const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                             c == '.' || c == '-';
        if (allowed) kept += c;
    }
    std::string reduced;
    for (std::size_t i = 0; i < kept.size();) {
        if (kept.compare(i, 2, "..") == 0) {
            reduced += '.';
            i += 2;
        } else {
            reduced += kept[i++];
        }
    }
    if (reduced.empty()) reduced = "unknown";
    return "SorvaneIME-" + reduced + "-update.pkg";
}

}  // namespace sorvane::UpdatePaths
