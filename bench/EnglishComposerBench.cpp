// The per-key cost of the English mode: one typed key through the composer
// (buffer edit, marked text, panel model, request hand-off) into buffers of
// growing length, and the rhythm's pause recomputed after a new sample over
// the full 2000 samples.
#include <benchmark/benchmark.h>

#include <vector>

#include "kit/EnglishComposer.h"
#include "kit/TypingRhythm.h"

namespace {

using namespace sorvane;

class NullHost final : public EnglishComposerHost {
public:
    void englishCompositionChanged(const std::string& text, int caret) override {
        benchmark::DoNotOptimize(text.size() + static_cast<std::size_t>(caret));
    }
    void englishCompositionCleared() override {}
    void insertText(const std::string&) override {}
    void showEnglishPanel(const EnglishPanelModel& model) override {
        benchmark::DoNotOptimize(model.buffer().size());
    }
    void hideEnglishPanel() override {}
};

// Runs posted work at once when drained; delayed work is dropped.
class DrainQueue final : public MainQueue {
public:
    void post(std::function<void()> task) override { tasks_.push_back(std::move(task)); }
    QueueTaskId postAfter(std::chrono::milliseconds, std::function<void()>) override { return ++next_; }
    void cancel(QueueTaskId) override {}
    void drain() {
        while (!tasks_.empty()) {
            auto batch = std::move(tasks_);
            tasks_.clear();
            for (auto& task : batch) task();
        }
    }

private:
    std::vector<std::function<void()>> tasks_;
    QueueTaskId next_ = 0;
};

class SilentProvider final : public SuggestionProvider {
public:
    std::shared_ptr<SuggestionTask> schedule(const std::string&, PartialHandler) override { return nullptr; }
    void cancelInFlight() override {}
    std::optional<Suggestion> prefixSuggestion(const Suggestion&, const std::string&) const override {
        return std::nullopt;
    }
};

void BM_TypedKey(benchmark::State& state) {
    NullHost host;
    DrainQueue queue;
    EnglishComposer composer(&host, std::make_shared<SilentProvider>(), queue);
    const std::string words = "wo xiang book a table for two ";
    std::string start;
    while (start.size() < static_cast<std::size_t>(state.range(0))) start += words;
    start.resize(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        composer.reset();
        composer.begin(start);
        queue.drain();
        state.ResumeTiming();
        composer.handle(EnglishKey::text("x"));
        queue.drain();
    }
}
BENCHMARK(BM_TypedKey)->Arg(10)->Arg(80)->Arg(300);

class NoDefaults final : public UserDefaults {
public:
    std::optional<nlohmann::json> value(std::string_view) const override { return std::nullopt; }
    bool setValue(std::string_view, const nlohmann::json&) override { return true; }
    bool remove(std::string_view) override { return true; }
};

void BM_PauseAfterNewSample(benchmark::State& state) {
    TypingRhythm rhythm(std::make_shared<NoDefaults>());
    for (int i = 0; i < 2000; ++i) rhythm.record(0.05 + (i % 37) * 0.02);
    for (auto _ : state) {
        rhythm.record(0.2);  // drops the cached pause
        benchmark::DoNotOptimize(rhythm.pause());
    }
}
BENCHMARK(BM_PauseAfterNewSample);

}  // namespace

BENCHMARK_MAIN();
