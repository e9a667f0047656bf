#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <thread>

#include "kit/route/MacBillingState.h"
#include "kit/route/MacRouting.h"
#include "prediction/PredictionPrompt.h"
#include "prediction/PredictionService.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TempHome.h"

using namespace std::chrono_literals;
using nlohmann::json;
using sorvane::CancellationError;
using sorvane::HttpCancellation;
using sorvane::HttpClient;
using sorvane::HttpRequest;
using sorvane::HttpResponse;
using sorvane::MacBillingState;
using sorvane::PredictionError;
using sorvane::PredictionRoute;
using sorvane::PredictionService;
using sorvane::PredictionUsage;
using sorvane::PredictionUsageEvent;
using sorvane::Suggestion;
using sorvane::SuggestionFailure;
using sorvane::SuggestionResult;
using sorvane::URLError;
using sorvane::testing::LoopbackServer;
using sorvane::testing::waitUntil;

namespace {

constexpr const char* testKey = "sk-test-0123456789";

std::string frame(std::string_view content) {
    json j = {{"choices", json::array({{{"delta", {{"content", content}}}}})}};
    return "data: " + j.dump() + "\n\n";
}

std::string usageFrame(int promptTokens, int hitTokens, int completionTokens) {
    json j = {{"choices", json::array()},
              {"usage",
               {{"prompt_tokens", promptTokens},
                {"prompt_cache_hit_tokens", hitTokens},
                {"completion_tokens", completionTokens}}}};
    return "data: " + j.dump() + "\n\n";
}

// A reply that grows token by token, as DeepSeek streams it.
std::vector<std::string> recordedStream() {
    return {frame(R"({"normalized": "I think)"), frame(R"( this design is", "continuation": "a bit)"),
            frame(R"( over-engineered."})"), usageFrame(100, 64, 20), "data: [DONE]\n\n"};
}

const Suggestion finalOfRecorded{"I think this design is", " a bit over-engineered."};

struct Received {
    std::string path;
    httplib::Headers headers;
    json body;
    std::chrono::steady_clock::time_point at;
    int port = 0;  // the client's side of the connection

    std::string userText() const { return body["messages"][1]["content"].get<std::string>(); }
};

// A stand-in for the chat-completion service on loopback.
class FakeCompletions {
public:
    using Handler = std::function<void(const Received&, httplib::Response&)>;

    explicit FakeCompletions(Handler handler) : handler_(std::move(handler)) {
        server_->Post(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
            Received received{req.path, req.headers, json::parse(req.body, nullptr, false),
                              std::chrono::steady_clock::now(), req.remote_port};
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(received);
            }
            handler_(received, res);
        });
        server_.start();
    }

    std::string baseURL() const { return server_.baseURL(); }
    LoopbackServer& server() { return server_; }
    std::vector<Received> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    // Sends the pieces as flushed chunks; hangs up instead of ending when asked.
    static void stream(httplib::Response& res, std::vector<std::string> pieces, bool hangUp = false) {
        res.set_chunked_content_provider("text/event-stream",
                                         [pieces, hangUp](size_t, httplib::DataSink& sink) {
                                             for (const auto& piece : pieces) {
                                                 if (!sink.write(piece.data(), piece.size()))
                                                     return false;  // the client has gone
                                                 std::this_thread::sleep_for(2ms);
                                             }
                                             if (hangUp) return false;
                                             sink.done();
                                             return true;
                                         });
    }

private:
    Handler handler_;
    std::mutex mutex_;
    std::vector<Received> requests_;
    LoopbackServer server_;
};

// What the service told its callbacks.
struct Observed {
    std::mutex mutex;
    std::vector<Suggestion> partials;
    std::vector<PredictionError> rejections;
    std::vector<std::pair<PredictionRoute, PredictionUsageEvent>> usage;

    std::vector<Suggestion> partialsNow() {
        std::lock_guard lock(mutex);
        return partials;
    }
    auto usageNow() {
        std::lock_guard lock(mutex);
        return usage;
    }
};

std::unique_ptr<PredictionService> makeService(Observed& observed, const std::string& baseURL,
                                               std::optional<PredictionRoute> route, double pause = 0.02,
                                               std::chrono::milliseconds requestTimeout = 10s,
                                               PredictionService::RejectionHandler onRejected = {},
                                               HttpClient* client = nullptr) {
    PredictionService::Session session;
    session.client = client;
    session.baseURL = baseURL;
    session.requestTimeout = requestTimeout;
    session.resolveKey = [] { return std::optional<std::string>(testKey); };
    return std::make_unique<PredictionService>(
        [route] { return route; },
        [&observed, onRejected = std::move(onRejected)](const PredictionError& e) {
            {
                std::lock_guard lock(observed.mutex);
                observed.rejections.push_back(e);
            }
            if (onRejected) onRejected(e);
        },
        [&observed](const PredictionRoute& r, const PredictionUsageEvent& e) {
            std::lock_guard lock(observed.mutex);
            observed.usage.emplace_back(r, e);
        },
        [pause] { return pause; }, session);
}

