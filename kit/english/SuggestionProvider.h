#pragma once
// Where the English composer gets its rewrites from: a provider that, given
// the typed text, waits for its own pause, streams partial suggestions and
// ends with a final one or a failure.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "kit/english/Suggestion.h"
#include "kit/route/PredictionError.h"
#include "platform/Expected.h"
#include "platform/HttpClient.h"

namespace sorvane {

// A request given up because a newer one replaced it or its caller cancelled
// it; callers drop it silently.
struct CancellationError {
    friend bool operator==(const CancellationError&, const CancellationError&) = default;
};

// The provider's own failures, the transport's failures (time-outs, lost
// connections, passed through unchanged) and cancellation.
using SuggestionFailure = std::variant<CancellationError, PredictionError, URLError>;
using SuggestionResult = Expected<Suggestion, SuggestionFailure>;

inline bool isCancellation(const SuggestionFailure& failure) {
    return std::holds_alternative<CancellationError>(failure);
}

// One scheduled request. Thread-safe; shared by the provider that finishes it
// and the caller that waits for it or cancels it.
class SuggestionTask {
public:
    using FinishHandler = std::function<void(const SuggestionResult&)>;

    SuggestionTask() = default;
    SuggestionTask(const SuggestionTask&) = delete;
    SuggestionTask& operator=(const SuggestionTask&) = delete;

    // Cooperative: the provider ends the task with CancellationError at its
    // next check, at once when it is waiting or on the network.
    void cancel();
    bool isCancelled() const;

    bool isFinished() const;
    // Called once with the result, on the thread that finishes the task; at
    // once on this thread when the task has already finished.
    void onFinish(FinishHandler handler);
    // Blocks until the task has finished.
    SuggestionResult wait() const;
    // None when the task is still running after `timeout`.
    std::optional<SuggestionResult> waitFor(std::chrono::milliseconds timeout) const;

    // For providers: the first result wins; later ones are ignored.
    void finish(SuggestionResult result);
    // For providers: run on cancel() (at once when already cancelled), to end
    // a wait or a transfer.
    void setCancelHandler(std::function<void()> handler);

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable finished_;
    bool cancelled_ = false;
    std::optional<SuggestionResult> result_;
    std::vector<FinishHandler> handlers_;
    std::function<void()> cancelHandler_;
};

class SuggestionProvider {
public:
    // May be called from any thread, any number of times, with the suggestion
    // so far.
    using PartialHandler = std::function<void(const Suggestion&)>;

    virtual ~SuggestionProvider() = default;

    // Cancels what is in flight, then starts a request for the text after the
    // provider's own pause. No task when no request is made (too few words).
    virtual std::shared_ptr<SuggestionTask> schedule(const std::string& text, PartialHandler onPartial) = 0;
    virtual void cancelInFlight() = 0;
    // The last suggestion re-split at what has been typed, while the new text
    // still runs along it.
    virtual std::optional<Suggestion> prefixSuggestion(const Suggestion& lastSuggestion,
                                                       const std::string& newText) const = 0;
};

}  // namespace sorvane
