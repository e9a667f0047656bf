#include "platform/DateText.h"

#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <memory>

namespace sorvane::DateText {

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

}  // namespace sorvane::DateText