PredictionService::PartialHandler recordInto(Observed& observed) {
    return [&observed](const Suggestion& s) {
        std::lock_guard lock(observed.mutex);
        observed.partials.push_back(s);
    };
}

SuggestionResult finished(const std::shared_ptr<sorvane::SuggestionTask>& task) {
    auto result = task->waitFor(10s);
    if (!result) ADD_FAILURE() << "task did not finish";
    return result.value_or(SuggestionResult(sorvane::unexpected(SuggestionFailure(CancellationError{}))));
}

template <class T>
const T* failureAs(const SuggestionResult& result) {
    if (result) return nullptr;
    return std::get_if<T>(&result.error());
}

PredictionRoute ownKeyRoute() {
    return PredictionRoute::ownKey(testKey);
}

PredictionRoute proxyRoute(const std::string& base) {
    return PredictionRoute::subscription(
        base + "/brindor/api/sorvane/v1",
        {{"X-Device-ID", "device-42"}, {"X-Client-App", "sorvane"}, {"X-Client-Platform", "macos"}});
}

}  // namespace

TEST(PredictionService, StreamsPartialsInOrderThenFinalAndUsageOnTheOwnKeyRoute) {
    FakeCompletions fake(
        [](const Received&, httplib::Response& res) { FakeCompletions::stream(res, recordedStream()); });
    Observed observed;
    auto service = makeService(observed, fake.baseURL(), ownKeyRoute(), 0.15);

    auto scheduledAt = std::chrono::steady_clock::now();
    auto task = service->schedule("wo   juede\tthis design is", recordInto(observed));
    ASSERT_NE(task, nullptr);
    auto result = finished(task);

    ASSERT_TRUE(result);
    EXPECT_EQ(*result, finalOfRecorded);
    EXPECT_EQ(
        observed.partialsNow(),
        (std::vector<Suggestion>{{"I think", ""}, {"I think this design is", " a bit"}, finalOfRecorded}));
    auto usage = observed.usageNow();
    ASSERT_EQ(usage.size(), 1u);
    EXPECT_EQ(usage[0].first, ownKeyRoute());
    EXPECT_EQ(usage[0].second, PredictionUsageEvent::completed(PredictionUsage{64, 36, 20}));
    EXPECT_EQ(service->networkRequestCount(), 1);
    EXPECT_EQ(service->cachedCount(), 1u);

    auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 1u);
    const Received& r = requests[0];
    EXPECT_GE(r.at - scheduledAt, 150ms);  // the pause came first
    EXPECT_EQ(r.path, "/chat/completions");
    EXPECT_EQ(r.headers.find("Content-Type")->second, "application/json");
    EXPECT_EQ(r.headers.find("Accept")->second, "text/event-stream");
    EXPECT_EQ(r.headers.find("Authorization")->second, std::string("Bearer ") + testKey);
    EXPECT_EQ(r.headers.count("Expect"), 0u);
    const json expected = {
        {"model", "deepseek-v4-flash-vision-exp"},
        {"thinking", {{"type", "disabled"}}},
        {"stream", true},
        {"temperature", 0.3},
        {"max_tokens", 120},
        {"messages",
         json::array({{{"role", "system"}, {"content", std::string(sorvane::PredictionPrompt::json)}},
                      {{"role", "user"}, {"content", "Input: wo juede this design is\nOutput:"}}})},
        {"response_format", {{"type", "json_object"}}},
        {"stream_options", {{"include_usage", true}}},
    };
    EXPECT_EQ(r.body, expected);
}

