#include <gtest/gtest.h>

#include "kit/settings/TypingRhythmPresenter.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;
using P = TypingRhythmPresenter::Alignment;
using Snapshot = TypingRhythm::Snapshot;

const TypingRhythm::Date kNow = TypingRhythm::Date(std::chrono::seconds(1'780'000'000));  // 2026-05-28

Snapshot gaps(std::vector<std::int64_t> ms) {
    Snapshot s;
    auto at = kNow - 1h;
    for (auto gap : ms) s.samples.push_back({at += 1s, gap});
    return s;
}

TypingRhythmPresenter::Page present(const Snapshot& s) {
    return TypingRhythmPresenter::present(s, kNow, TypingRhythm::Calendar::inZone("UTC"), "en_US");
}

TEST(TypingRhythmPresenterTest, SummaryAndRulesFollowTheSamples) {
    // No samples: the fallback pause, no figures, no charts.
    auto page = present({});
    EXPECT_EQ(page.pauseMs, 1000);
    EXPECT_EQ(page.sampleCount, 0u);
    EXPECT_EQ(TypingRhythmPresenter::figure(page.medianMs), "—");
    EXPECT_EQ(TypingRhythmPresenter::figure(page.p90Ms), "—");
    EXPECT_FALSE(page.hasSamples);
    EXPECT_FALSE(page.p90Rule);

    // Under 20 samples: charts, but no p90 rule; the pause stands at 1000.
    page = present(gaps({120, 150, 180}));
    EXPECT_TRUE(page.hasSamples);
    EXPECT_FALSE(page.p90Rule);
    // A p90 below the pause turns the pause's label away from it even without a rule.
    EXPECT_EQ(page.pauseRule, (TypingRhythmPresenter::Rule{1000, "停顿 1000", P::leading}));
    EXPECT_EQ(TypingRhythmPresenter::figure(page.medianMs), "150 ms");

    // p90 below the clamp: the rule stands apart, labels face away from each other.
    page = present(gaps(std::vector<std::int64_t>(20, 200)));
    EXPECT_EQ(page.pauseMs, 300);
    EXPECT_EQ(page.p90Rule, (TypingRhythmPresenter::Rule{200, "p90 200", P::trailing}));
    EXPECT_EQ(page.pauseRule.alignment, P::leading);

    // p90 past the scale (a snapshot may hold any gap): the line stops at
    // 2000, the label keeps the value.
    page = present(gaps(std::vector<std::int64_t>(20, 2600)));
    EXPECT_EQ(page.p90Rule, (TypingRhythmPresenter::Rule{2000, "p90 2600", P::leading}));
    EXPECT_EQ(page.pauseRule, (TypingRhythmPresenter::Rule{1000, "停顿 1000", P::trailing}));
    // Every gap of 1900 ms or more is in the last bar.
    EXPECT_EQ(page.bins.back().lowerMs, 1900);
    EXPECT_EQ(page.bins.back().count, 20);
}

TEST(TypingRhythmPresenterTest, AP90InsideTheClampIsThePauseRoundedNeverTruncated) {
    for (std::int64_t p90 = 300; p90 <= 1000; ++p90) {
        const auto page = present(gaps(std::vector<std::int64_t>(20, p90)));
        ASSERT_EQ(page.pauseMs, p90);
        ASSERT_FALSE(page.p90Rule) << p90;
        ASSERT_EQ(page.pauseRule.alignment, P::trailing);
    }
}

TEST(TypingRhythmPresenterTest, BarsAreDarkOnlyBelowThePause) {
    std::vector<std::int64_t> ms(20, 450);  // pause 450
    ms.push_back(50);
    const auto page = present(gaps(ms));
    ASSERT_EQ(page.bins.size(), 20u);
    EXPECT_EQ(page.bins[0], (TypingRhythmPresenter::HistogramBar{0, 1, 6, 94, true}));
    EXPECT_TRUE(page.bins[3].beforePause);
    EXPECT_EQ(page.bins[4].lowerMs, 400);
    EXPECT_TRUE(page.bins[4].beforePause);  // 400 < 450
    const auto atPause = present(gaps(std::vector<std::int64_t>(20, 500)));
    EXPECT_EQ(atPause.bins[5].lowerMs, 500);
    EXPECT_FALSE(atPause.bins[5].beforePause);
    EXPECT_TRUE(atPause.bins[4].beforePause);
}

TEST(TypingRhythmPresenterTest, TheHourlyWindowHas25SlotsInAnyZone) {
    const struct {
        const char* zone;
        TypingRhythm::Date now;
    } cases[] = {
        {"UTC", kNow + 17min},
        {"Asia/Kolkata", kNow + 17min},  // hours start at half past in UTC
        // 2026-03-08 in New York: the clocks jump from 2:00 to 3:00.
        {"America/New_York", TypingRhythm::Date(std::chrono::seconds(1'772'982'000))},
    };
    for (const auto& c : cases) {
        const auto calendar = TypingRhythm::Calendar::inZone(c.zone);
        const auto page = TypingRhythmPresenter::present(gaps({300}), c.now, calendar, "en_US");
        EXPECT_EQ(page.hoursTo - page.hoursFrom, 25h) << c.zone;
        EXPECT_EQ(calendar.startOfHour(page.hoursFrom), page.hoursFrom) << c.zone;
        EXPECT_LE(page.hoursFrom, c.now - 24h);
        EXPECT_GT(page.hoursTo, c.now);
        // Ticks every sixth wall-clock hour: 6 h apart, 5 h across the spring jump.
        ASSERT_GE(page.hourTicks.size(), 4u) << c.zone;
        for (std::size_t i = 1; i < page.hourTicks.size(); ++i) {
            const auto apart = page.hourTicks[i].at - page.hourTicks[i - 1].at;
            EXPECT_TRUE(apart == 6h || (std::string(c.zone) == "America/New_York" && apart == 5h)) << c.zone;
        }
    }
    const auto utc = present(gaps({300}));
    EXPECT_EQ(utc.hourTicks.front().label.substr(0, 1).find_first_of("0123456789"), 0u);
    EXPECT_NE(utc.hourTicks.front().label.find("M"), std::string::npos) << utc.hourTicks.front().label;
}

}  // namespace
}  // namespace sorvane
