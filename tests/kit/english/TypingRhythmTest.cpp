#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "kit/english/TypingRhythm.h"
#include "tests/support/MemoryUserDefaults.h"

using namespace std::chrono_literals;
using sorvane::TypingRhythm;
using sorvane::UserDefaults;
using sorvane::testing::MemoryUserDefaults;
using Snapshot = TypingRhythm::Snapshot;
using Sample = TypingRhythm::Sample;

namespace {

const TypingRhythm::Date start = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + 9h;

// A rhythm over memory defaults whose clock the test moves.
struct Fixture {
    std::shared_ptr<MemoryUserDefaults> defaults = std::make_shared<MemoryUserDefaults>();
    TypingRhythm::Date now = start;

    std::unique_ptr<TypingRhythm> make() {
        return std::make_unique<TypingRhythm>(defaults, [this] { return now; });
    }
    std::optional<nlohmann::json> stored() const {
        auto data = defaults->data(TypingRhythm::defaultsKey);
        if (!data) return std::nullopt;
        return nlohmann::json::parse(*data);
    }
};

Snapshot snapshotOf(std::vector<std::int64_t> gaps) {
    Snapshot s;
    for (std::size_t i = 0; i < gaps.size(); ++i)
        s.samples.push_back(Sample{start + std::chrono::seconds(i), gaps[i]});
    return s;
}

// Counts the writes of the stored samples.
class CountingDefaults final : public UserDefaults {
public:
    std::optional<nlohmann::json> value(std::string_view key) const override { return inner.value(key); }
    bool setValue(std::string_view key, const nlohmann::json& value) override {
        ++writes;
        return inner.setValue(key, value);
    }
    bool remove(std::string_view key) override { return inner.remove(key); }

    MemoryUserDefaults inner;
    std::atomic<int> writes{0};
};

}  // namespace

