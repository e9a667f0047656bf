#pragma once
// Fresh random UUIDs (libuuid) in their canonical text form: upper-case
// hexadecimal, hyphenated 8-4-4-4-12. For names that must not collide
// between processes (working folders, temporary files). Any thread.
#include <string>

namespace sorvane::Uuid {

std::string random();

}  // namespace sorvane::Uuid