TEST(PredictionService, ProxyRouteCarriesItsHeadersAndNoAuthorization) {
    FakeCompletions fake(
        [](const Received&, httplib::Response& res) { FakeCompletions::stream(res, recordedStream()); });
    Observed observed;
    // The own-key base points elsewhere: the proxy route brings its own.
    auto service = makeService(observed, "http://127.0.0.1:1", proxyRoute(fake.baseURL()));
    auto result = finished(service->schedule("can you bangwo check the", recordInto(observed)));
    ASSERT_TRUE(result);

    auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 1u);
    const Received& r = requests[0];
    EXPECT_EQ(r.path, "/brindor/api/sorvane/v1/chat/completions");
    EXPECT_EQ(r.headers.find("X-Device-ID")->second, "device-42");
    EXPECT_EQ(r.headers.find("X-Client-App")->second, "sorvane");
    EXPECT_EQ(r.headers.find("X-Client-Platform")->second, "macos");
    EXPECT_EQ(r.headers.find("Content-Type")->second, "application/json");
    EXPECT_EQ(r.headers.find("Accept")->second, "text/event-stream");
    EXPECT_EQ(r.headers.count("Authorization"), 0u);
    EXPECT_FALSE(r.body.contains("stream_options"));
    EXPECT_EQ(r.userText(), "Input: can you bangwo check the\nOutput:");
}

TEST(PredictionService, SameWordsAgainAreACacheHitWithoutNetwork) {
    FakeCompletions fake(
        [](const Received&, httplib::Response& res) { FakeCompletions::stream(res, recordedStream()); });
    Observed observed;
    auto service = makeService(observed, fake.baseURL(), ownKeyRoute());
    ASSERT_TRUE(finished(service->schedule("wo juede this", recordInto(observed))));
    const auto partialsBefore = observed.partialsNow().size();

    auto again = service->requestDetailed("  wo\t juede   this ", recordInto(observed));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->suggestion, finalOfRecorded);
    EXPECT_TRUE(again->metrics.cacheHit);
    EXPECT_FALSE(again->metrics.usage);
    EXPECT_EQ(again->metrics.rawOutput, finalOfRecorded.full());
    EXPECT_EQ(again->metrics.totalLatency, *again->metrics.firstDisplayableLatency);

    auto scheduled = finished(service->schedule("wo juede  this", recordInto(observed)));
    ASSERT_TRUE(scheduled);
    EXPECT_EQ(*scheduled, finalOfRecorded);

    EXPECT_EQ(fake.requests().size(), 1u);
    EXPECT_EQ(service->networkRequestCount(), 1);
    EXPECT_EQ(observed.partialsNow().size(), partialsBefore);

    service->clearCache();
    EXPECT_EQ(service->cachedCount(), 0u);
    ASSERT_TRUE(service->request("wo juede this", nullptr));
    EXPECT_EQ(fake.requests().size(), 2u);
    service->resetCounters();
    EXPECT_EQ(service->networkRequestCount(), 0);
}

TEST(PredictionService, ScheduleWithinThePauseCancelsTheWaitingRequest) {
    FakeCompletions fake(
        [](const Received&, httplib::Response& res) { FakeCompletions::stream(res, recordedStream()); });
    Observed observed;
    auto service = makeService(observed, fake.baseURL(), ownKeyRoute(), 1.0);

    auto first = service->schedule("i enter the", recordInto(observed));
    auto cancelledAt = std::chrono::steady_clock::now();
    auto second = service->schedule("i enter the chufang", recordInto(observed));

    auto firstResult = finished(first);
    EXPECT_LT(std::chrono::steady_clock::now() - cancelledAt, 500ms) << "not after its pause of 1 s";
    EXPECT_TRUE(failureAs<CancellationError>(firstResult));
    ASSERT_TRUE(finished(second));

    auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].userText(), "Input: i enter the chufang\nOutput:");
    // A request never sent tells nothing about usage.
    EXPECT_EQ(observed.usageNow().size(), 1u);
}

TEST(PredictionService, OneWordMakesNoTaskButStillCancels) {
    FakeCompletions fake(
        [](const Received&, httplib::Response& res) { FakeCompletions::stream(res, recordedStream()); });
    Observed observed;
    auto service = makeService(observed, fake.baseURL(), ownKeyRoute(), 0.3);
    auto first = service->schedule("two words", nullptr);
    EXPECT_EQ(service->schedule("  one  ", nullptr), nullptr);
    EXPECT_TRUE(failureAs<CancellationError>(finished(first)));

    auto direct = service->request("one", nullptr);
    ASSERT_TRUE(failureAs<PredictionError>(direct));
    EXPECT_EQ(*failureAs<PredictionError>(direct), PredictionError::tooShort());
    EXPECT_TRUE(fake.requests().empty());
}

