// What the input controller costs per Chinese key: a key-down through the
// whole controller (key routing, keysym tables, the Chinese composer, the
// engine, marked text with its UTF-16 caret, the candidate panel model)
// beside librime's own process_key plus get_context on the same session.
// Ratio = controller time / raw time, both measured interleaved in one loop.
#include <benchmark/benchmark.h>

#include "bench/BenchEngine.h"
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/EngineBootstrap.h"
#include "app/SorvaneInputController.h"
#include "engine/RimeLibrary.h"
#include "platform/imk/KeyScript.h"

namespace {

using namespace sorvane;
namespace fs = std::filesystem;

// Runs nothing: engine notifications are dropped, the composer's timers
// never fire.
class IdleQueue final : public MainQueue {
public:
    void post(std::function<void()>) override {}
    QueueTaskId postAfter(std::chrono::milliseconds, std::function<void()>) override { return ++next_; }
    void cancel(QueueTaskId) override {}

private:
    QueueTaskId next_ = 0;
};

// A text field that keeps only what a real one would keep.
class Field final : public InputClient {
public:
    std::optional<std::string> bundleIdentifier() const override { return std::string("com.example.bench"); }
    std::optional<CaretRect> caretRect(int) const override { return CaretRect{100, 500, 1, 18}; }
    void setMarkedText(const std::string& text, TextRange selection,
                       const std::vector<StyleRun>& runs) override {
        marked = text;
        caret = selection.location;
        styleRuns = runs.size();
    }
    void insertText(const std::string& text) override { inserted += text; }
    bool isSecureInputOn() const override { return false; }
    std::uint64_t currentModifierFlags() const override { return 0; }

    std::string marked;
    int caret = 0;
    std::size_t styleRuns = 0;
    std::string inserted;
};

// Keeps the model the composer built, as the window would be given it.
class Panel final : public CandidatePanelPresenting {
public:
    void show(const PanelContent& content, Rect) override {
        candidates = content.chineseModel() ? content.chineseModel()->candidates().size() : 0;
        visible = true;
    }
    bool isVisible() const override { return visible; }
    void hide() override { visible = false; }
    void dismissModeIndicator() override {}

    std::size_t candidates = 0;
    bool visible = false;
};

struct Bench {
    IdleQueue queue;
    Field field;
    Panel panel;
    RimeEngine* engine = nullptr;
    std::unique_ptr<InputControllerEnvironment> environment;
    std::unique_ptr<SorvaneInputController> controller;
};

Bench& bench() {
    static Bench* shared = [] {
        auto* b = new Bench;
        const fs::path home = fs::temp_directory_path() / "sorvane-bench-controller";
        fs::remove_all(home);
        fs::create_directories(home);
        ::setenv("HOME", home.c_str(), 1);
        b->engine = EngineBootstrap::start(EngineBootstrap::layout(SORVANE_BUNDLE_DIR, home), b->queue);
        if (!b->engine) {
            std::fprintf(stderr, "engine did not start\n");
            std::exit(1);
        }
        InputControllerEnvironment::Services s;
        s.engine = [b] { return b->engine; };
        s.panel = &b->panel;
        s.showModeIndicator = [](InputMode, Rect) {};
        s.queue = &b->queue;
        s.settings = [] { return AppSettings{}; };
        s.ghostTest = [] { return false; };
        b->environment = std::make_unique<InputControllerEnvironment>(std::move(s));
        b->controller = std::make_unique<SorvaneInputController>(nullptr, &b->field, *b->environment);
        b->controller->activateServer(&b->field);
        sorvane::bench::engineShutdown() = [] { EngineBootstrap::shutdown(); };
        return b;
    }();
    return *shared;
}

// "nihao" plus one letter, then BackSpace: the composition keeps its size.
const KeyEvent controllerKeys[] = {
    {KeyEventType::keyDown, 46, "m", "m", 0, 0},
    {KeyEventType::keyDown, 51, "\x7f", "\x7f", 0, 0},
};
constexpr std::uint32_t rawKeys[] = {'m', 0xFF08};

void prepare() {
    Bench& b = bench();
    b.controller->commitComposition(&b.field);
    b.engine->clearComposition();
    for (const char* key : {"n", "i", "h", "a", "o"}) {
        std::uint16_t code = 0;
        bool shifted = false;
        KeyScript::keyCodeFor(static_cast<unsigned char>(key[0]), code, shifted);
        b.controller->handleEvent({KeyEventType::keyDown, code, key, key, 0, 0}, &b.field);
    }
}

bool controllerKey(int i) {
    Bench& b = bench();
    return b.controller->handleEvent(controllerKeys[i], &b.field);
}

std::size_t rawKey(const RimeApi* api, RimeSessionId session, int i) {
    api->process_key(session, static_cast<int>(rawKeys[i]), 0);
    RIME_STRUCT(RimeContext, context);
    std::size_t n = 0;
    if (api->get_context(session, &context)) {
        n = static_cast<std::size_t>(context.menu.num_candidates);
        api->free_context(&context);
    }
    return n;
}

void BM_ControllerChineseKey(benchmark::State& state) {
    prepare();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(controllerKey(i));
        i ^= 1;
    }
    state.counters["candidates"] = static_cast<double>(bench().panel.candidates);
}
BENCHMARK(BM_ControllerChineseKey);

void BM_RawEngineKey(benchmark::State& state) {
    prepare();
    const RimeApi* api = RimeLibrary::system()->api();
    const RimeSessionId session = bench().engine->sessionId();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rawKey(api, session, i));
        i ^= 1;
    }
}
BENCHMARK(BM_RawEngineKey);

// Both paths in one loop, so drift of the machine falls on both alike. The
// raw keys undo and redo what the controller just did, so both see the same
// compositions.
void BM_ControllerOverRaw(benchmark::State& state) {
    prepare();
    const RimeApi* api = RimeLibrary::system()->api();
    const RimeSessionId session = bench().engine->sessionId();
    using Clock = std::chrono::steady_clock;
    Clock::duration controller{}, raw{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(controllerKey(0));
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(rawKey(api, session, 1));
        const auto t2 = Clock::now();
        benchmark::DoNotOptimize(rawKey(api, session, 0));
        const auto t3 = Clock::now();
        benchmark::DoNotOptimize(controllerKey(1));
        const auto t4 = Clock::now();
        controller += (t1 - t0) + (t4 - t3);
        raw += (t2 - t1) + (t3 - t2);
    }
    const double c = std::chrono::duration<double, std::nano>(controller).count();
    const double r = std::chrono::duration<double, std::nano>(raw).count();
    state.counters["controller_ns"] = benchmark::Counter(c / 2, benchmark::Counter::kAvgIterations);
    state.counters["raw_ns"] = benchmark::Counter(r / 2, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = r > 0 ? c / r : 0;
}
BENCHMARK(BM_ControllerOverRaw);

}  // namespace

int main(int argc, char** argv) { return sorvane::bench::runBenchmarks(argc, argv); }
