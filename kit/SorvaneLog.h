#pragma once
// The one logging entry point of every process. Callers format the whole
// text (beginning "[Sorvane] "); nothing is added to it.
#include <string_view>

namespace sorvane::SorvaneLog {

void log(std::string_view message);
void debug(std::string_view message);
void error(std::string_view message);

// For call sites that would build an expensive text only to have it dropped.
bool debugEnabled();

}  // namespace sorvane::SorvaneLog