TEST(PredictionService, NewScheduleMidStreamEndsTheOldTransferAtOnce) {
    FakeCompletions fake([&](const Received& r, httplib::Response& res) {
        if (r.userText().find("stalls") != std::string::npos) {
            res.set_chunked_content_provider("text/event-stream", [&](size_t, httplib::DataSink& sink) {
                auto first = frame(R"({"normalized": "Old)");
                sink.write(first.data(), first.size());
                fake.server().hold(10s);
                auto late = frame(R"( text", "continuation": "late."})") + "data: [DONE]\n\n";
                sink.write(late.data(), late.size());
                sink.done();
                return true;
            });
        } else {
            FakeCompletions::stream(res, recordedStream());
        }
    });
    Observed oldObserved, newObserved;
    auto service = makeService(oldObserved, fake.baseURL(), ownKeyRoute(), 0);

    std::atomic<bool> oldStreaming{false};
    auto old = service->schedule("this stalls here", [&](const Suggestion& s) {
        recordInto(oldObserved)(s);
        oldStreaming = true;
    });
    ASSERT_TRUE(waitUntil([&] { return oldStreaming.load(); }));

    auto replacedAt = std::chrono::steady_clock::now();
    auto fresh = service->schedule("wo juede", recordInto(newObserved));
    auto oldResult = finished(old);
    EXPECT_LT(std::chrono::steady_clock::now() - replacedAt, 1s) << "the old transfer stalls for 10 s";
    EXPECT_TRUE(failureAs<CancellationError>(oldResult));

    auto freshResult = finished(fresh);
    ASSERT_TRUE(freshResult);
    EXPECT_EQ(*freshResult, finalOfRecorded);
    EXPECT_EQ(oldObserved.partialsNow(), (std::vector<Suggestion>{Suggestion{"Old", ""}}));
    EXPECT_EQ(newObserved.partialsNow().back(), finalOfRecorded);

    // One usage record each: the old one given up, the new one completed.
    auto usage = oldObserved.usageNow();
    ASSERT_EQ(usage.size(), 2u);
    EXPECT_EQ(usage[0].second, PredictionUsageEvent::cancelled());
    EXPECT_EQ(usage[1].second.kind(), PredictionUsageEvent::Kind::completed);
}

TEST(PredictionService, OwnKeyRefusalsReachTheRouteState) {
    sorvane::testing::TempHome home;
    sorvane::testing::ScopedLogCapture log;
    std::atomic<int> status{0};
    FakeCompletions fake([&](const Received&, httplib::Response& res) {
        res.status = status;
        res.set_content(R"({"error":{"message":"nope"}})", "application/json");
    });
    struct Case {
        int status;
        PredictionError error;
        MacBillingState::KeyStatus recorded;
    };
    const std::vector<Case> cases = {
        {401, PredictionError::ownKeyInvalid(), MacBillingState::KeyStatus::invalid},
        {402, PredictionError::ownKeyBalanceEmpty(), MacBillingState::KeyStatus::balanceEmpty},
    };
    Observed observed;
    auto service = makeService(observed, fake.baseURL(), ownKeyRoute(), 0.02, 10s,
                               [](const PredictionError& e) { sorvane::MacRouting::rejected(e); });
    for (const auto& c : cases) {
        status = c.status;
        auto result = finished(service->schedule("wo juede", nullptr));
        ASSERT_TRUE(failureAs<PredictionError>(result)) << c.status;
        EXPECT_EQ(*failureAs<PredictionError>(result), c.error);
        EXPECT_EQ(observed.rejections.back(), c.error);
        auto state = sorvane::MacBillingStateFile::live().load();
        ASSERT_TRUE(state) << c.status;
        EXPECT_EQ(state->keyStatus, c.recorded);
        EXPECT_EQ(state->source, MacBillingState::Source::credits);  // the route itself is kept
    }
    EXPECT_EQ(observed.rejections.size(), 2u);
    EXPECT_TRUE(observed.usageNow().empty());  // a refused request reports no usage
    EXPECT_TRUE(log->contains("[Sorvane] own DeepSeek key rejected (balanceEmpty)"));
}

