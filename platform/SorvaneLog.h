#pragma once
// The one logging entry point of every process. Callers format the whole
// text (beginning "[Sorvane] "); nothing is added to it.
#include <string>
#include <string_view>

namespace sorvane::SorvaneLog {

void log(std::string_view message);
void debug(std::string_view message);
void error(std::string_view message);

// For call sites that would build an expensive text only to have it dropped.
bool debugEnabled();

// A text that a client sent (a bundle id, typed characters) as a record
// quotes it: at most 255 bytes, cut at a UTF-8 character boundary.
inline constexpr std::size_t kMaxClientTextBytes = 255;
std::string clientText(std::string_view text);

}  // namespace sorvane::SorvaneLog
