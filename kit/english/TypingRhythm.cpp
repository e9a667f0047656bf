#include "kit/english/TypingRhythm.h"

#include <unicode/calendar.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

namespace sorvane {

namespace {

using Date = TypingRhythm::Date;

std::int64_t wholeSeconds(Date time) {
    // duration_cast truncates toward zero, as the stored form wants.
    return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
}

Date dateOfSeconds(std::int64_t seconds) {
    return Date(std::chrono::seconds(seconds));
}

// Stored times come from a file any program can write; one past the clock's
// range (about 9.2e9 s for nanosecond time points) cannot become a date. A
// day short of either end leaves room for the hour and quarter-hour sums
// made with a date.
bool representable(std::int64_t seconds) {
    const auto limit =
        std::chrono::duration_cast<std::chrono::seconds>(Date::max().time_since_epoch()).count() - 86400;
    return seconds <= limit && seconds >= -limit;
}

Date dateOfSeconds(double seconds) {
    return Date(std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(seconds)));
}

// Nearest rank over an ascending list.
std::optional<std::int64_t> percentileOfSorted(const std::vector<std::int64_t>& sorted, double p) {
    if (sorted.empty()) return std::nullopt;
    const double n = static_cast<double>(sorted.size());
    double index = std::ceil(p * n - 1e-9) - 1;
    // NaN and out-of-range ranks land on the ends instead of outside the list.
    if (!(index > 0)) index = 0;
    if (index > n - 1) index = n - 1;
    return sorted[static_cast<std::size_t>(index)];
}

double pauseOfGaps(std::vector<std::int64_t> gaps) {
    if (gaps.size() < TypingRhythm::minSamples) return TypingRhythm::fallbackPause;
    std::sort(gaps.begin(), gaps.end());
    auto p90 = percentileOfSorted(gaps, TypingRhythm::percentile);
    if (!p90) return TypingRhythm::fallbackPause;
    const double seconds = static_cast<double>(*p90) / 1000.0;
    if (seconds <= TypingRhythm::pauseRange.lower) return TypingRhythm::pauseRange.lower;
    if (seconds > TypingRhythm::pauseRange.upper) return TypingRhythm::pauseRange.upper;
    return seconds;
}

std::vector<std::int64_t> gapsOf(const std::vector<TypingRhythm::Sample>& samples) {
    std::vector<std::int64_t> gaps;
    gaps.reserve(samples.size());
    for (const auto& sample : samples) gaps.push_back(sample.ms);
    return gaps;
}

std::optional<std::vector<std::int64_t>> integers(const nlohmann::json& value) {
    if (!value.is_array()) return std::nullopt;
    std::vector<std::int64_t> out;
    out.reserve(value.size());
    for (const auto& element : value) {
        if (!element.is_number_integer()) return std::nullopt;
        out.push_back(element.get<std::int64_t>());
    }
    return out;
}

}  // namespace

// MARK: Calendar

struct TypingRhythm::Calendar::Zone {
    std::unique_ptr<icu::Calendar> prototype;
};

TypingRhythm::Calendar::Calendar(std::string zoneId) : zoneId_(std::move(zoneId)) {
    icu::TimeZone* zone = zoneId_.empty()
                              ? icu::TimeZone::createDefault()
                              : icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zoneId_));
    if (!zone) return;
    UErrorCode status = U_ZERO_ERROR;
    auto made = std::make_shared<Zone>();
    made->prototype.reset(icu::Calendar::createInstance(zone, status));  // adopts the zone
    if (U_FAILURE(status) || !made->prototype) return;
    zone_ = std::move(made);
}

TypingRhythm::Calendar TypingRhythm::Calendar::current() {
    return Calendar(std::string());
}

TypingRhythm::Calendar TypingRhythm::Calendar::inZone(std::string_view zoneId) {
    return Calendar(std::string(zoneId));
}

std::optional<Date> TypingRhythm::Calendar::startOfHour(Date time) const {
    if (!zone_) return std::nullopt;
    // A clone per call: ICU calendars keep the set time as state.
    std::unique_ptr<icu::Calendar> calendar(zone_->prototype->clone());
    if (!calendar) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    calendar->setTime(static_cast<UDate>(millis), status);
    calendar->set(UCAL_MINUTE, 0);
    calendar->set(UCAL_SECOND, 0);
    calendar->set(UCAL_MILLISECOND, 0);
    const UDate start = calendar->getTime(status);
    if (U_FAILURE(status) || !std::isfinite(start)) return std::nullopt;
    return Date(std::chrono::duration_cast<Date::duration>(std::chrono::duration<double, std::milli>(start)));
}

// MARK: Snapshot

double TypingRhythm::Snapshot::pause() const {
    return pauseOfGaps(gapsOf(samples));
}

std::optional<std::int64_t> TypingRhythm::Snapshot::percentileMs(double p) const {
    auto gaps = gapsOf(samples);
    std::sort(gaps.begin(), gaps.end());
    return percentileOfSorted(gaps, p);
}

