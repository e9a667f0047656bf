// What the wrapper costs per key: the same key sequence through RimeEngine
// (process key, then the context snapshot) and through librime's table
// directly, in one process on one session. Ratio = wrapper time / raw time.
#include <benchmark/benchmark.h>

#include "bench/BenchEngine.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "engine/RimeEngine.h"
#include "engine/RimeLibrary.h"

namespace {

using namespace sorvane;
namespace fs = std::filesystem;

// One engine for the whole run: librime is set up once per process.
RimeEngine* engine() { return sorvane::bench::benchEngine("sorvane-bench-engine"); }

// A composition that stays the same size: "nihao" plus one letter, then
// BackSpace; each is one key followed by a context read.
constexpr std::uint32_t keys[] = {'m', 0xFF08};

void prepare() {
    engine()->clearComposition();
    engine()->type("nihao");
}

std::size_t wrapperKey(std::uint32_t key) {
    engine()->processKey(key, 0);
    auto context = engine()->context();
    return context ? context->candidates.size() : 0;
}

std::size_t rawKey(const RimeApi* api, RimeSessionId session, std::uint32_t key) {
    api->process_key(session, static_cast<int>(key), 0);
    RIME_STRUCT(RimeContext, context);
    std::size_t n = 0;
    if (api->get_context(session, &context)) {
        n = static_cast<std::size_t>(context.menu.num_candidates);
        api->free_context(&context);
    }
    return n;
}

void BM_WrapperKey(benchmark::State& state) {
    prepare();
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(wrapperKey(keys[i++ % 2]));
}
BENCHMARK(BM_WrapperKey);

void BM_RawTableKey(benchmark::State& state) {
    prepare();
    const RimeApi* api = RimeLibrary::system()->api();
    RimeSessionId session = engine()->sessionId();
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(rawKey(api, session, keys[i++ % 2]));
}
BENCHMARK(BM_RawTableKey);

// Both paths interleaved in one loop, so that drift of the machine falls on
// both alike; the "ratio" counter is the wrapper's time over the raw time.
void BM_WrapperOverRaw(benchmark::State& state) {
    prepare();
    const RimeApi* api = RimeLibrary::system()->api();
    RimeSessionId session = engine()->sessionId();
    using Clock = std::chrono::steady_clock;
    Clock::duration wrapped{}, raw{};
    std::size_t i = 0;
    for (auto _ : state) {
        auto key = keys[i++ % 2];
        auto t0 = Clock::now();
        benchmark::DoNotOptimize(wrapperKey(key));
        auto t1 = Clock::now();
        // The same key again through the table, undone by the other key, so
        // both paths see the same compositions.
        benchmark::DoNotOptimize(rawKey(api, session, keys[i % 2]));
        auto t2 = Clock::now();
        benchmark::DoNotOptimize(rawKey(api, session, key));
        auto t3 = Clock::now();
        benchmark::DoNotOptimize(wrapperKey(keys[i % 2]));
        auto t4 = Clock::now();
        wrapped += (t1 - t0) + (t4 - t3);
        raw += (t2 - t1) + (t3 - t2);
    }
    double w = std::chrono::duration<double, std::nano>(wrapped).count();
    double r = std::chrono::duration<double, std::nano>(raw).count();
    state.counters["wrapper_ns"] = benchmark::Counter(w / 2, benchmark::Counter::kAvgIterations);
    state.counters["raw_ns"] = benchmark::Counter(r / 2, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = r > 0 ? w / r : 0;
}
BENCHMARK(BM_WrapperOverRaw);

}  // namespace

int main(int argc, char** argv) { return sorvane::bench::runBenchmarks(argc, argv); }
