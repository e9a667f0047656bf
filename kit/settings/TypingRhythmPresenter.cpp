#include "kit/settings/TypingRhythmPresenter.h"

#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace sorvane::TypingRhythmPresenter {
namespace {

using namespace std::chrono_literals;

UDate toUDate(Date time) {
    return static_cast<UDate>(
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
}

std::unique_ptr<icu::TimeZone> zoneOf(const TypingRhythm::Calendar& calendar) {
    return std::unique_ptr<icu::TimeZone>(
        calendar.zoneId().empty()
            ? icu::TimeZone::createDefault()
            : icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(calendar.zoneId())));
}

// Labels and the six-hour stride follow the wall clock of the calendar's zone.
class HourClock {
public:
    HourClock(const TypingRhythm::Calendar& calendar, std::string_view localeId) {
        const icu::Locale locale =
            localeId.empty() ? icu::Locale::getDefault() : icu::Locale(std::string(localeId).c_str());
        UErrorCode status = U_ZERO_ERROR;
        calendar_.reset(icu::Calendar::createInstance(zoneOf(calendar).release(), locale, status));
        if (U_FAILURE(status)) calendar_.reset();
        // "j": the locale's own hour, with its day-period marker where it uses one.
        format_.reset(icu::DateFormat::createInstanceForSkeleton(icu::UnicodeString("j"), locale, status));
        if (U_FAILURE(status)) {
            format_.reset();
        } else {
            format_->adoptTimeZone(zoneOf(calendar).release());
        }
    }

    std::optional<int> hourOfDay(Date time) const {
        if (!calendar_) return std::nullopt;
        UErrorCode status = U_ZERO_ERROR;
        calendar_->setTime(toUDate(time), status);
        const int hour = calendar_->get(UCAL_HOUR_OF_DAY, status);
        return U_FAILURE(status) ? std::nullopt : std::optional<int>(hour);
    }

    std::string label(Date time) const {
        if (!format_) return {};
        icu::UnicodeString text;
        format_->format(toUDate(time), text);
        std::string out;
        return text.toUTF8String(out);
    }

private:
    std::unique_ptr<icu::Calendar> calendar_;
    std::unique_ptr<icu::DateFormat> format_;
};

}  // namespace

Scale wholeScale(std::int64_t highest) {
    constexpr std::int64_t maxSteps = 5;
    highest = std::max<std::int64_t>(highest, 1);
    for (std::int64_t power = 1;; power *= 10) {
        for (const std::int64_t step : {power, 2 * power, 5 * power}) {
            const std::int64_t steps = (highest + step - 1) / step;
            if (steps <= maxSteps) return {steps * step, step};
        }
    }
}

std::string figure(std::optional<std::int64_t> milliseconds) {
    return milliseconds ? std::to_string(*milliseconds) + " ms" : "—";
}

Page present(const TypingRhythm::Snapshot& snapshot, Date now, const TypingRhythm::Calendar& calendar,
             std::string_view localeId) {
    Page page;
    // Halves away from zero, as the figure is read aloud: 412.5 ms is 413.
    page.pauseMs = std::llround(snapshot.pause() * 1000.0);
    page.medianMs = snapshot.percentileMs(0.5);
    page.p90Ms = snapshot.percentileMs(TypingRhythm::percentile);
    page.sampleCount = snapshot.samples.size();
    page.explanation = snapshot.explanation();
    page.hasSamples = !snapshot.samples.empty();

    for (const auto& bin : snapshot.histogram(binWidthMs)) {
        page.bins.push_back({bin.lowerMs, bin.count, double(bin.lowerMs + 6), double(bin.lowerMs + 94),
                             bin.lowerMs < page.pauseMs});
    }
    std::int64_t highestCount = 0;
    for (const auto& bar : page.bins) highestCount = std::max(highestCount, bar.count);
    page.countScale = wholeScale(highestCount);
    const bool p90Below = page.p90Ms && *page.p90Ms < page.pauseMs;
    if (page.p90Ms && *page.p90Ms != page.pauseMs && snapshot.hasRhythm()) {
        page.p90Rule = Rule{double(std::min(*page.p90Ms, longestMs)), "p90 " + std::to_string(*page.p90Ms),
                            p90Below ? Alignment::trailing : Alignment::leading};
    }
    page.pauseRule =
        Rule{double(page.pauseMs), std::string(Copy::pauseMark) + " " + std::to_string(page.pauseMs),
             p90Below ? Alignment::leading : Alignment::trailing};

    // The window: from the hour holding the moment a day ago to the end of
    // the current hour; where the calendar cannot place a moment, the moment.
    const Date dayAgo = now - TypingRhythm::window;
    page.hoursFrom = calendar.startOfHour(dayAgo).value_or(dayAgo);
    const auto currentHour = calendar.startOfHour(now);
    page.hoursTo = currentHour ? *currentHour + 1h : now;
    page.hours = snapshot.hours(calendar);
    std::int64_t highestMs = page.pauseMs;
    for (const auto& hour : page.hours)
        if (hour.start >= page.hoursFrom && hour.start < page.hoursTo)
            highestMs = std::max(highestMs, hour.medianMs);
    page.hoursScale = wholeScale(highestMs);
    page.hoursPauseRule = Rule{double(page.pauseMs), std::string(Copy::pauseMark), Alignment::leading};

    const HourClock clock(calendar, localeId);
    for (Date hour = page.hoursFrom; hour <= page.hoursTo; hour += 1h) {
        const auto start = calendar.startOfHour(hour);
        if (!start || *start != hour) continue;
        if (const auto wall = clock.hourOfDay(hour); wall && *wall % 6 == 0)
            page.hourTicks.push_back({hour, clock.label(hour)});
    }
    return page;
}

}  // namespace sorvane::TypingRhythmPresenter
