#pragma once
// The client of the chat-completion service that rewrites the sentence typed
// in English mode and continues it. One per process. It waits for a pause,
// looks in its cache, asks where to send the request, streams the reply and
// hands growing partial suggestions to the caller. At most one request is in
// flight: each new schedule cancels the last.
//
// The pause is read when a request is scheduled, on the caller's thread; the
// rest runs on the service's own serial executor (one worker thread): the
// route resolver and the request itself. The partial,
// refusal and usage callbacks are called there, synchronously and in stream
// order; callers that touch the interface hop to the main thread themselves.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "kit/english/Suggestion.h"
#include "kit/english/SuggestionProvider.h"
#include "kit/route/PredictionError.h"
#include "kit/route/PredictionRoute.h"
#include "kit/route/PredictionUsage.h"
#include "platform/Expected.h"
#include "platform/HttpClient.h"
#include "prediction/HttpRefusal.h"
#include "prediction/LRUCache.h"
#include "prediction/OutputFormat.h"
#include "prediction/SerialExecutor.h"

namespace sorvane {

class StreamingReply;

class PredictionService final : public SuggestionProvider {
public:
    using RouteResolver = std::function<std::optional<PredictionRoute>()>;
    using RejectionHandler = std::function<void(const PredictionError&)>;
    using UsageHandler = std::function<void(const PredictionRoute&, const PredictionUsageEvent&)>;
    // The pause before each request, in seconds.
    using DebounceResolver = std::function<double()>;

    // Measured beside each result; latencies in seconds on a monotonic clock.
    struct Metrics {
        std::optional<double> firstDeltaLatency;        // to the first non-empty delta
        std::optional<double> firstDisplayableLatency;  // to the first partial handed over
        double totalLatency = 0;
        bool cacheHit = false;
        bool truncated = false;  // a frame ended for "length"
        std::string rawOutput;   // the whole reply text
        OutputFormat format = OutputFormat::json;
        std::optional<PredictionUsage> usage;
    };

    struct Detailed {
        Suggestion suggestion;
        Metrics metrics;
    };

    // The transport. The defaults are the production ones; tests point the
    // own-key base at a loopback server and shorten the time-outs.
    struct Session {
        HttpClient* client = nullptr;  // none: CurlHttpClient::shared()
        std::string baseURL = defaultBaseURL;
        // Ends a request that receives nothing for this long.
        std::chrono::milliseconds requestTimeout{10'000};
        // Bounds a whole request.
        std::chrono::milliseconds resourceTimeout{30'000};
        // The DeepSeek key hidden in error bodies; none: the key store's
        // resolution (environment, then keychain).
        HttpRefusal::DeepSeekKeyResolver resolveKey;
    };

    static constexpr const char* defaultBaseURL = deepSeekBaseURL;

    // `onUsage` may be empty (nothing is told); without a debounce resolver
    // the fixed `debounce` is the pause.
    PredictionService(RouteResolver routeResolver, RejectionHandler onSubscriptionRejected,
                      UsageHandler onUsage = {}, DebounceResolver debounceResolver = {});
    PredictionService(RouteResolver routeResolver, RejectionHandler onSubscriptionRejected,
                      UsageHandler onUsage, DebounceResolver debounceResolver, Session session);
    // Cancels what is in flight and waits for the executor to wind down.
    ~PredictionService() override;
    PredictionService(const PredictionService&) = delete;
    PredictionService& operator=(const PredictionService&) = delete;

    // What the destructor does, at quit, waiting only `within`: true once the
    // executor has ended. False while a request is still inside a call that
    // cannot be cancelled (the keychain); the service must then never be
    // destroyed, since its destructor would wait for that call.
    bool shutdown(std::chrono::milliseconds within);

    // SuggestionProvider. Thread-safe.
    std::shared_ptr<SuggestionTask> schedule(const std::string& text, PartialHandler onPartial) override;
    void cancelInFlight() override;
    std::optional<Suggestion> prefixSuggestion(const Suggestion& lastSuggestion,
                                               const std::string& newText) const override;

    // One request without the pause, run on the executor; blocks the caller.
    // Never call it from one of the service's own callbacks.
    Expected<Detailed, SuggestionFailure> requestDetailed(const std::string& text,
                                                          const PartialHandler& onPartial);
    SuggestionResult request(const std::string& text, const PartialHandler& onPartial);

    // The request for a text (already normalized to its cache key) on a route.
    HttpRequest buildRequest(const std::string& text, const PredictionRoute& route,
                             OutputFormat format) const;

    void clearCache();
    void resetCounters();
    std::size_t cachedCount() const;

    const std::string& model() const { return model_; }
    OutputFormat format() const { return format_; }
    double debounce() const { return debounce_; }
    std::size_t minWords() const { return minWords_; }
    double temperature() const { return temperature_; }
    int maxTokens() const { return maxTokens_; }
    const std::string& baseURL() const { return session_.baseURL; }
    // In seconds.
    double requestTimeout() const { return session_.requestTimeout.count() / 1000.0; }
    int networkRequestCount() const { return networkRequestCount_.load(); }

private:
    // A task's cancellation as the request loop sees it.
    struct Control;

    Expected<Detailed, SuggestionFailure> run(const std::string& text, const PartialHandler& onPartial,
                                              Control& control);
    Expected<Detailed, SuggestionFailure> send(const std::string& key, const PartialHandler& onPartial,
                                               Control& control, const PredictionRoute& route,
                                               std::chrono::steady_clock::time_point start);
    // The suggestion of a whole reply, with its figures, kept in the cache.
    Expected<Detailed, SuggestionFailure> finishReply(const std::string& key, const StreamingReply& reply,
                                                      Metrics metrics,
                                                      std::chrono::steady_clock::time_point start);

    const std::string model_ = "deepseek-v4-flash-vision-exp";
    const OutputFormat format_ = OutputFormat::json;
    const double debounce_ = 0.3;
    const std::size_t minWords_ = 2;
    const double temperature_ = 0.3;
    const int maxTokens_ = 120;

    RouteResolver routeResolver_;
    RejectionHandler onSubscriptionRejected_;
    UsageHandler onUsage_;
    DebounceResolver debounceResolver_;
    Session session_;

    std::atomic<int> networkRequestCount_{0};
    mutable std::mutex mutex_;  // guards cache_ and inFlight_
    LRUCache<Suggestion> cache_{128};
    std::shared_ptr<SuggestionTask> inFlight_;

    // Last, so that it stops (running what is queued) before the rest goes.
    SerialExecutor executor_;
};

}  // namespace sorvane