std::vector<TypingRhythm::Snapshot::Bin> TypingRhythm::Snapshot::histogram(std::int64_t widthMs) const {
    if (widthMs <= 0) return {};
    const std::int64_t n = std::max<std::int64_t>(1, 2000 / widthMs);
    std::vector<Bin> bins(static_cast<std::size_t>(n));
    for (std::int64_t i = 0; i < n; ++i) bins[static_cast<std::size_t>(i)].lowerMs = i * widthMs;
    for (const auto& sample : samples) {
        const std::int64_t index = std::min(n - 1, std::max<std::int64_t>(sample.ms, 0) / widthMs);
        ++bins[static_cast<std::size_t>(index)].count;
    }
    return bins;
}

std::vector<TypingRhythm::Snapshot::Hour> TypingRhythm::Snapshot::hours(const Calendar& calendar) const {
    // Asking the calendar once per sample costs an ICU calendar each time,
    // milliseconds for a full store on the settings window's main thread.
    // Hour starts only grow with time, so when both ends of a quarter hour
    // share one start, every moment between them has it too; otherwise (a
    // zone whose hours begin off the quarter) each moment is asked alone.
    using Quarter = std::chrono::duration<std::int64_t, std::ratio<900>>;
    constexpr auto quarter = Quarter(1);
    std::map<Date, std::optional<Date>> quarterStarts;
    const auto startOf = [&](Date at) {
        const Date from = std::chrono::floor<Quarter>(at);
        auto [it, fresh] = quarterStarts.try_emplace(from);
        if (fresh) {
            const auto first = calendar.startOfHour(from);
            const auto last = calendar.startOfHour(from + quarter - Date::duration(1));
            if (first && first == last) it->second = first;
        }
        return it->second ? *it->second : calendar.startOfHour(at).value_or(at);
    };
    std::map<Date, std::vector<Sample>> groups;
    for (const auto& sample : samples) groups[startOf(sample.at)].push_back(sample);
    std::vector<Hour> result;
    result.reserve(groups.size());
    for (const auto& [start, group] : groups) {
        const Snapshot part{group};
        result.push_back(
            Hour{start, part.percentileMs(0.5).value_or(0), static_cast<std::int64_t>(group.size())});
    }
    return result;
}

std::string TypingRhythm::Snapshot::explanation() const {
    const auto p90 = percentileMs(percentile);
    if (!hasRhythm() || !p90) {
        return "样本还不到 " + std::to_string(minSamples) + " 个，先停 " +
               std::to_string(static_cast<int>(fallbackPause * 1000)) +
               " 毫秒。在Sorvane模式里多打几句，就会换成你自己的节奏。";
    }
    const std::string ms = std::to_string(*p90);
    if (*p90 < 300) return "你打得很快：p90 只有 " + ms + " 毫秒，停顿取下限 " + "300" + " 毫秒。";
    if (*p90 <= 1000) return "九成的按键间隔比 " + ms + " 毫秒短，停这么久多半是这句打完了，这时才去改写。";
    return "p90 是 " + ms + " 毫秒，停顿取上限 " + "1000" + " 毫秒，不会让你等得更久。";
}

TypingRhythm::Snapshot TypingRhythm::Snapshot::preview(Date now) {
    // A fixed-seed linear congruential generator, so previews and their
    // rendered pictures are the same on every run.
    std::uint64_t x = 42;
    auto draw = [&x] {
        x = x * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(x >> 11) * 0x1.0p-53;
    };
    const double nowSeconds = std::chrono::duration<double>(now.time_since_epoch()).count();
    Snapshot snapshot;
    for (int h = 23; h >= 0; --h) {
        if (draw() >= 0.6) continue;
        const int n = 20 + static_cast<int>(draw() * 60);
        const double hourStart = nowSeconds - static_cast<double>(h + 1) * 3600.0;
        const double factor = 0.8 + 0.5 * draw();
        for (int i = 0; i < n; ++i) {
            const double u = draw();
            const double ms = std::min(2000.0, factor * (120.0 - 180.0 * std::log(std::max(u, 1e-6))));
            const double at = hourStart + static_cast<double>(i) * 3600.0 / static_cast<double>(n);
            snapshot.samples.push_back(Sample{dateOfSeconds(at), static_cast<std::int64_t>(ms)});
        }
    }
    return snapshot;
}

// MARK: TypingRhythm

// One thread that writes the newest copy handed to it. A copy that is still
// waiting when a newer one comes is dropped: the newer holds all it held.
class TypingRhythm::Writer {
public:
    explicit Writer(TypingRhythm& owner) : owner_(owner), thread_([this] { run(); }) {}
    ~Writer() {
        {
            std::lock_guard guard(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();  // what is waiting is written first
    }

    void hand(Stored stored) {
        {
            std::lock_guard guard(mutex_);
            if (!waiting_ || waiting_->sequence < stored.sequence) waiting_ = std::move(stored);
        }
        changed_.notify_all();
    }

    void flush() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return !waiting_ && !writing_; });
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stopping_ || waiting_; });
            if (!waiting_) return;
            Stored stored = std::move(*waiting_);
            waiting_.reset();
            writing_ = true;
            lock.unlock();
            owner_.write(stored);
            lock.lock();
            writing_ = false;
            idle_.notify_all();
        }
    }

    TypingRhythm& owner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::condition_variable idle_;
    std::optional<Stored> waiting_;
    bool writing_ = false;
    bool stopping_ = false;
    std::thread thread_;  // last: starts once the rest is ready
};

