#pragma once
// Per-key times of one benchmark pass and their percentiles, in
// microseconds, reported as Google Benchmark counters.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace sorvane::bench {

class KeyTimes {
public:
    using Clock = std::chrono::steady_clock;

    void add(Clock::duration d) { us_.push_back(std::chrono::duration<double, std::micro>(d).count()); }
    std::size_t count() const { return us_.size(); }

    // Nearest rank: p in (0, 1].
    double percentile(double p) const {
        if (us_.empty()) return 0;
        std::vector<double> sorted = us_;
        std::sort(sorted.begin(), sorted.end());
        const auto rank =
            static_cast<std::size_t>(std::max(1.0, p * static_cast<double>(sorted.size()) + 0.5));
        return sorted[std::min(sorted.size(), rank) - 1];
    }
    double p50() const { return percentile(0.5); }
    double p95() const { return percentile(0.95); }
    double max() const { return us_.empty() ? 0 : *std::max_element(us_.begin(), us_.end()); }

    // "<name>_p50_us" and "<name>_p95_us".
    void report(benchmark::State& state, const std::string& name) const {
        state.counters[name + "_p50_us"] = p50();
        state.counters[name + "_p95_us"] = p95();
    }

private:
    std::vector<double> us_;
};

// Times one call.
template <class F>
KeyTimes::Clock::duration timed(F&& f) {
    const auto t0 = KeyTimes::Clock::now();
    f();
    return KeyTimes::Clock::now() - t0;
}

// The threads of this process now.
inline int processThreads() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

inline double ratio(double a, double b) {
    return b > 0 ? a / b : 0;
}

// Runs `ours` and `baseline` once each per iteration of the state's loop,
// alternating which goes first so that neither always meets the other's
// caches or machine load, and reports both as "<name>_p50_us"/"_p95_us"
// with "ratio", ours over the baseline at the median.
template <class Ours, class Baseline>
void alternate(benchmark::State& state, const std::string& oursName, Ours&& ours,
               const std::string& baselineName, Baseline&& baseline) {
    KeyTimes oursTimes, baselineTimes;
    bool oursFirst = true;
    for (auto _ : state) {
        if (oursFirst) {
            oursTimes.add(timed(ours));
            baselineTimes.add(timed(baseline));
        } else {
            baselineTimes.add(timed(baseline));
            oursTimes.add(timed(ours));
        }
        oursFirst = !oursFirst;
    }
    oursTimes.report(state, oursName);
    baselineTimes.report(state, baselineName);
    state.counters["ratio"] = ratio(oursTimes.p50(), baselineTimes.p50());
}

}  // namespace sorvane::bench