TEST(PredictionService, ProxyLimitsMapToTheirErrorsWithoutRefusingTheRoute) {
    std::mutex mutex;
    int status = 0;
    std::string body;
    FakeCompletions fake([&](const Received&, httplib::Response& res) {
        std::lock_guard lock(mutex);
        res.status = status;
        res.set_content(body, "application/json");
    });
    struct Case {
        int status;
        std::string body;
        PredictionError error;
        bool refusal;
    };
    const std::vector<Case> cases = {
        {429, R"({"code":"daily_quota"})", PredictionError::quotaExceeded(), false},
        {429, R"({"code":"slow"})", PredictionError::rateLimited(), false},
        {429, "Too Many Requests", PredictionError::rateLimited(), false},
        {402, R"({"code":"login_required"})", PredictionError::loginRequired(), true},
        {401, "denied", PredictionError::httpStatus(401, "denied"), false},
    };
    Observed observed;
    auto service = makeService(observed, "http://127.0.0.1:1", proxyRoute(fake.baseURL()));
    for (const auto& c : cases) {
        {
            std::lock_guard lock(mutex);
            status = c.status;
            body = c.body;
        }
        const auto before = observed.rejections.size();
        auto result = service->request("wo juede", nullptr);
        ASSERT_TRUE(failureAs<PredictionError>(result)) << c.body;
        EXPECT_EQ(*failureAs<PredictionError>(result), c.error) << c.body;
        EXPECT_EQ(observed.rejections.size() - before, c.refusal ? 1u : 0u) << c.body;
    }
}

TEST(PredictionService, LongErrorBodyIsReadOnlySoFarAndShortened) {
    FakeCompletions fake([](const Received&, httplib::Response& res) {
        res.status = 500;
        std::vector<std::string> lines;
        for (int i = 0; i < 2000; ++i) lines.push_back(std::string(50, 'e') + "\n");
        FakeCompletions::stream(res, lines);
    });
    Observed observed;
    auto service = makeService(observed, fake.baseURL(), ownKeyRoute());
    auto started = std::chrono::steady_clock::now();
    auto result = service->request("wo juede", nullptr);
    // 2000 chunks 2 ms apart would take four seconds to read whole.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    ASSERT_TRUE(failureAs<PredictionError>(result));
    EXPECT_EQ(*failureAs<PredictionError>(result), PredictionError::httpStatus(500, std::string(300, 'e')));
}

TEST(PredictionService, TransportFailuresPassThroughWithTheirCodes) {
    LoopbackServer stalled;
    stalled->Post("/chat/completions", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/event-stream", [&](size_t, httplib::DataSink& sink) {
            auto first = frame(R"({"normalized": "I)");
            sink.write(first.data(), first.size());
            stalled.hold(10s);
            return false;
        });
    });
    stalled.start();
    FakeCompletions cut([](const Received&, httplib::Response& res) {
        FakeCompletions::stream(res, {frame(R"({"normalized": "I think)"), "data: {\"choi"}, /*hangUp=*/true);
    });

    struct Case {
        std::string baseURL;
        int code;
    };
    const std::vector<Case> cases = {
        {stalled.baseURL(), URLError::timedOut},
        {"http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort()), URLError::cannotConnectToHost},
        {cut.baseURL(), URLError::networkConnectionLost},
    };
    for (const auto& c : cases) {
        Observed observed;
        // A short time-out only where it is what ends the call: elsewhere a
        // loaded machine could reach it first.
        auto service =
            makeService(observed, c.baseURL, ownKeyRoute(), 0.02, c.code == URLError::timedOut ? 300ms : 10s);
        auto result = finished(service->schedule("wo juede", nullptr));
        ASSERT_TRUE(failureAs<URLError>(result)) << c.baseURL;
        EXPECT_EQ(failureAs<URLError>(result)->code, c.code) << c.baseURL;
        EXPECT_TRUE(observed.usageNow().empty()) << c.baseURL;
        EXPECT_EQ(service->cachedCount(), 0u);
    }
}

TEST(PredictionService, ReplyThatIsNotAStream) {
    struct Case {
        std::string body;
        PredictionError error;
    };
    const std::vector<Case> cases = {
        {R"({"normalized":"I think","continuation":"so."})", PredictionError::emptyResponse()},
        {"", PredictionError::emptyResponse()},
        // A rewrite of blanks only, whole or cut off, is no rewrite.
        {frame(R"({"normalized": " \t ", "continuation": "so."})"), PredictionError::emptyResponse()},
        {frame(R"({"normalized": "   )"), PredictionError::emptyResponse()},
        {"data: {\"choices\":[{\"delta\":{\"content\":\"hello\"}}]}\n",
         PredictionError::decoding(R"(expected {"normalized","continuation"} json object)")},
    };
    for (const auto& c : cases) {
        FakeCompletions fake(
            [&](const Received&, httplib::Response& res) { res.set_content(c.body, "application/json"); });
        Observed observed;
        auto service = makeService(observed, fake.baseURL(), ownKeyRoute());
        auto result = service->request("wo juede", nullptr);
        ASSERT_TRUE(failureAs<PredictionError>(result)) << c.body;
        EXPECT_EQ(*failureAs<PredictionError>(result), c.error) << c.body;
        EXPECT_EQ(service->cachedCount(), 0u);
    }
}

TEST(PredictionService, StreamWithoutDoneEndsAsIfItHadOne) {
    FakeCompletions fake([](const Received&, httplib::Response& res) {
        auto pieces = recordedStream();
        pieces.pop_back();
        pieces.back().pop_back();  // and its last line unterminated
        pieces.back().pop_back();
        FakeCompletions::stream(res, pieces);
    });
    Observed observed;
    auto service = makeService(observed, fake.baseURL(), ownKeyRoute());
    auto result = service->requestDetailed("wo juede", nullptr);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->suggestion, finalOfRecorded);
    ASSERT_TRUE(result->metrics.usage);
    EXPECT_EQ(*result->metrics.usage, (PredictionUsage{64, 36, 20}));
    EXPECT_FALSE(result->metrics.cacheHit);
    EXPECT_LE(*result->metrics.firstDeltaLatency, *result->metrics.firstDisplayableLatency);
    EXPECT_LE(*result->metrics.firstDisplayableLatency, result->metrics.totalLatency);
}

// A server that sends "[DONE]" and then holds the stream open costs a moment,
// not the request's time-out, and the next request is served as usual.
TEST(PredictionService, StreamHeldOpenAfterDoneEndsSoon) {
    LoopbackServer held;
    held->Post("/chat/completions", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/event-stream", [&](size_t, httplib::DataSink& sink) {
            for (const std::string& piece : recordedStream()) sink.write(piece.data(), piece.size());
            held.hold(20s);
            return false;
        });
    });
    held.start();
    Observed observed;
    auto service = makeService(observed, held.baseURL(), ownKeyRoute());
    for (const char* text : {"wo juede", "wo juede hen hao"}) {
        const auto start = std::chrono::steady_clock::now();
        auto result = service->requestDetailed(text, nullptr);
        ASSERT_TRUE(result) << text;
        EXPECT_EQ(result->suggestion, finalOfRecorded) << text;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << text;
    }
    const auto usage = observed.usageNow();
    ASSERT_EQ(usage.size(), 2u);
    EXPECT_EQ(usage[1].second, PredictionUsageEvent::completed(PredictionUsage{64, 36, 20}));
}