TEST(TypingRhythm, KeepsOnlyGapsAboveZeroUpToTwoSeconds) {
    struct Case {
        double gap;
        std::optional<std::int64_t> ms;
    };
    const Case cases[] = {
        {2.0, 2000},
        {2.0001, std::nullopt},
        {0.0, std::nullopt},
        {-0.5, std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
        {std::numeric_limits<double>::infinity(), std::nullopt},
        {0.0004, 0},
        {0.0005, 1},
        {0.1234, 123},
    };
    for (const auto& c : cases) {
        Fixture f;
        auto rhythm = f.make();
        rhythm->record(c.gap);
        auto samples = rhythm->snapshot().samples;
        if (c.ms) {
            ASSERT_EQ(samples.size(), 1u) << c.gap;
            EXPECT_EQ(samples[0].ms, *c.ms) << c.gap;
            EXPECT_EQ(samples[0].at, start);
        } else {
            EXPECT_TRUE(samples.empty()) << c.gap;
        }
    }
}

TEST(TypingRhythm, FallsBackUnderTwentySamplesThenUsesTheClampedNinetiethPercentile) {
    Fixture f;
    auto rhythm = f.make();
    for (int i = 0; i < 19; ++i) rhythm->record(0.5);
    EXPECT_EQ(rhythm->pause(), 1.0);
    EXPECT_FALSE(rhythm->snapshot().hasRhythm());
    rhythm->record(0.5);  // the new sample drops the cached 1.0
    EXPECT_TRUE(rhythm->snapshot().hasRhythm());
    EXPECT_DOUBLE_EQ(rhythm->pause(), 0.5);
}

TEST(TypingRhythm, PauseIsClampedToThreeTenthsAndOneSecond) {
    struct Case {
        std::vector<std::int64_t> gaps;
        double pause;
    };
    std::vector<std::int64_t> mixed(18, 100);
    mixed.push_back(650);
    mixed.push_back(1900);  // p90 of 20 is the 18th value
    const Case cases[] = {
        {std::vector<std::int64_t>(25, 100), 0.3},  {std::vector<std::int64_t>(25, 300), 0.3},
        {std::vector<std::int64_t>(25, 1500), 1.0}, {mixed, 0.3},  // the 18th sorted value is 100
        {std::vector<std::int64_t>(20, 650), 0.65},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(snapshotOf(c.gaps).pause(), c.pause);
    std::vector<std::int64_t> rising;
    for (int i = 1; i <= 20; ++i) rising.push_back(i * 50);  // 50..1000, p90 is index 17: 900
    EXPECT_DOUBLE_EQ(snapshotOf(rising).pause(), 0.9);
}

TEST(TypingRhythm, PercentileUsesTheNearestRank) {
    std::vector<std::int64_t> twenty, twentyOne;
    for (int i = 0; i < 20; ++i) twenty.push_back(i);
    for (int i = 0; i < 21; ++i) twentyOne.push_back(20 - i);  // unsorted on purpose
    EXPECT_EQ(snapshotOf(twenty).percentileMs(0.9), 17);
    EXPECT_EQ(snapshotOf(twentyOne).percentileMs(0.9), 18);
    EXPECT_EQ(snapshotOf({40, 10, 30, 20}).percentileMs(0.5), 20);  // lower middle
    EXPECT_EQ(snapshotOf({40, 10, 30, 20}).percentileMs(1.0), 40);
    EXPECT_EQ(snapshotOf({}).percentileMs(0.9), std::nullopt);
    EXPECT_EQ(snapshotOf({}).pause(), 1.0);
    // Ranks outside (0, 1] land on the ends, never outside the list.
    EXPECT_EQ(snapshotOf({5, 6}).percentileMs(0.0), 5);
    EXPECT_EQ(snapshotOf({5, 6}).percentileMs(std::numeric_limits<double>::quiet_NaN()), 5);
    EXPECT_EQ(snapshotOf({5, 6}).percentileMs(7.0), 6);
}

TEST(TypingRhythm, DropsSamplesOlderThanADayAndKeepsTheNewest2000) {
    Fixture f;
    auto rhythm = f.make();
    rhythm->record(0.1);
    f.now += 86400s;  // exactly a day later: cutoff equals the sample's time, it stays
    rhythm->record(0.2);
    EXPECT_EQ(rhythm->sampleCount(), 2u);
    f.now += 1s;
    EXPECT_EQ(rhythm->snapshot().samples.size(), 1u);
    EXPECT_EQ(rhythm->snapshot().samples[0].ms, 200);

    Fixture g;
    auto capped = g.make();
    for (int i = 0; i < 2001; ++i) capped->record(i == 0 ? 0.001 : 0.3);
    EXPECT_EQ(capped->sampleCount(), 2000u);
    EXPECT_EQ(capped->snapshot().samples.front().ms, 300);  // the first (1 ms) went
}

TEST(TypingRhythm, CachesThePauseForSixtySeconds) {
    Fixture f;
    auto rhythm = f.make();
    for (int i = 0; i < 20; ++i) rhythm->record(0.5);
    // Read just before the samples leave the window: computed and cached.
    f.now += 86400s - 30s;
    EXPECT_DOUBLE_EQ(rhythm->pause(), 0.5);
    // The samples have aged out, but the cached pause is not 60 s old yet.
    f.now += 59s;
    EXPECT_DOUBLE_EQ(rhythm->pause(), 0.5);
    EXPECT_EQ(rhythm->sampleCount(), 20u);
    f.now += 1s;
    EXPECT_DOUBLE_EQ(rhythm->pause(), 1.0);
    EXPECT_EQ(rhythm->sampleCount(), 0u);
}

TEST(TypingRhythm, SavesAtTheFiftiethGapAndAFreshInstanceLoadsIt) {
    Fixture f;
    auto rhythm = f.make();
    for (int i = 0; i < 49; ++i) {
        rhythm->record(0.1 + i * 0.01);
        f.now += 1s;
    }
    EXPECT_FALSE(f.stored());
    rhythm->record(0.75);
    auto stored = f.stored();
    ASSERT_TRUE(stored);
    EXPECT_EQ((*stored)["at"].size(), 50u);
    EXPECT_EQ((*stored)["ms"][49], 750);
    EXPECT_EQ((*stored)["at"][0],
              std::chrono::duration_cast<std::chrono::seconds>(start.time_since_epoch()).count());

    auto fresh = f.make();
    EXPECT_EQ(fresh->snapshot(), rhythm->snapshot());
    EXPECT_EQ(fresh->sampleCount(), 50u);
}

TEST(TypingRhythm, SaveWithNothingNewWritesNothing) {
    auto defaults = std::make_shared<CountingDefaults>();
    TypingRhythm rhythm(defaults, [] { return start; });
    rhythm.save();
    EXPECT_EQ(defaults->writes, 0);
    rhythm.record(0.2);
    rhythm.save();
    rhythm.save();
    EXPECT_EQ(defaults->writes, 1);
}

TEST(TypingRhythm, BadStoredValuesLoadEmptyAndAreReplacedAtTheNextSave) {
    const std::string bad[] = {R"({"at":[1,2],"ms":[3]})", R"({"at":[1]})",           R"([1,2])", "not json",
                               R"({"at":[1.5],"ms":[3]})", R"({"at":["1"],"ms":[3]})"};
    for (const auto& value : bad) {
        Fixture f;
        f.defaults->setData(TypingRhythm::defaultsKey, value);
        auto rhythm = f.make();
        EXPECT_EQ(rhythm->sampleCount(), 0u) << value;
        EXPECT_EQ(*f.defaults->data(TypingRhythm::defaultsKey), value) << "loading never writes";
        rhythm->record(0.2);
        rhythm->save();
        EXPECT_EQ((*f.stored())["ms"], nlohmann::json::array({200})) << value;
    }
}

TEST(TypingRhythm, LoadingDoesNotPrune) {
    Fixture f;
    f.defaults->setData(TypingRhythm::defaultsKey, R"({"at":[1,2],"ms":[100,200]})");
    auto rhythm = f.make();
    EXPECT_EQ(rhythm->sampleCount(), 2u);
    EXPECT_TRUE(rhythm->snapshot().samples.empty());  // the snapshot prunes
}

// Stored times past the clock's range (about 9.2e9 s), or too close to its
// end to group by hour, are left out of the snapshot, as gaps that are not
// numbers are never recorded.
TEST(TypingRhythm, OutOfRangeStoredTimesAreIgnored) {
    Fixture f;
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(start.time_since_epoch()).count();
    f.defaults->setData(TypingRhythm::defaultsKey,
                        "{\"at\":[" + std::to_string(now) +
                            ",9300000000,9223372036854775807,9223372030],\"ms\":[100,200,300,400]}");
    auto rhythm = f.make();
    EXPECT_EQ(rhythm->snapshot().samples, (std::vector<Sample>{{start, 100}}));
    EXPECT_EQ(rhythm->snapshot().hours(TypingRhythm::Calendar::inZone("UTC")).size(), 1u);
}

TEST(TypingRhythm, ThreadsRecordingAtOnceSaveOncePerFiftyGaps) {
    auto defaults = std::make_shared<CountingDefaults>();
    TypingRhythm rhythm(defaults);
    std::vector<std::thread> threads;
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) (void)rhythm.pause();
    });
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) rhythm.record(0.25);
        });
    }
    for (auto& t : threads) t.join();
    stop = true;
    reader.join();
    EXPECT_EQ(rhythm.sampleCount(), 2000u);
    // 40 copies are taken; one overtaken by a newer copy is not written.
    EXPECT_GE(defaults->writes, 1);
    EXPECT_LE(defaults->writes, 40);
    TypingRhythm loaded(defaults);
    EXPECT_EQ(loaded.sampleCount(), 2000u);
}

