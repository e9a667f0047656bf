// The streamed-reply reader (line splitting, frame parsing and the partial
// JSON read after every delta) on recorded-style DeepSeek replies in English,
// in mixed text and in Chinese, beside a plain nlohmann::json parse of the
// same frames. Reported as bytes/second of stream; the reader must never be
// what a user waits for. BM_ReaderOverPlainJson runs both on the same reply
// in one loop, alternating, and gives the reader's speed as a share of the
// plain parse's ("speed_ratio").
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "prediction/PartialJSON.h"
#include "prediction/StreamingReply.h"

namespace {

// A reply of `tokens` content deltas in DeepSeek's frame envelope, with a
// keep-alive comment, a usage frame and "[DONE]". Requests cap replies at 120
// tokens, so that is the longest reply the client ever reads.
enum class Script { ascii, mixed, chinese };

std::string recordedStyleReply(int tokens, Script script) {
    std::vector<std::string> words;
    switch (script) {
        case Script::ascii:
            words = {" the", " kitchen", " and", " started", " cooking", " dinner", " late", ","};
            break;
        case Script::mixed:
            words = {" the", " café", " and", " started", " cooking", " 晚饭", " — late", ","};
            break;
        case Script::chinese:
            words = {"我们", "今天", "晚上", "一起", "去", "餐厅", "吃饭", "，"};
            break;
    }
    std::vector<std::string> pieces = {"{\"", "normal", "ized", "\":", " \"", "I", " entered"};
    for (int i = 0; static_cast<int>(pieces.size()) < tokens / 2; ++i)
        pieces.push_back(words[i % words.size()]);
    pieces.insert(pieces.end(), {"\",", " \"", "contin", "uation", "\":", " \""});
    for (int i = 0; static_cast<int>(pieces.size()) < tokens - 1; ++i)
        pieces.push_back(words[(i + 3) % words.size()]);
    pieces.push_back(".\"}");

    const std::string head =
        R"({"id":"5f0c1e52-8a7d-4c8e-9d36-2b1f0a9c7e41","object":"chat.completion.chunk","created":1796531299,)"
        R"("model":"deepseek-chat","system_fingerprint":"fp_8802369eaa_prod0623_fp8_kvcache","choices":[{"index":0,)"
        R"("delta":{"content":)";
    std::string stream;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        stream += "data: " + head + nlohmann::json(pieces[i]).dump() +
                  R"(},"logprobs":null,"finish_reason":null}],"usage":null})" + "\n\n";
        if (i == 10) stream += ": keep-alive\n\n";
    }
    stream +=
        "data: " + head +
        R"(""},"logprobs":null,"finish_reason":"stop"}],"usage":{"prompt_tokens":512,"completion_tokens":)" +
        std::to_string(tokens) +
        R"(,"total_tokens":600,"prompt_cache_hit_tokens":448,"prompt_cache_miss_tokens":64}})" + "\n\n";
    stream += "data: [DONE]\n\n";
    return stream;
}

// Network reads arrive in pieces of about one packet.
constexpr std::size_t kChunk = 1400;

void streamReader(benchmark::State& state, Script script) {
    const std::string stream = recordedStyleReply(static_cast<int>(state.range(0)), script);
    std::size_t partials = 0;
    for (auto _ : state) {
        sorvane::StreamingReply reply;
        const auto onPartial = [&](const sorvane::Suggestion&) { ++partials; };
        for (std::size_t at = 0; at < stream.size(); at += kChunk) {
            reply.feed(std::string_view(stream).substr(at, kChunk), onPartial);
        }
        reply.finish(onPartial);
        benchmark::DoNotOptimize(reply.finalSuggestion());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    state.counters["partials/reply"] =
        benchmark::Counter(static_cast<double>(partials), benchmark::Counter::kAvgIterations);
}

void BM_StreamReader(benchmark::State& state) {
    streamReader(state, Script::ascii);
}
void BM_StreamReaderNonAscii(benchmark::State& state) {
    streamReader(state, Script::mixed);
}
void BM_StreamReaderChinese(benchmark::State& state) {
    streamReader(state, Script::chinese);
}

std::vector<std::string_view> framePayloads(const std::string& stream) {
    std::vector<std::string_view> payloads;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t end = stream.find('\n', at);
        const std::string_view line = std::string_view(stream).substr(at, end - at);
        if (line.starts_with("data: {")) payloads.push_back(line.substr(6));
        at = end + 1;
    }
    return payloads;
}

