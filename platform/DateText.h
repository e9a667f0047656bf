#pragma once
// Dates as people read them, through ICU, and as stored files hold them.
// Any thread.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace sorvane::DateText {

// Abbreviated month, day, hour (with the locale's day-period marker where
// it uses one) and minute; no year, no seconds: "Dec 7, 9:05 AM",
// "12月7日 上午9:05". An empty locale or zone means the user's own.
std::string monthDayHourMinute(std::chrono::system_clock::time_point date, std::string_view locale = {},
                               std::string_view timeZone = {});

// An internet date-time in UTC with whole seconds: "2026-12-06T14:50:00Z".
// Dates outside the years 1 to 9999 are written as the nearest one inside.
std::string iso8601(std::chrono::sys_seconds date);
// The same for a clock reading, its fraction of a second dropped.
std::string iso8601(std::chrono::system_clock::time_point date);
// An internet date-time with "Z" or a "+hh:mm" offset and no fractional
// seconds; anything else gives nothing.
std::optional<std::chrono::sys_seconds> parseISO8601(std::string_view text);

}  // namespace sorvane::DateText