TEST(TypingRhythmSnapshot, HistogramBinsAndTheirEdges) {
    auto bins = snapshotOf({0, 299, 300, 1499, 1500, 1999, 5000, -7}).histogram(300);
    ASSERT_EQ(bins.size(), 6u);
    const std::int64_t counts[] = {3, 1, 0, 0, 1, 3};  // -7 counts as 0; 1500 and up share the last bin
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(bins[i].lowerMs, static_cast<std::int64_t>(i) * 300);
        EXPECT_EQ(bins[i].count, counts[i]) << i;
    }
    auto one = snapshotOf({10, 4000}).histogram(5000);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], (Snapshot::Bin{0, 2}));

    auto empty = snapshotOf({}).histogram(500);
    ASSERT_EQ(empty.size(), 4u);
    for (const auto& bin : empty) EXPECT_EQ(bin.count, 0);
    // No width, no bins: never a division by zero.
    EXPECT_TRUE(snapshotOf({10}).histogram(0).empty());
    EXPECT_TRUE(snapshotOf({10}).histogram(-300).empty());
    EXPECT_TRUE(snapshotOf({}).histogram(0).empty());
}

TEST(TypingRhythmSnapshot, HoursGroupByTheCalendarsHour) {
    const auto base = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + 9h;  // 09:00 UTC
    Snapshot s;
    s.samples = {{base + 10min, 100},
                 {base + 50min, 300},
                 {base + 40min, 200},
                 {base + 70min, 900},
                 {base - 5min, 50}};
    auto utc = s.hours(TypingRhythm::Calendar::inZone("UTC"));
    ASSERT_EQ(utc.size(), 3u);
    EXPECT_EQ(utc[0], (Snapshot::Hour{base - 1h, 50, 1}));
    EXPECT_EQ(utc[1], (Snapshot::Hour{base, 200, 3}));
    EXPECT_EQ(utc[2], (Snapshot::Hour{base + 1h, 900, 1}));

    // Half-hour zones start their hours at :30 UTC.
    auto kolkata = s.hours(TypingRhythm::Calendar::inZone("Asia/Kolkata"));
    ASSERT_EQ(kolkata.size(), 2u);
    EXPECT_EQ(kolkata[0], (Snapshot::Hour{base - 30min, 50, 2}));   // 08:55 and 09:10 UTC
    EXPECT_EQ(kolkata[1], (Snapshot::Hour{base + 30min, 300, 3}));  // 09:40 to 10:10 UTC
    EXPECT_TRUE(Snapshot{}.hours(TypingRhythm::Calendar::current()).empty());
}

