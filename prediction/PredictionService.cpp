#include "prediction/PredictionService.h"

#include <future>
#include <nlohmann/json.hpp>

#include "kit/account/AccountAPI.h"
#include "kit/route/Secrets.h"
#include "platform/Text.h"
#include "prediction/PredictionPrompt.h"
#include "prediction/PredictionText.h"
#include "prediction/SSEParser.h"
#include "prediction/StreamingReply.h"

namespace sorvane {

struct PredictionService::Control {
    std::shared_ptr<SuggestionTask> task;  // none for a direct request
    HttpCancellation http;

    bool isCancelled() const { return task && task->isCancelled(); }
};

namespace {

// An error body is read only this far (in Characters) before it is mapped,
// and never kept past a byte count that holds those Characters in any
// ordinary text.
constexpr std::size_t errorBodyLimit = 401;
constexpr std::size_t errorBodyByteLimit = 64 * 1024;
// How long a transfer may run on after "[DONE]" before it is ended.
constexpr std::chrono::milliseconds endOfStreamGrace{500};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The body of a refusal, kept only as far as its mapping reads it.
class ErrorBody {
public:
    // False once enough is held: the rest of the transfer is not needed.
    bool append(std::string_view line) {
        // Enough for the mapping's 300 Characters, however long each one is,
        // and no more.
        text_.append(line.substr(0, errorBodyByteLimit - std::min(text_.size(), errorBodyByteLimit)));
        if (text_.size() >= errorBodyByteLimit) return false;
        // Counting walks the whole body (one Character may span every line
        // so far), so it is done only each time the body has doubled: all
        // counts together read it about twice.
        if (text_.size() >= countAt_) {
            if (Text::characterCount(text_) >= errorBodyLimit) return false;
            countAt_ = 2 * text_.size();
        }
        return true;
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
    std::size_t countAt_ = errorBodyLimit;
};

}  // namespace

PredictionService::PredictionService(RouteResolver routeResolver, RejectionHandler onSubscriptionRejected,
                                     UsageHandler onUsage, DebounceResolver debounceResolver)
    : PredictionService(std::move(routeResolver), std::move(onSubscriptionRejected), std::move(onUsage),
                        std::move(debounceResolver), Session{}) {}

PredictionService::PredictionService(RouteResolver routeResolver, RejectionHandler onSubscriptionRejected,
                                     UsageHandler onUsage, DebounceResolver debounceResolver, Session session)
    : routeResolver_(std::move(routeResolver)),
      onSubscriptionRejected_(std::move(onSubscriptionRejected)),
      onUsage_(std::move(onUsage)),
      debounceResolver_(std::move(debounceResolver)),
      session_(std::move(session)) {
    if (!session_.client) session_.client = &CurlHttpClient::shared();
    if (!session_.resolveKey) {
        session_.resolveKey = []() -> std::optional<std::string> {
            if (auto resolved = Secrets::resolveDeepSeekAPIKey()) return resolved->key;
            return std::nullopt;
        };
    }
}

PredictionService::~PredictionService() {
    cancelInFlight();
}

bool PredictionService::shutdown(std::chrono::milliseconds within) {
    cancelInFlight();
    return executor_.stop(std::chrono::steady_clock::now() + within);
}

std::shared_ptr<SuggestionTask> PredictionService::schedule(const std::string& text,
                                                            PartialHandler onPartial) {
    std::lock_guard lock(mutex_);
    if (inFlight_) {
        inFlight_->cancel();
        inFlight_.reset();
    }
    if (!PredictionText::hasAtLeastWords(text, minWords_)) return nullptr;

    // The pause runs from now: read when the worker gets to the task, a worker
    // busy with the previous request would add its whole wait to this one.
    const double pause = debounceResolver_ ? debounceResolver_() : debounce_;
    auto at = std::chrono::steady_clock::now();
    if (pause > 0) at += std::chrono::nanoseconds(static_cast<std::int64_t>(pause * 1e9));

    auto task = std::make_shared<SuggestionTask>();
    auto control = std::make_shared<Control>();
    control->task = task;
    // A cancelled task must end at once, whether it is waiting out its pause
    // (the executor is woken to let it through) or on the network.
    task->setCancelHandler([this, weak = std::weak_ptr<Control>(control)] {
        if (auto c = weak.lock()) c->http.cancel();
        executor_.wake();
    });
    inFlight_ = task;
    executor_.postAt(
        at,
        [this, task, control = std::move(control), text, onPartial = std::move(onPartial)] {
            if (task->isCancelled()) {
                task->finish(unexpected(SuggestionFailure(CancellationError{})));
                return;
            }
            auto result = run(text, onPartial, *control);
            if (result) {
                task->finish(std::move(result->suggestion));
            } else {
                task->finish(unexpected(result.error()));
            }
        },
        [task] { return task->isCancelled(); });
    return task;
}

void PredictionService::cancelInFlight() {
    std::lock_guard lock(mutex_);
    if (inFlight_) {
        inFlight_->cancel();
        inFlight_.reset();
    }
}

std::optional<Suggestion> PredictionService::prefixSuggestion(const Suggestion& lastSuggestion,
                                                              const std::string& newText) const {
    return PredictionText::prefixSuggestion(lastSuggestion, newText);
}

Expected<PredictionService::Detailed, SuggestionFailure> PredictionService::requestDetailed(
    const std::string& text, const PartialHandler& onPartial) {
    if (executor_.isCurrent()) {
        Control control;
        return run(text, onPartial, control);
    }
    std::promise<Expected<Detailed, SuggestionFailure>> promise;
    auto future = promise.get_future();
    executor_.post([&] {
        Control control;
        promise.set_value(run(text, onPartial, control));
    });
    return future.get();
}

SuggestionResult PredictionService::request(const std::string& text, const PartialHandler& onPartial) {
    auto detailed = requestDetailed(text, onPartial);
    if (!detailed) return unexpected(detailed.error());
    return std::move(detailed->suggestion);
}

HttpRequest PredictionService::buildRequest(const std::string& text, const PredictionRoute& route,
                                            OutputFormat format) const {
    const bool ownKey = route.kind() == PredictionRoute::Kind::ownKey;
    HttpRequest request;
    request.method = "POST";
    request.url =
        AccountAPI::appendingPathComponent(ownKey ? session_.baseURL : route.baseURL(), "chat/completions");
    request.requestTimeout = session_.requestTimeout;
    request.resourceTimeout = session_.resourceTimeout;
    request.redirects = RedirectPolicy::never;
    request.headers = {{"Content-Type", "application/json"}, {"Accept", "text/event-stream"}};
    if (ownKey) {
        request.headers.emplace_back("Authorization", "Bearer " + route.apiKey());
    } else {
        for (const auto& [name, value] : route.headers()) request.headers.emplace_back(name, value);
    }

    nlohmann::json body = {
        {"model", model_},
        {"thinking", {{"type", "disabled"}}},
        {"stream", true},
        {"temperature", temperature_},
        {"max_tokens", maxTokens_},
        {"messages",
         nlohmann::json::array({
             {{"role", "system"},
              {"content", std::string(PredictionPrompt::system(format).value_or(PredictionPrompt::json))}},
             {{"role", "user"}, {"content", PredictionPrompt::userMessage(text)}},
         })},
        {"response_format", {{"type", "json_object"}}},
    };
    // Usage in the stream is asked of DeepSeek directly; the proxy counts on
    // its own side.
    if (ownKey) body["stream_options"] = {{"include_usage", true}};
    // Typed text that is not valid UTF-8 must not stop the request.
    request.body = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return request;
}

void PredictionService::clearCache() {
    std::lock_guard lock(mutex_);
    cache_.clear();
}

void PredictionService::resetCounters() {
    networkRequestCount_ = 0;
}

std::size_t PredictionService::cachedCount() const {
    std::lock_guard lock(mutex_);
    return cache_.size();
}

Expected<PredictionService::Detailed, SuggestionFailure> PredictionService::run(
    const std::string& text, const PartialHandler& onPartial, Control& control) {
    const std::string key = PredictionText::cacheKey(text);
    if (PredictionText::wordCount(key) < minWords_)
        return unexpected(SuggestionFailure(PredictionError::tooShort()));
    const auto start = std::chrono::steady_clock::now();

    {
        std::lock_guard lock(mutex_);
        if (auto hit = cache_.value(key)) {
            const double elapsed = secondsSince(start);
            Metrics metrics;
            metrics.firstDeltaLatency = elapsed;
            metrics.firstDisplayableLatency = elapsed;
            metrics.totalLatency = elapsed;
            metrics.cacheHit = true;
            metrics.rawOutput = hit->normalized + hit->continuation;
            metrics.format = format_;
            return Detailed{std::move(*hit), std::move(metrics)};
        }
    }

    if (control.isCancelled()) return unexpected(SuggestionFailure(CancellationError{}));
    std::optional<PredictionRoute> route = routeResolver_ ? routeResolver_() : std::nullopt;
    if (!route) return unexpected(SuggestionFailure(PredictionError::missingAPIKey()));
    return send(key, onPartial, control, *route, start);
}

Expected<PredictionService::Detailed, SuggestionFailure> PredictionService::send(
    const std::string& key, const PartialHandler& onPartial, Control& control, const PredictionRoute& route,
    std::chrono::steady_clock::time_point start) {
    const HttpRequest httpRequest = buildRequest(key, route, format_);
    ++networkRequestCount_;

    auto report = [&](const PredictionUsageEvent& event) {
        if (onUsage_) onUsage_(route, event);
    };
    auto cancelled = [&]() -> Expected<Detailed, SuggestionFailure> {
        return unexpected(SuggestionFailure(CancellationError{}));
    };

    StreamingReply reply;
    Metrics metrics;
    metrics.format = format_;
    int status = 0;
    ErrorBody errorBody;
    // We end the transfer ourselves once enough of an error body has been
    // read; the transport then reports a cancellation that is none. After
    // "[DONE]" the transfer is given a moment to end by itself, so that its
    // connection stays open for the next request; a server that holds the
    // stream open past that loses the connection, not the reply.
    bool stoppedByUs = false;
    auto stop = [&] {
        stoppedByUs = true;
        control.http.cancel();
    };

    auto onHead = [&](const HttpResponse& head) { status = head.status; };
    auto onLine = [&](std::string_view line) {
        if (stoppedByUs || control.isCancelled()) return;
        if (status != 200) {
            if (!errorBody.append(line)) stop();
            return;
        }
        if (reply.isDone()) return;
        const bool hadText = !reply.text().empty();
        std::optional<Suggestion> partial = reply.take(SSEParser::parse(line));
        if (reply.isDone()) control.http.cancelAfter(endOfStreamGrace);
        if (!hadText && !reply.text().empty()) metrics.firstDeltaLatency = secondsSince(start);
        if (!partial || control.isCancelled()) return;
        if (!metrics.firstDisplayableLatency) metrics.firstDisplayableLatency = secondsSince(start);
        if (onPartial) onPartial(*partial);
    };
    // A refusal of the route is news for the route's owner even when the
    // request is given up while the body is still being read.
    auto refusal = [&] {
        PredictionError error = HttpRefusal::error(status, errorBody.text(), route, session_.resolveKey);
        if (error.isRouteRejection() && onSubscriptionRejected_) onSubscriptionRejected_(error);
        return error;
    };

    auto response = session_.client->stream(httpRequest, onHead, onLine, &control.http);
    // Once "[DONE]" is in, the reply is whole: a transfer that then fails to
    // end cleanly (cancelled, cut, stalled) only loses its connection.
    const bool ended = response || (stoppedByUs && response.error().code == URLError::cancelled) ||
                       (status == 200 && reply.isDone());
    if (!ended) {
        if (control.isCancelled() || response.error().code == URLError::cancelled) {
            if (status != 0 && status != 200) refusal();
            report(PredictionUsageEvent::cancelled());
            return cancelled();
        }
        // Time-outs, lost connections and over-long replies go to the caller
        // as they are.
        return unexpected(SuggestionFailure(response.error()));
    }

    if (status != 200) {
        PredictionError error = refusal();
        if (control.isCancelled()) {
            report(PredictionUsageEvent::cancelled());
            return cancelled();
        }
        return unexpected(SuggestionFailure(std::move(error)));
    }

    // The stream has ended (with or without "[DONE]"). Exactly one usage
    // record per request: a cancellation that lands now still counts the
    // tokens the service reported, and is not reported a second time.
    if (control.isCancelled()) {
        report(reply.usage() ? PredictionUsageEvent::completed(*reply.usage())
                             : PredictionUsageEvent::cancelled());
        return cancelled();
    }
    if (reply.usage()) report(PredictionUsageEvent::completed(*reply.usage()));
    return finishReply(key, reply, std::move(metrics), start);
}

Expected<PredictionService::Detailed, SuggestionFailure> PredictionService::finishReply(
    const std::string& key, const StreamingReply& reply, Metrics metrics,
    std::chrono::steady_clock::time_point start) {
    metrics.totalLatency = secondsSince(start);
    metrics.truncated = reply.truncated();
    metrics.rawOutput = reply.text();
    metrics.usage = reply.usage();
    auto suggestion = StreamingReply::finalSuggestion(reply.text());
    if (!suggestion) return unexpected(SuggestionFailure(suggestion.error()));

    {
        std::lock_guard lock(mutex_);
        cache_.insert(suggestion.value(), key);
    }
    return Detailed{std::move(suggestion.value()), std::move(metrics)};
}

}  // namespace sorvane