TEST(PredictionService, NoRouteSendsNothing) {
    FakeCompletions fake(
        [](const Received&, httplib::Response& res) { FakeCompletions::stream(res, recordedStream()); });
    Observed observed;
    auto service = makeService(observed, fake.baseURL(), std::nullopt);
    auto result = finished(service->schedule("wo juede", recordInto(observed)));
    ASSERT_TRUE(failureAs<PredictionError>(result));
    EXPECT_EQ(*failureAs<PredictionError>(result), PredictionError::missingAPIKey());
    EXPECT_TRUE(fake.requests().empty());
    EXPECT_EQ(service->networkRequestCount(), 0);
    EXPECT_TRUE(observed.usageNow().empty());
    // Having no route is not a refusal of one.
    EXPECT_TRUE(observed.rejections.empty());
}

namespace {

// Replays lines, then lets the test act at the very end of the stream.
class ScriptedClient final : public HttpClient {
public:
    std::vector<std::string> lines;
    std::function<void()> atEnd;

    sorvane::Expected<HttpResponse, URLError> send(const HttpRequest&, HttpCancellation*) override {
        return HttpResponse{};
    }
    sorvane::Expected<HttpResponse, URLError> stream(const HttpRequest&, const HeadHandler& onHead,
                                                     const LineHandler& onLine, HttpCancellation*) override {
        HttpResponse head;
        head.status = 200;
        onHead(head);
        for (const auto& line : lines) onLine(line);
        if (atEnd) atEnd();
        return head;
    }
};

}  // namespace