TypingRhythm::TypingRhythm(std::shared_ptr<UserDefaults> defaults, DateSource date, Writes writes)
    : defaults_(std::move(defaults)), date_(std::move(date)) {
    if (writes == Writes::onWriterThread) writer_ = std::make_unique<Writer>(*this);
    if (!defaults_) return;
    const auto data = defaults_->data(defaultsKey);
    if (!data) return;
    const auto stored = nlohmann::json::parse(*data, nullptr, false);
    if (!stored.is_object() || !stored.contains("at") || !stored.contains("ms")) return;
    auto at = integers(stored["at"]);
    auto ms = integers(stored["ms"]);
    if (!at || !ms || at->size() != ms->size()) return;
    at_ = std::move(*at);
    ms_ = std::move(*ms);
}

void TypingRhythm::pruneLocked(Date now) {
    const std::int64_t cutoff = wholeSeconds(now - window);
    std::size_t old = 0;
    while (old < at_.size() && at_[old] < cutoff) ++old;
    const std::size_t overCap = at_.size() > maxSamples ? at_.size() - maxSamples : 0;
    const std::size_t drop = std::max(old, overCap);
    if (drop == 0) return;
    at_.erase(at_.begin(), at_.begin() + static_cast<std::ptrdiff_t>(drop));
    ms_.erase(ms_.begin(), ms_.begin() + static_cast<std::ptrdiff_t>(drop));
}

void TypingRhythm::record(double gapSeconds) {
    if (!(gapSeconds > 0) || !(gapSeconds <= longestGap)) return;  // also drops NaN
    std::optional<Stored> due;
    {
        std::lock_guard guard(lock_);
        const Date now = date_();
        at_.push_back(wholeSeconds(now));
        ms_.push_back(static_cast<std::int64_t>(std::llround(gapSeconds * 1000.0)));
        pruneLocked(now);
        cached_.reset();
        ++unsaved_;
        // The counter is read and reset under the same lock as the copy is
        // taken, so that threads recording at once save once per 50 gaps.
        if (unsaved_ >= saveEvery) due = takeForSaveLocked();
    }
    if (due) hand(std::move(*due));
}

void TypingRhythm::save() {
    std::optional<Stored> stored;
    {
        std::lock_guard guard(lock_);
        if (unsaved_ < 1) return;
        pruneLocked(date_());
        stored = takeForSaveLocked();
    }
    hand(std::move(*stored));
}

void TypingRhythm::hand(Stored stored) {
    if (writer_) {
        writer_->hand(std::move(stored));
    } else {
        write(stored);
    }
}

void TypingRhythm::flush() {
    if (writer_) writer_->flush();
}

TypingRhythm::~TypingRhythm() {
    writer_.reset();  // joins after the last copy is written, before the fields go
}

TypingRhythm::Stored TypingRhythm::takeForSaveLocked() {
    unsaved_ = 0;
    return Stored{at_, ms_, ++saveSequence_};
}

void TypingRhythm::write(const Stored& stored) {
    if (!defaults_) return;
    // Writes happen outside the sample lock; an older copy that loses the
    // race to a newer one is not written over it.
    std::lock_guard guard(writeLock_);
    if (stored.sequence <= lastWritten_) return;
    lastWritten_ = stored.sequence;
    try {
        const nlohmann::json value = {{"at", stored.at}, {"ms", stored.ms}};
        defaults_->setData(defaultsKey, value.dump());
    } catch (const nlohmann::json::exception&) {
        // Nothing is stored; the samples stay in memory for the next save.
    }
}

double TypingRhythm::pause() {
    std::lock_guard guard(lock_);
    const Date now = date_();
    if (cached_ && now - cached_->at < cacheLifetime) return cached_->pause;
    pruneLocked(now);
    const double value = pauseOfGaps(ms_);
    cached_ = Cached{now, value};
    return value;
}

TypingRhythm::Snapshot TypingRhythm::snapshot() {
    std::lock_guard guard(lock_);
    pruneLocked(date_());
    Snapshot snapshot;
    snapshot.samples.reserve(at_.size());
    for (std::size_t i = 0; i < at_.size(); ++i) {
        if (representable(at_[i])) snapshot.samples.push_back(Sample{dateOfSeconds(at_[i]), ms_[i]});
    }
    return snapshot;
}

std::size_t TypingRhythm::sampleCount() const {
    std::lock_guard guard(lock_);
    return ms_.size();
}

const std::string& TypingRhythm::rulesText() {
    static const std::string text = std::string(
                                        "只统计Sorvane模式里同一句话相邻两个键的间隔。删除键、每句的第一个键"
                                        "、超过 2 秒的停顿都不计入。") +
                                    "记录只保存在这台设备上，超过 24 小时的自动删除，最多保留 " +
                                    std::to_string(maxSamples) + " 个。";
    return text;
}

}  // namespace sorvane
