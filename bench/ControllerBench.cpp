// What a Chinese key costs the input controller as a user pays for it: the
// real SorvaneInputController with the real CandidatePanel (offscreen), each
// key followed by the frame it makes Qt paint, over a corpus of real pinyin
// sentences with Space commits, Backspace and paging. In the same pass and
// key by key, librime alone takes the same keys on a session of its own on
// the same data (process_key + get_context); which of the two goes first
// alternates from key to key, so drift of the machine falls on both alike.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>

#include "app/panels/CandidatePanel.h"
#include "app/panels/CandidatePanelPresenting.h"
#include "app/server/EngineBootstrap.h"
#include "app/server/SorvaneInputController.h"
#include "bench/BenchEngine.h"
#include "bench/KeyTimes.h"
#include "bench/PinyinCorpus.h"
#include "bench/WidgetBenchMain.h"
#include "engine/RimeLibrary.h"

namespace {

using namespace sorvane;
using namespace sorvane::bench;
namespace fs = std::filesystem;

// Engine notifications are dropped and no timer fires: the pass measures keys.
class IdleQueue final : public MainQueue {
public:
    void post(std::function<void()>) override {}
    QueueTaskId postAfter(std::chrono::milliseconds, std::function<void()>) override { return ++next_; }
    void cancel(QueueTaskId) override {}

private:
    QueueTaskId next_ = 0;
};

// A text field that records what the controller gives it.
class RecordingField final : public InputClient {
public:
    std::optional<std::string> bundleIdentifier() const override { return std::string("com.example.bench"); }
    std::optional<Rect> caretRect(int) const override { return Rect{100, 500, 1, 18}; }
    void setMarkedText(const std::string& text, TextRange selection, const std::vector<StyleRun>&) override {
        marked = text;
        caret = selection.location;
    }
    void insertText(const std::string& text) override { inserted += text; }
    bool isSecureInputOn() const override { return false; }
    std::uint64_t currentModifierFlags() const override { return 0; }

    std::string marked;
    int caret = 0;
    std::string inserted;
};

void BM_ControllerWithPanelOverLibrime(benchmark::State& state) {
    IdleQueue queue;
    RecordingField field;
    const fs::path home = fs::temp_directory_path() / "sorvane-bench-controller";
    fs::remove_all(home);
    fs::create_directories(home);
    ::setenv("HOME", home.c_str(), 1);
    RimeEngine* engine = EngineBootstrap::start(EngineBootstrap::layout(SORVANE_BUNDLE_DIR, home), queue);
    if (!engine) {
        state.SkipWithError("engine did not start");
        return;
    }
    engineShutdown() = [] { EngineBootstrap::shutdown(); };

    InputControllerEnvironment::Services s;
    s.engine = [engine] { return engine; };
    s.panel = &CandidatePanelPresenting::shared();
    s.showModeIndicator = [](InputMode, Rect) {};
    s.queue = &queue;
    s.settings = [] { return AppSettings{}; };
    s.ghostTest = [] { return false; };
    InputControllerEnvironment environment(std::move(s));
    SorvaneInputController controller(nullptr, &field, environment);
    controller.activateServer(&field);

    const RimeApi* api = RimeLibrary::system()->api();
    const RimeSessionId raw = api->create_session();
    const std::vector<KeyEvent> corpus = pinyinCorpus();
    const int threadsBefore = processThreads();

    KeyTimes controllerTimes, rawTimes;
    KeyTimes handleTimes, frameTimes;  // the two parts of a controller key
    std::size_t painted = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < corpus.size(); ++i) {
            const KeyEvent& key = corpus[i];
            const std::uint32_t keysym = rawKeysym(key);
            const auto controllerKey = [&] {
                const auto t0 = KeyTimes::Clock::now();
                benchmark::DoNotOptimize(controller.handleEvent(key, &field));
                const auto t1 = KeyTimes::Clock::now();
                // The frame the key asked for: painting of the panel.
                QCoreApplication::processEvents();
                handleTimes.add(t1 - t0);
                frameTimes.add(KeyTimes::Clock::now() - t1);
            };
            const auto rawOne = [&] { benchmark::DoNotOptimize(rawKeyAndContext(api, raw, keysym)); };
            if (i % 2 == 0) {
                controllerTimes.add(timed(controllerKey));
                rawTimes.add(timed(rawOne));
            } else {
                rawTimes.add(timed(rawOne));
                controllerTimes.add(timed(controllerKey));
            }
            if (CandidatePanel::shared().isVisible()) ++painted;
        }
    }
    controllerTimes.report(state, "controller");
    rawTimes.report(state, "librime");
    handleTimes.report(state, "key_event");
    frameTimes.report(state, "frame");
    state.counters["keys"] = static_cast<double>(controllerTimes.count());
    state.counters["panel_shown_keys"] = static_cast<double>(painted);
    state.counters["ratio_p50"] = ratio(controllerTimes.p50(), rawTimes.p50());
    state.counters["ratio_p95"] = ratio(controllerTimes.p95(), rawTimes.p95());
    // Threads that painting handed work to stay parked for a while after.
    state.counters["threads_started"] = processThreads() - threadsBefore;
    state.counters["committed_chars"] = static_cast<double>(field.inserted.size());
    api->destroy_session(raw);
}
BENCHMARK(BM_ControllerWithPanelOverLibrime)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return sorvane::bench::runWidgetBenchmarks(argc, argv, sorvane::bench::endEngine);
}
