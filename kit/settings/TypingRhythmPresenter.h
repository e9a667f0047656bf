#pragma once
// What the typing-rhythm settings page shows, worked out from one snapshot of
// the samples without any drawing: the summary figures, the histogram's bars
// and rules, and the hourly chart's fixed 25-hour window with its bars and
// axis marks. The page draws exactly these values; tests check them here.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/english/TypingRhythm.h"

namespace sorvane::TypingRhythmPresenter {

using Date = TypingRhythm::Date;

// The right end of the histogram's scale and the furthest place of its p90 rule.
inline constexpr std::int64_t longestMs = 2000;
inline constexpr std::int64_t binWidthMs = 100;
inline constexpr std::int64_t histogramTicks[] = {0, 300, 500, 1000, 1500, 2000};

namespace Copy {
inline constexpr std::string_view header = "打字节奏";
inline constexpr std::string_view subtitle = "Sorvane模式按你自己的打字速度，决定停顿多久就去改写。";
inline constexpr std::string_view pauseGroup = "现在的停顿";
inline constexpr std::string_view histogramGroup = "按键间隔分布";
inline constexpr std::string_view hoursGroup = "最近 24 小时";
inline constexpr std::string_view milliseconds = "毫秒";
inline constexpr std::string_view pauseRule = "停顿 = p90，限制在 300–1000 毫秒";
inline constexpr std::string_view samples = "样本";
inline constexpr std::string_view median = "中位间隔";
inline constexpr std::string_view p90 = "P90";
inline constexpr std::string_view empty = "还没有记录。切到Sorvane模式打几句英文夹拼音，这里就会出现。";
inline constexpr std::string_view histogramCaption = "每根柱子 100 毫秒；深色是停顿之前就接着按下的键。";
inline constexpr std::string_view hoursCaption =
    "柱高是那一小时按键间隔的中位数，越低打得越快；空白的小时没有用Sorvane打字。";
inline constexpr std::string_view pauseMark = "停顿";
// What the charts' marks measure, as assistive tools read them out.
inline constexpr std::string_view gapValue = "间隔";
inline constexpr std::string_view countValue = "次数";
inline constexpr std::string_view hourValue = "时间";
inline constexpr std::string_view p90Value = "p90";
}  // namespace Copy

enum class Alignment { leading, trailing };

// A labelled line across the whole plot, annotated at its top.
struct Rule {
    double value = 0;
    std::string label;
    Alignment alignment = Alignment::leading;
    friend bool operator==(const Rule&, const Rule&) = default;
};

struct HistogramBar {
    std::int64_t lowerMs = 0;
    std::int64_t count = 0;
    double xStart = 0;  // lowerMs + 6 … lowerMs + 94
    double xEnd = 0;
    bool beforePause = false;  // lowerMs below the pause: drawn darker
    friend bool operator==(const HistogramBar&, const HistogramBar&) = default;
};

// An axis of counts (or milliseconds) from 0 whose ticks are whole numbers:
// `top` is a multiple of `step` and at least the highest value, in at most
// five steps of 1, 2 or 5 times a power of ten.
struct Scale {
    std::int64_t top = 1;
    std::int64_t step = 1;
    friend bool operator==(const Scale&, const Scale&) = default;
};

Scale wholeScale(std::int64_t highest);

struct HourTick {
    Date at;
    std::string label;  // the hour in the user's locale
    friend bool operator==(const HourTick&, const HourTick&) = default;
};

struct Page {
    std::int64_t pauseMs = 0;
    std::optional<std::int64_t> medianMs;
    std::optional<std::int64_t> p90Ms;
    std::size_t sampleCount = 0;
    std::string explanation;
    // Without samples both charts give way to the empty text.
    bool hasSamples = false;

    std::vector<HistogramBar> bins;
    Scale countScale;             // the histogram's y axis
    std::optional<Rule> p90Rule;  // only with a rhythm and when it differs from the pause
    Rule pauseRule;

    Date hoursFrom;  // the 25 calendar hours ending with the current one
    Date hoursTo;
    std::vector<TypingRhythm::Snapshot::Hour> hours;
    std::vector<HourTick> hourTicks;  // every sixth calendar hour
    Scale hoursScale;                 // the hourly chart's y axis, with room for the pause
    Rule hoursPauseRule;              // horizontal, at the pause
};

// `localeId` names the locale of the hour labels ("" for the user's own).
Page present(const TypingRhythm::Snapshot& snapshot, Date now, const TypingRhythm::Calendar& calendar,
             std::string_view localeId = {});

// A figure of the summary: "412 ms", or "—" when there is none.
std::string figure(std::optional<std::int64_t> milliseconds);

}  // namespace sorvane::TypingRhythmPresenter
