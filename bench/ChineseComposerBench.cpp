// What one key costs through the Chinese composer (engine key, commit and
// context read back, marked text with its style runs, the panel model)
// against the bare engine key plus context read, on one session. The panel
// and the host only count, so the time is the composer's and the engine's.
#include <benchmark/benchmark.h>

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
RimeEngine* startedEngine = nullptr;

RimeEngine* engine() {
    static RimeEngine* shared = [] {
        auto user = fs::temp_directory_path() / "sorvane-bench-composer";
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
        startedEngine = e;
        return e;
    }();
    return shared;
}

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
