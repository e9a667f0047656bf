#pragma once
// Dates as people read them, through ICU. Any thread.
#include <chrono>
#include <string>
#include <string_view>

namespace sorvane::DateText {

// Abbreviated month, day, hour (with the locale's day-period marker where
// it uses one) and minute; no year, no seconds: "Dec 7, 9:05 AM",
// "12月7日 上午9:05". An empty locale or zone means the user's own.
std::string monthDayHourMinute(std::chrono::system_clock::time_point date, std::string_view locale = {},
                               std::string_view timeZone = {});

}  // namespace sorvane::DateText
