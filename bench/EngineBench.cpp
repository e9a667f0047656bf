// What the engine wrapper costs per key: RimeEngine's process key plus its
// context snapshot, beside librime's table called directly (process_key +
// get_context) on a session of its own on the same data, key by key in one
// pass over the corpus of pinyin sentences; which goes first alternates.
#include <benchmark/benchmark.h>

#include "bench/BenchEngine.h"
#include "bench/KeyTimes.h"
#include "bench/PinyinCorpus.h"
#include "engine/RimeEngine.h"
#include "engine/RimeLibrary.h"

namespace {

using namespace sorvane;
using namespace sorvane::bench;

void BM_WrapperOverRaw(benchmark::State& state) {
    RimeEngine* engine = benchEngine("sorvane-bench-engine");
    const RimeApi* api = RimeLibrary::system()->api();
    const RimeSessionId raw = api->create_session();
    const std::vector<KeyEvent> corpus = pinyinCorpus();
    KeyTimes wrapped, table;
    for (auto _ : state) {
        for (std::size_t i = 0; i < corpus.size(); ++i) {
            const std::uint32_t keysym = rawKeysym(corpus[i]);
            const auto wrapper = [&] {
                engine->processKey(keysym, 0);
                benchmark::DoNotOptimize(engine->context());
            };
            const auto direct = [&] { benchmark::DoNotOptimize(rawKeyAndContext(api, raw, keysym)); };
            if (i % 2 == 0) {
                wrapped.add(timed(wrapper));
                table.add(timed(direct));
            } else {
                table.add(timed(direct));
                wrapped.add(timed(wrapper));
            }
        }
    }
    wrapped.report(state, "wrapper");
    table.report(state, "librime");
    state.counters["keys"] = static_cast<double>(wrapped.count());
    state.counters["ratio_p50"] = ratio(wrapped.p50(), table.p50());
    state.counters["ratio_p95"] = ratio(wrapped.p95(), table.p95());
    api->destroy_session(raw);
}
BENCHMARK(BM_WrapperOverRaw)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return sorvane::bench::runBenchmarks(argc, argv, sorvane::bench::endEngine);
}