TEST(PredictionService, CancelledAtTheEndOfTheStreamReportsUsageOnce) {
    struct Case {
        bool withUsage;
        PredictionUsageEvent expected;
    };
    const std::vector<Case> cases = {
        {true, PredictionUsageEvent::completed(PredictionUsage{64, 36, 20})},
        {false, PredictionUsageEvent::cancelled()},
    };
    for (const auto& c : cases) {
        ScriptedClient client;
        client.lines = {frame(R"({"normalized": "I think", "continuation": "so."})")};
        if (c.withUsage) client.lines.push_back(usageFrame(100, 64, 20));
        client.lines.push_back("data: [DONE]");
        std::shared_ptr<sorvane::SuggestionTask> task;
        std::mutex taskMutex;
        client.atEnd = [&] {
            std::lock_guard lock(taskMutex);
            task->cancel();
        };
        Observed observed;
        PredictionService::Session session;
        session.client = &client;
        PredictionService service([] { return std::optional(ownKeyRoute()); }, [](const PredictionError&) {},
                                  [&](const PredictionRoute& r, const PredictionUsageEvent& e) {
                                      std::lock_guard lock(observed.mutex);
                                      observed.usage.emplace_back(r, e);
                                  },
                                  [] { return 0.05; }, session);
        {
            std::lock_guard lock(taskMutex);
            task = service.schedule("wo juede", nullptr);
        }
        EXPECT_TRUE(failureAs<CancellationError>(finished(task)));
        auto usage = observed.usageNow();
        ASSERT_EQ(usage.size(), 1u) << c.withUsage;
        EXPECT_EQ(usage[0].second, c.expected);
        EXPECT_EQ(service.cachedCount(), 0u);
    }
}

TEST(PredictionService, UsageIsReportedEvenWhenTheReplyCannotBeParsed) {
    ScriptedClient client;
    client.lines = {frame("hello"), usageFrame(100, 64, 20), "data: [DONE]"};
    Observed observed;
    PredictionService::Session session;
    session.client = &client;
    PredictionService service([] { return std::optional(ownKeyRoute()); }, [](const PredictionError&) {},
                              [&](const PredictionRoute& r, const PredictionUsageEvent& e) {
                                  std::lock_guard lock(observed.mutex);
                                  observed.usage.emplace_back(r, e);
                              },
                              {}, session);
    auto result = service.request("wo juede", nullptr);
    ASSERT_TRUE(failureAs<PredictionError>(result));
    EXPECT_EQ(failureAs<PredictionError>(result)->kind(), PredictionError::Kind::decoding);
    auto usage = observed.usageNow();
    ASSERT_EQ(usage.size(), 1u);
    EXPECT_EQ(usage[0].second, PredictionUsageEvent::completed(PredictionUsage{64, 36, 20}));
}

TEST(PredictionService, BuildRequestJoinsTheBasePath) {
    Observed observed;
    for (const std::string base : {"https://api.example.test", "https://api.example.test/"}) {
        auto service = makeService(observed, base, ownKeyRoute());
        EXPECT_EQ(service->buildRequest("a b", ownKeyRoute(), sorvane::OutputFormat::json).url,
                  "https://api.example.test/chat/completions");
    }
    auto service = makeService(observed, "https://unused.example.test", std::nullopt);
    auto request = service->buildRequest("a b", proxyRoute("https://h.example"), sorvane::OutputFormat::json);
    EXPECT_EQ(request.url, "https://h.example/brindor/api/sorvane/v1/chat/completions");
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.requestTimeout, 10s);
    EXPECT_EQ(request.redirects, sorvane::RedirectPolicy::never);
    // Header order is part of the request's shape.
    EXPECT_EQ(request.headers[0].first, "Content-Type");
    EXPECT_EQ(request.headers[1].first, "Accept");
}

TEST(PredictionService, DefaultSettings) {
    PredictionService service([] { return std::optional<PredictionRoute>(); }, [](const PredictionError&) {});
    EXPECT_EQ(service.model(), "deepseek-v4-flash-vision-exp");
    EXPECT_EQ(service.format(), sorvane::OutputFormat::json);
    EXPECT_EQ(service.debounce(), 0.3);
    EXPECT_EQ(service.minWords(), 2u);
    EXPECT_EQ(service.temperature(), 0.3);
    EXPECT_EQ(service.maxTokens(), 120);
    EXPECT_EQ(service.baseURL(), "https://api.deepseek.com");
    EXPECT_EQ(service.requestTimeout(), 10.0);
    EXPECT_EQ(service.networkRequestCount(), 0);
    EXPECT_EQ(service.cachedCount(), 0u);
    EXPECT_EQ(service.prefixSuggestion(Suggestion{"I think", " it works."}, "i THINK it"),
              (Suggestion{"I think it", " works."}));
}

