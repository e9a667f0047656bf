#include "platform/DateText.h"

#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace sorvane::DateText {
namespace {

using namespace std::chrono;

bool digits(std::string_view s, std::size_t from, std::size_t count, int& out) {
    out = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

}  // namespace

std::string monthDayHourMinute(std::chrono::system_clock::time_point date, std::string_view locale,
                               std::string_view timeZone) {
    const icu::Locale where =
        locale.empty() ? icu::Locale::getDefault() : icu::Locale(std::string(locale).c_str());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(where, status));
    if (U_FAILURE(status)) return {};
    // "j" is the locale's preferred hour, with its day period where it has one.
    const icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString("MMMdjmm"), status);
    if (U_FAILURE(status)) return {};
    icu::SimpleDateFormat format(pattern, where, status);
    if (U_FAILURE(status)) return {};
    if (!timeZone.empty()) {
        format.adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZone)));
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
    icu::UnicodeString text;
    format.format(static_cast<UDate>(ms), text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::string iso8601(sys_seconds date) {
    // A zone offset can carry a date just past the four-digit years (year
    // 10000, or year 0); clamped, it still reads back near what was written
    // instead of as unparsable, which would mean the distant past.
    const sys_seconds earliest = sys_days{year{1} / January / 1};
    const sys_seconds latest = sys_days{year{9999} / December / 31} + hours{23} + minutes{59} + seconds{59};
    date = std::clamp(date, earliest, latest);
    const auto day = floor<days>(date);
    const year_month_day ymd{day};
    const hh_mm_ss time{date - day};
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return buf;
}

std::string iso8601(system_clock::time_point date) {
    return iso8601(floor<seconds>(date));
}

std::optional<sys_seconds> parseISO8601(std::string_view s) {
    int y, mo, d, h, mi, sec;
    if (s.size() < 20 || !digits(s, 0, 4, y) || s[4] != '-' || !digits(s, 5, 2, mo) || s[7] != '-' ||
        !digits(s, 8, 2, d) || s[10] != 'T' || !digits(s, 11, 2, h) || s[13] != ':' ||
        !digits(s, 14, 2, mi) || s[16] != ':' || !digits(s, 17, 2, sec)) {
        return std::nullopt;
    }
    const year_month_day ymd{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (!ymd.ok() || h > 23 || mi > 59 || sec > 59) return std::nullopt;

    seconds offset{0};
    const std::string_view zone = s.substr(19);
    if (zone != "Z") {
        int oh, om;
        if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || !digits(zone, 1, 2, oh) ||
            zone[3] != ':' || !digits(zone, 4, 2, om) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offset = hours{oh} + minutes{om};
        if (zone[0] == '-') offset = -offset;
    }
    return sys_days{ymd} + hours{h} + minutes{mi} + seconds{sec} - offset;
}

}  // namespace sorvane::DateText
