// How long the prediction client takes to turn the first byte of a streamed
// reply into the first partial suggestion, beside the time the stream itself
// takes to arrive, over a loopback server replaying a recorded reply.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "prediction/PredictionService.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string frame(std::string_view content) {
    nlohmann::json j = {{"choices", nlohmann::json::array({{{"delta", {{"content", content}}}}})}};
    return "data: " + j.dump() + "\n\n";
}

// A reply as DeepSeek streams it: one token per frame, usage, then [DONE].
std::vector<std::string> recordedStream() {
    const std::vector<std::string> tokens = {"{\"",   "normalized", "\":", " \"",   "I",     " think",
                                             " this", " design",    " is", "\",",   " \"",   "continuation",
                                             "\":",   " \"",        "a",   " bit",  " over", "-engineered",
                                             " for",  " what",      " it", " does", ".\"",   "}"};
    std::vector<std::string> frames;
    for (const auto& token : tokens) frames.push_back(frame(token));
    frames.push_back(
        "data: {\"choices\":[],\"usage\":{\"prompt_tokens\":480,\"prompt_cache_hit_tokens\":448,"
        "\"completion_tokens\":24}}\n\n");
    frames.push_back("data: [DONE]\n\n");
    return frames;
}

class ReplayServer {
public:
    ReplayServer() {
        // Streaming services send each frame at once; without this, a frame
        // written behind the unacknowledged headers waits for the client's
        // delayed ACK (tens of ms) once the client reuses its connection.
        server_.set_socket_options([](int sock) {
            httplib::default_socket_options(sock);
            int on = 1;
            ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        });
        // The client keeps its connection open, and a stopping server waits
        // out the keep-alive time of an idle connection.
        server_.set_keep_alive_timeout(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        server_.Post("/chat/completions", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/event-stream", [this](size_t, httplib::DataSink& sink) {
                firstByte_.store(Clock::now().time_since_epoch().count());
                // Each frame is its own chunk, so the client sees the stream
                // grow as it would from the service.
                for (const auto& piece : frames_) {
                    if (!sink.write(piece.data(), piece.size())) return false;
                }
                sink.done();
                return true;
            });
        });
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~ReplayServer() {
        server_.stop();
        thread_.join();
    }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }
    Clock::time_point firstByte() const { return Clock::time_point(Clock::duration(firstByte_.load())); }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::vector<std::string> frames_ = recordedStream();
    std::atomic<Clock::rep> firstByte_{0};
};

void BM_FirstPartialAfterFirstByte(benchmark::State& state) {
    ReplayServer server;
    sorvane::PredictionService::Session session;
    session.baseURL = server.baseURL();
    session.resolveKey = [] { return std::optional<std::string>(); };
    sorvane::PredictionService service(
        [] { return std::optional(sorvane::PredictionRoute::ownKey("sk-bench")); },
        [](const sorvane::PredictionError&) {}, {}, [] { return 0.0; }, session);

    double firstPartialTotal = 0, transferTotal = 0, partialsTotal = 0;
    for (auto _ : state) {
        service.clearCache();
        std::optional<Clock::time_point> firstPartial;
        int partials = 0;
        auto result = service.requestDetailed("wo juede this design is", [&](const sorvane::Suggestion&) {
            if (!firstPartial) firstPartial = Clock::now();
            ++partials;
        });
        const auto end = Clock::now();
        if (!result || !firstPartial) {
            state.SkipWithError("request failed");
            break;
        }
        const double toPartial = std::chrono::duration<double>(*firstPartial - server.firstByte()).count();
        state.SetIterationTime(toPartial);
        firstPartialTotal += toPartial;
        transferTotal += std::chrono::duration<double>(end - server.firstByte()).count();
        partialsTotal += partials;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["firstByteToFirstPartial_us"] = firstPartialTotal / n * 1e6;
    state.counters["firstByteToFinal_us"] = transferTotal / n * 1e6;
    state.counters["partials"] = partialsTotal / n;
    state.counters["firstByteToFinal_us_per_partial"] = transferTotal / partialsTotal * 1e6;
}
BENCHMARK(BM_FirstPartialAfterFirstByte)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);

// The same stream read by the bare transport, lines dropped: what the
// transfer itself costs, to set beside firstByteToFinal_us above.
void BM_StreamTransferOnly(benchmark::State& state) {
    ReplayServer server;
    sorvane::HttpRequest request;
    request.method = "POST";
    request.url = server.baseURL() + "/chat/completions";
    request.body = "{}";
    for (auto _ : state) {
        int lines = 0;
        auto response =
            sorvane::CurlHttpClient::shared().stream(request, nullptr, [&](std::string_view) { ++lines; });
        const auto end = Clock::now();
        if (!response) {
            state.SkipWithError("transfer failed");
            break;
        }
        benchmark::DoNotOptimize(lines);
        state.SetIterationTime(std::chrono::duration<double>(end - server.firstByte()).count());
    }
}
BENCHMARK(BM_StreamTransferOnly)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
