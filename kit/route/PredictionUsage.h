#pragma once
// Token counts that a finished request reports, and how a sent request ended.
#include <cstdint>
#include <limits>

namespace sorvane {

struct PredictionUsage {
    int64_t cacheHitTokens = 0;   // prompt tokens served from the service's prompt cache
    int64_t cacheMissTokens = 0;  // prompt tokens that were not
    int64_t outputTokens = 0;     // tokens of the completion

    // The counts come from the service; sums of absurd ones saturate at the
    // ends of the range instead of overflowing.
    int64_t promptTokens() const { return saturatingSum(cacheHitTokens, cacheMissTokens); }
    int64_t totalTokens() const { return saturatingSum(promptTokens(), outputTokens); }

    friend bool operator==(const PredictionUsage&, const PredictionUsage&) = default;

private:
    static int64_t saturatingSum(int64_t a, int64_t b) {
        int64_t sum = 0;
        if (!__builtin_add_overflow(a, b, &sum)) return sum;
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    }
};

class PredictionUsageEvent {
public:
    enum class Kind { completed, cancelled };

    // The request ended and the service reported its usage.
    static PredictionUsageEvent completed(PredictionUsage usage) {
        return PredictionUsageEvent(Kind::completed, usage);
    }
    // The request was given up.
    static PredictionUsageEvent cancelled() { return PredictionUsageEvent(Kind::cancelled, {}); }

    Kind kind() const { return kind_; }
    // The reported usage of a `completed` event; zero counts when cancelled.
    const PredictionUsage& usage() const { return usage_; }

    friend bool operator==(const PredictionUsageEvent&, const PredictionUsageEvent&) = default;

private:
    PredictionUsageEvent(Kind kind, PredictionUsage usage) : kind_(kind), usage_(usage) {}

    Kind kind_;
    PredictionUsage usage_;
};

}  // namespace sorvane