// The body's end arriving after "[DONE]" is read, so the connection stays
// open: three rewrites, one connection.
TEST(PredictionService, DoneLeavesTheConnectionForTheNextRequest) {
    FakeCompletions fake([](const Received&, httplib::Response& res) {
        // The terminating chunk goes out in its own packet, after "[DONE]".
        FakeCompletions::stream(res, recordedStream());
    });
    sorvane::CurlHttpClient client;
    PredictionService::Session session;
    session.client = &client;
    session.baseURL = fake.baseURL();
    PredictionService service([] { return std::optional(ownKeyRoute()); }, {}, {}, [] { return 0.0; },
                              session);
    for (const char* text : {"wo juede", "this design is", "a bit over"}) {
        auto result = service.request(text, nullptr);
        ASSERT_TRUE(result) << text;
        EXPECT_EQ(*result, finalOfRecorded);
    }
    auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].port, requests[0].port);
    EXPECT_EQ(requests[2].port, requests[0].port);
}

// The pause runs from the moment of scheduling: a worker busy with another
// request does not add it on top. Both a second long, so that either way is
// half a second from the bound however the machine is loaded.
TEST(PredictionService, PauseRunsFromSchedulingNotFromWhenTheWorkerIsFree) {
    FakeCompletions fake([](const Received& r, httplib::Response& res) {
        if (r.userText().find("busy") != std::string::npos) std::this_thread::sleep_for(1s);
        FakeCompletions::stream(res, recordedStream());
    });
    Observed observed;
    auto service = makeService(observed, fake.baseURL(), ownKeyRoute(), 1.0);
    std::thread busy([&] { EXPECT_TRUE(service->request("busy worker here", nullptr)); });
    EXPECT_TRUE(waitUntil([&] { return !fake.requests().empty(); }));
    const auto scheduledAt = std::chrono::steady_clock::now();
    auto result = finished(service->schedule("wo juede", nullptr));
    busy.join();
    ASSERT_TRUE(result);
    auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_GE(requests[1].at - scheduledAt, 1s);
    EXPECT_LT(requests[1].at - scheduledAt, 1500ms) << "1 s busy + 1 s pause would be 2 s";
}

namespace {

// The real transport, telling when a body's first line is in.
class FirstLineSignal final : public HttpClient {
public:
    std::atomic<bool> lineIn{false};

    sorvane::Expected<HttpResponse, URLError> send(const HttpRequest& request,
                                                   HttpCancellation* stop) override {
        return sorvane::CurlHttpClient::shared().send(request, stop);
    }
    sorvane::Expected<HttpResponse, URLError> stream(const HttpRequest& request, const HeadHandler& onHead,
                                                     const LineHandler& onLine,
                                                     HttpCancellation* stop) override {
        return sorvane::CurlHttpClient::shared().stream(
            request, onHead,
            [&](std::string_view line) {
                onLine(line);
                lineIn = true;
            },
            stop);
    }
};

}  // namespace

// A refusal of the route is news for the route's owner, even when the
// request is given up while its body is still arriving.
TEST(PredictionService, RefusalCancelledDuringItsBodyStillReachesTheRouteOwner) {
    FakeCompletions fake([&](const Received&, httplib::Response& res) {
        res.status = 401;
        res.set_chunked_content_provider("application/json", [&](size_t, httplib::DataSink& sink) {
            sink.write("{\"error\":\n", 11);
            fake.server().hold(10s);
            return false;
        });
    });
    Observed observed;
    FirstLineSignal transport;
    auto service = makeService(observed, fake.baseURL(), ownKeyRoute(), 0, 10s, {}, &transport);
    auto task = service->schedule("wo juede", nullptr);
    ASSERT_TRUE(waitUntil([&] { return transport.lineIn.load(); }));  // the head and the first line are in
    service->cancelInFlight();
    auto result = finished(task);
    EXPECT_TRUE(failureAs<CancellationError>(result));
    std::lock_guard lock(observed.mutex);
    EXPECT_EQ(observed.rejections, (std::vector<PredictionError>{PredictionError::ownKeyInvalid()}));
}

TEST(PredictionService, StreamOverOneMebibyteEndsTheRequest) {
    FakeCompletions fake([](const Received&, httplib::Response& res) {
        std::vector<std::string> pieces = {frame(R"({"normalized": "I think)")};
        const std::string filler = ": " + std::string(65533, 'k') + "\n";  // a comment line of 64 KiB
        for (int i = 0; i < 20; ++i) pieces.push_back(filler);
        pieces.push_back("data: [DONE]\n\n");
        FakeCompletions::stream(res, pieces);
    });
    Observed observed;
    auto service = makeService(observed, fake.baseURL(), ownKeyRoute());
    auto result = service->request("wo juede", nullptr);
    ASSERT_TRUE(failureAs<URLError>(result));
    EXPECT_EQ(failureAs<URLError>(result)->code, URLError::dataLengthExceedsMaximum);
    EXPECT_EQ(service->cachedCount(), 0u);
}