TEST(TypingRhythmSnapshot, ExplanationHasFourVariants) {
    EXPECT_EQ(snapshotOf(std::vector<std::int64_t>(19, 100)).explanation(),
              "样本还不到 20 个，先停 1000 毫秒。在Sorvane模式里多打几句，就会换成你自己的节奏。");
    EXPECT_EQ(snapshotOf(std::vector<std::int64_t>(20, 299)).explanation(),
              "你打得很快：p90 只有 299 毫秒，停顿取下限 300 毫秒。");
    EXPECT_EQ(snapshotOf(std::vector<std::int64_t>(20, 300)).explanation(),
              "九成的按键间隔比 300 毫秒短，停这么久多半是这句打完了，这时才去改写。");
    EXPECT_EQ(snapshotOf(std::vector<std::int64_t>(20, 1000)).explanation(),
              "九成的按键间隔比 1000 毫秒短，停这么久多半是这句打完了，这时才去改写。");
    EXPECT_EQ(snapshotOf(std::vector<std::int64_t>(20, 1001)).explanation(),
              "p90 是 1001 毫秒，停顿取上限 1000 毫秒，不会让你等得更久。");
}

TEST(TypingRhythmSnapshot, PreviewIsAFixedDayBeforeNow) {
    const auto now = start;
    const auto a = Snapshot::preview(now);
    EXPECT_EQ(a, Snapshot::preview(now));
    ASSERT_FALSE(a.samples.empty());
    EXPECT_TRUE(a.hasRhythm());
    for (std::size_t i = 0; i < a.samples.size(); ++i) {
        EXPECT_GE(a.samples[i].at, now - 24h);
        EXPECT_LT(a.samples[i].at, now);
        EXPECT_GE(a.samples[i].ms, 0);
        EXPECT_LE(a.samples[i].ms, 2000);
        if (i > 0) {
            EXPECT_LT(a.samples[i - 1].at, a.samples[i].at);
        }
    }
    // Each hour that has samples has 20 to 79 of them.
    for (const auto& hour : a.hours(TypingRhythm::Calendar::inZone("UTC"))) {
        EXPECT_GE(hour.count, 20);
        EXPECT_LE(hour.count, 79);
    }
    // The generator's day, pinned: 13 hours with samples, every gap in place.
    ASSERT_EQ(a.samples.size(), 575u);
    std::int64_t sum = 0;
    for (const auto& sample : a.samples) sum += sample.ms;
    EXPECT_EQ(sum, 188098);
    const std::int64_t firstGaps[] = {204, 190, 780, 814, 461, 256, 790, 307};
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(a.samples[i].ms, firstGaps[i]) << i;
    EXPECT_EQ(a.samples.back().ms, 271);
    EXPECT_EQ(a.samples.front().at, now - 24h);
    EXPECT_EQ(a.samples[33].at, now - 23h) << "the second hour starts after the first hour's 33 samples";
    EXPECT_EQ(a.percentileMs(0.9), 630);
    // Shifted with now, sample for sample.
    const auto later = Snapshot::preview(now + 1h);
    ASSERT_EQ(later.samples.size(), a.samples.size());
    EXPECT_EQ(later.samples.front().at - a.samples.front().at, 1h);
    EXPECT_EQ(later.samples.front().ms, a.samples.front().ms);
}

