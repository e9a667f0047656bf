#pragma once
// The user's typing rhythm: gaps between neighbouring keys of one English
// sentence over the last 24 hours. Its pause (the 90th percentile, clamped) is
// how long a stop in typing must last before the sentence counts as finished.
//
// One instance in the input process records and saves; the settings window
// builds its own over the same user defaults to chart the samples. Each guards
// its samples with its own lock; between the processes the last save wins.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/UserDefaults.h"

namespace sorvane {

class TypingRhythm {
public:
    using Date = std::chrono::system_clock::time_point;
    using DateSource = std::function<Date()>;

    static constexpr std::string_view defaultsKey = "sorvane.keyboard.keyGaps";
    static constexpr std::chrono::seconds window{86400};
    static constexpr std::size_t maxSamples = 2000;
    static constexpr std::size_t minSamples = 20;
    static constexpr double longestGap = 2.0;  // seconds
    static constexpr double percentile = 0.9;
    struct PauseRange {
        double lower;  // seconds, closed at both ends
        double upper;
    };
    static constexpr PauseRange pauseRange{0.3, 1.0};
    static constexpr double fallbackPause = 1.0;
    static constexpr int saveEvery = 50;
    // How long a computed pause is reused.
    static constexpr std::chrono::seconds cacheLifetime{60};

    struct Sample {
        Date at;
        std::int64_t ms = 0;
        friend bool operator==(const Sample&, const Sample&) = default;
    };

    // The start of the calendar hour that holds a time, in one time zone.
    class Calendar {
    public:
        // The system's current time zone.
        static Calendar current();
        // An ICU / Olson zone id such as "UTC" or "Asia/Kolkata".
        static Calendar inZone(std::string_view zoneId);

        // None when the calendar cannot place the time.
        std::optional<Date> startOfHour(Date time) const;
        const std::string& zoneId() const { return zoneId_; }

    private:
        struct Zone;  // the ICU calendar, made once and cloned per call
        explicit Calendar(std::string zoneId);
        std::string zoneId_;  // empty: the system default
        std::shared_ptr<const Zone> zone_;
    };

    // The samples at one moment, with what the settings page derives from them.
    struct Snapshot {
        struct Bin {
            std::int64_t lowerMs = 0;
            std::int64_t count = 0;
            std::int64_t id() const { return lowerMs; }
            friend bool operator==(const Bin&, const Bin&) = default;
        };
        struct Hour {
            Date start;
            std::int64_t medianMs = 0;
            std::int64_t count = 0;
            Date id() const { return start; }
            friend bool operator==(const Hour&, const Hour&) = default;
        };

        std::vector<Sample> samples;

        // Computed afresh from the samples on every call.
        double pause() const;
        bool hasRhythm() const { return samples.size() >= minSamples; }
        // Nearest rank over the gaps sorted ascending; none without samples.
        std::optional<std::int64_t> percentileMs(double p) const;
        // max(1, 2000 / width) bins; the last one also takes every longer gap.
        // A width of 0 or less has no sensible bins and gives none.
        std::vector<Bin> histogram(std::int64_t widthMs) const;
        // Median gap and count per calendar hour, oldest hour first.
        std::vector<Hour> hours(const Calendar& calendar) const;
        // The settings page's sentence about the current pause.
        std::string explanation() const;

        // A fixed synthetic day of samples before `now`, for previews.
        static Snapshot preview(Date now);

        friend bool operator==(const Snapshot&, const Snapshot&) = default;
    };

    // Where a save's encoding and file write run. The input process records
    // on its main thread, which must never wait for a disk flush; the copy
    // of the samples is still taken at once, under the lock.
    enum class Writes { onCaller, onWriterThread };

    explicit TypingRhythm(
        std::shared_ptr<UserDefaults> defaults,
        DateSource date = [] { return std::chrono::system_clock::now(); }, Writes writes = Writes::onCaller);
    // Finishes a save still being written.
    ~TypingRhythm();
    TypingRhythm(const TypingRhythm&) = delete;
    TypingRhythm& operator=(const TypingRhythm&) = delete;

    // A gap in seconds; kept only when 0 < gap <= 2. Saves after every 50.
    void record(double gapSeconds);
    // Writes the samples when any were recorded since the last save.
    void save();
    // Returns once every save handed to the writer thread is written.
    void flush();
    // Seconds; 1.0 under 20 samples, otherwise the clamped 90th percentile.
    // Cached for a minute and dropped on every new sample.
    double pause();
    // Prunes first.
    Snapshot snapshot();
    // Without pruning.
    std::size_t sampleCount() const;

    static const std::string& rulesText();

private:
    struct Stored {
        std::vector<std::int64_t> at;
        std::vector<std::int64_t> ms;
        std::uint64_t sequence;
    };
    void pruneLocked(Date now);
    Stored takeForSaveLocked();
    void write(const Stored& stored);
    void hand(Stored stored);
    class Writer;

    std::shared_ptr<UserDefaults> defaults_;
    DateSource date_;

    mutable std::mutex lock_;
    std::vector<std::int64_t> at_;  // whole seconds since 1970, ascending
    std::vector<std::int64_t> ms_;  // parallel to at_
    struct Cached {
        Date at;
        double pause;
    };
    std::optional<Cached> cached_;
    int unsaved_ = 0;
    std::uint64_t saveSequence_ = 0;

    std::mutex writeLock_;  // orders writes to the user defaults
    std::uint64_t lastWritten_ = 0;
    std::unique_ptr<Writer> writer_;  // with Writes::onWriterThread only
};

}  // namespace sorvane
