// What the wrapper costs per key: the same key sequence through RimeEngine
// (process key, then the context snapshot) and through librime's table
// directly, in one process on one session. Ratio = wrapper time / raw time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "engine/RimeEngine.h"
#include "engine/RimeLibrary.h"

namespace {

using namespace sorvane;
namespace fs = std::filesystem;

// One engine for the whole run: librime is set up once per process.
RimeEngine* startedEngine = nullptr;

RimeEngine* engine() {
    static RimeEngine* shared = [] {
        auto user = fs::temp_directory_path() / "sorvane-bench-engine";
        fs::remove_all(user);
        RimeEngine::Options o;
        o.sharedDataDir = std::string(SORVANE_BUNDLE_DIR) + "/Contents/SharedSupport/rime";
        o.userDataDir = user.string();
        o.appName = "rime.sorvane";
        o.distribution = {"SorvaneIME", "Sorvane", "0.1.0"};
        o.minLogLevel = 2;
        auto made = RimeEngine::create(o);
        if (!made) {
            std::fprintf(stderr, "engine: %s\n", made.error().description().c_str());
            std::exit(1);
        }
        auto* e = std::move(made).value().release();
        if (auto started = e->start(true, false); !started) {
            std::fprintf(stderr, "engine: %s\n", describe(started.error()).c_str());
            std::exit(1);
        }
        if (!e->createSession()) std::exit(1);
        startedEngine = e;
        return e;
    }();
    return shared;
}

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

// librime's own exit handlers tear down any session still open after the
// library's statics are gone, which crashes: end the engine before exit.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (startedEngine) startedEngine->shutdown();
    return 0;
}