// The floor: only the JSON frames parsed whole, nothing else done with them.
void BM_PlainJsonFrames(benchmark::State& state) {
    const std::string stream = recordedStyleReply(static_cast<int>(state.range(0)), Script::ascii);
    const auto payloads = framePayloads(stream);
    for (auto _ : state) {
        for (std::string_view payload : payloads) benchmark::DoNotOptimize(nlohmann::json::parse(payload));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}

struct ThreadClock {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<ThreadClock, duration>;
    static time_point now() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return time_point(duration(std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec));
    }
};

// Both on the same 120-token reply, alternating in one loop.
void readerOverPlain(benchmark::State& state, Script script) {
    const std::string stream = recordedStyleReply(120, script);
    const auto payloads = framePayloads(stream);
    // CPU time of this thread: on a shared machine, time spent waiting for a
    // core is no part of either parser's cost.
    using Clock = ThreadClock;
    Clock::duration reader{}, plain{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        sorvane::StreamingReply reply;
        const auto onPartial = [](const sorvane::Suggestion& s) { benchmark::DoNotOptimize(s); };
        for (std::size_t at = 0; at < stream.size(); at += kChunk)
            reply.feed(std::string_view(stream).substr(at, kChunk), onPartial);
        reply.finish(onPartial);
        benchmark::DoNotOptimize(reply.finalSuggestion());
        const auto t1 = Clock::now();
        for (std::string_view payload : payloads) benchmark::DoNotOptimize(nlohmann::json::parse(payload));
        const auto t2 = Clock::now();
        reader += t1 - t0;
        plain += t2 - t1;
    }
    const double r = std::chrono::duration<double>(reader).count();
    const double p = std::chrono::duration<double>(plain).count();
    const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(stream.size());
    state.counters["reader_MBps"] = r > 0 ? bytes / r / 1e6 : 0;
    state.counters["plain_MBps"] = p > 0 ? bytes / p / 1e6 : 0;
    state.counters["speed_ratio"] = r > 0 ? p / r : 0;
}
void BM_ReaderOverPlainJsonAscii(benchmark::State& state) {
    readerOverPlain(state, Script::ascii);
}
void BM_ReaderOverPlainJsonChinese(benchmark::State& state) {
    readerOverPlain(state, Script::chinese);
}

// The partial read alone on the complete reply text, as after the last delta.
void BM_PartialJSONExtract(benchmark::State& state) {
    std::string text =
        "{\"normalized\": \"I entered the kitchen and started cooking dinner\", \"continuation\": \"";
    while (text.size() < static_cast<std::size_t>(state.range(0))) text += "late and slow, ";
    for (auto _ : state) benchmark::DoNotOptimize(sorvane::PartialJSON::extract(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK(BM_StreamReader)->Arg(30)->Arg(120);
BENCHMARK(BM_StreamReaderNonAscii)->Arg(120);
BENCHMARK(BM_StreamReaderChinese)->Arg(120);
BENCHMARK(BM_ReaderOverPlainJsonAscii)->Repetitions(6)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReaderOverPlainJsonChinese)->Repetitions(6)->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainJsonFrames)->Arg(30)->Arg(120);
BENCHMARK(BM_PartialJSONExtract)->Arg(600)->Arg(4096);

BENCHMARK_MAIN();