namespace {

// A store whose writes wait until the test opens the gate, as a slow disk would.
class GatedDefaults final : public UserDefaults {
public:
    std::optional<nlohmann::json> value(std::string_view key) const override { return inner.value(key); }
    bool setValue(std::string_view key, const nlohmann::json& value) override {
        std::unique_lock lock(mutex);
        ++writesStarted;
        opened.wait(lock, [this] { return open; });
        return inner.setValue(key, value);
    }
    bool remove(std::string_view key) override { return inner.remove(key); }
    void openGate() {
        std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }

    MemoryUserDefaults inner;
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    int writesStarted = 0;
};

}  // namespace

// With the writer thread, a key never waits for the disk: the 50th gap returns
// while its save is still blocked, the counter starts again at once, and
// whatever is waiting is on disk after flush() or when the model goes.
TEST(TypingRhythmWriterThread, SavesEveryFiftyGapsWithoutBlockingTheRecorder) {
    auto defaults = std::make_shared<GatedDefaults>();
    auto rhythm = std::make_unique<TypingRhythm>(
        defaults, [] { return start; }, TypingRhythm::Writes::onWriterThread);
    for (int i = 0; i < 50; ++i) rhythm->record(0.2);  // would hang here if the save ran inline
    for (int i = 0; i < 10; ++i) rhythm->record(0.3);
    rhythm->save();  // a newer copy while the first is still being written
    EXPECT_FALSE(defaults->inner.data(TypingRhythm::defaultsKey));
    defaults->openGate();
    rhythm->flush();
    const auto stored = nlohmann::json::parse(*defaults->inner.data(TypingRhythm::defaultsKey));
    EXPECT_EQ(stored["ms"].size(), 60u);
    EXPECT_LE(defaults->writesStarted, 2);  // the waiting copy was written once, not per save

    for (int i = 0; i < 5; ++i) rhythm->record(0.4);
    rhythm->save();
    rhythm.reset();  // the last copy is written before the model goes
    EXPECT_EQ(nlohmann::json::parse(*defaults->inner.data(TypingRhythm::defaultsKey))["ms"].size(), 65u);
}

TEST(TypingRhythmSnapshot, RulesTextInFull) {
    EXPECT_EQ(TypingRhythm::rulesText(),
              "只统计Sorvane模式里同一句话相邻两个键的间隔。删除键、每句的第一个键、超过 2 秒的停顿都不计入。"
              "记录只保存在这台设备上，超过 24 小时的自动删除，最多保留 2000 个。");
}

TEST(TypingRhythmSnapshot, HoursMatchTheCalendarSampleBySampleInEveryKindOfZone) {
    // A day and a half of samples every 7 minutes and 13 seconds, across a
    // spring jump and in zones whose hours begin off the whole UTC hour.
    const TypingRhythm::Date from{std::chrono::seconds(1'772'900'000)};  // 2026-03-07, New York
    Snapshot snapshot;
    for (auto at = from; at < from + 36h; at += 7min + 13s) snapshot.samples.push_back({at, 250});
    for (const char* zone :
         {"UTC", "America/New_York", "Asia/Kolkata", "Asia/Kathmandu", "Australia/Lord_Howe"}) {
        const auto calendar = TypingRhythm::Calendar::inZone(zone);
        std::map<TypingRhythm::Date, std::int64_t> expected;
        for (const auto& sample : snapshot.samples) ++expected[*calendar.startOfHour(sample.at)];
        std::map<TypingRhythm::Date, std::int64_t> actual;
        for (const auto& hour : snapshot.hours(calendar)) actual[hour.start] = hour.count;
        EXPECT_EQ(actual, expected) << zone;
    }
}
