// What one key costs through the Chinese composer (engine key, commit and
// context read back, marked text with its style runs, the panel model)
// against the bare engine key plus context read, on one session. The panel
// and the host only count, so the time is the composer's and the engine's.
#include <benchmark/benchmark.h>

#include "bench/BenchEngine.h"

#include <cstdio>
#include <filesystem>

#include "app/ChineseComposer.h"

namespace {

using namespace sorvane;
namespace fs = std::filesystem;

class CountingHost final : public ComposerHost {
public:
    std::size_t markedBytes = 0;
    InputClient* client() const override { return nullptr; }
    void setMarkedText(const MarkedText& text, int caret) override {
        markedBytes += text.text.size() + caret;
    }
    std::optional<StyleRun> markForStyle(MarkedTextStyle style, TextRange range) const override {
        return StyleRun{range, style};
    }
};

class CountingPanel final : public CandidatePanelPresenting {
public:
    std::size_t candidates = 0;
    void show(const PanelContent& content, Rect) override {
        if (auto* model = content.chineseModel()) candidates += model->candidates().size();
    }
    bool isVisible() const override { return false; }
    void hide() override {}
    void dismissModeIndicator() override {}
};

// librime is set up once per process: one engine for the whole run.
RimeEngine* engine() { return sorvane::bench::benchEngine("sorvane-bench-composer"); }

// "nihao" plus one letter, then BackSpace: the composition keeps its size.
constexpr std::uint32_t keys[] = {'m', 0xFF08};

void BM_ComposerKey(benchmark::State& state) {
    CountingHost host;
    CountingPanel panel;
    ChineseComposer composer(*engine(), host, panel);
    composer.clearComposition();
    composer.compose("nihao");
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(composer.handleKey(keys[i++ % 2], 0));
    benchmark::DoNotOptimize(host.markedBytes + panel.candidates);
}
BENCHMARK(BM_ComposerKey);

void BM_EngineKeyAndContext(benchmark::State& state) {
    RimeEngine* e = engine();
    if (!e->createSession()) std::exit(1);
    e->clearComposition();
    e->type("nihao");
    std::size_t i = 0;
    for (auto _ : state) {
        e->processKey(keys[i++ % 2], 0);
        auto context = e->context();
        benchmark::DoNotOptimize(context);
    }
}
BENCHMARK(BM_EngineKeyAndContext);

}  // namespace

int main(int argc, char** argv) { return sorvane::bench::runBenchmarks(argc, argv); }
