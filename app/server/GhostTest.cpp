#include "app/server/GhostTest.h"

#include <cstdlib>
#include <string>

namespace sorvane::GhostTest {

bool boolValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    while (i < text.size() && text[i] == '0') ++i;
    if (i >= text.size()) return false;
    const char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

bool isEnabled(std::optional<std::string_view> environment, const UserDefaults* defaults) {
    if (environment) return boolValue(*environment);
    if (!defaults) return false;
    return defaults->boolValue(key).value_or(false);
}

bool isEnabled() {
    const std::string name(key);
    const char* value = std::getenv(name.c_str());
    const auto defaults = UserDefaults::standard();
    return isEnabled(value ? std::optional<std::string_view>(value) : std::nullopt, defaults.get());
}

}  // namespace sorvane::GhostTest
