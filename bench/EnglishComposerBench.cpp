// The English mode as a user pays for it: keys typed through the English
// composer into the real candidate panel (offscreen, each key followed by
// the frame it makes Qt paint), with the real typing rhythm recording every
// gap and saving to the user-defaults file every 50 of them.
//  - BM_KeyByBufferLength: keys into a buffer of about 100 characters and,
//    interleaved key by key, into one of about 3,000.
//  - BM_KeyDuringLongReply: a 20 kB reply streams in on another thread
//    through the real reply reader while keys arrive from a third thread;
//    how long each key waits until the main thread has handled it.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/panels/CandidatePanel.h"
#include "app/panels/QtScreens.h"
#include "bench/KeyTimes.h"
#include "bench/WidgetBenchMain.h"
#include "kit/english/EnglishComposer.h"
#include "kit/english/TypingRhythm.h"
#include "platform/files/UserDefaults.h"
#include "platform/qt/QtMainQueue.h"
#include "prediction/StreamingReply.h"

namespace {

using namespace sorvane;
using namespace sorvane::bench;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The controller's part of the English road: marked text to the field, the
// model to the panel (the shared one unless given its own).
class PanelHost final : public EnglishComposerHost {
public:
    explicit PanelHost(CandidatePanel& panel = CandidatePanel::shared()) : panel_(panel) {}
    void englishCompositionChanged(const std::string& text, int caret) override {
        marked = text.size() + static_cast<std::size_t>(caret);
    }
    void englishCompositionCleared() override { marked = 0; }
    void insertText(const std::string& text) override { inserted += text.size(); }
    void showEnglishPanel(const EnglishPanelModel& model) override {
        ++shown;
        panel_.show(PanelContent::english(model), {100, 500, 1, 18});
    }
    void hideEnglishPanel() override { panel_.hide(); }

    std::size_t marked = 0;
    std::size_t inserted = 0;
    std::size_t shown = 0;

private:
    CandidatePanel& panel_;
};

// Asks for nothing: typing alone.
class SilentProvider final : public SuggestionProvider {
public:
    std::shared_ptr<SuggestionTask> schedule(const std::string&, PartialHandler) override { return nullptr; }
    void cancelInFlight() override {}
    std::optional<Suggestion> prefixSuggestion(const Suggestion&, const std::string&) const override {
        return std::nullopt;
    }
};

// A reply of about `bytes` bytes, streamed token by token through the reply
// reader on a thread of its own, far past anything a request allows.
class LongReplyProvider final : public SuggestionProvider {
public:
    explicit LongReplyProvider(std::size_t bytes) {
        tokens_ = {"{\"normalized\": \"",  "I", " want", " to", " book", " a", " table", "\",",
                   " \"continuation\": \""};
        static const char* words[] = {" for", " two", " people", " tonight", " at", " seven", ",", " please"};
        std::size_t size = 0;
        for (std::size_t i = 0; size < bytes; ++i) {
            tokens_.push_back(words[i % 8]);
            size += tokens_.back().size();
        }
        tokens_.push_back(".\"}");
    }
    ~LongReplyProvider() override {
        for (auto& t : threads_) t.join();
    }
    std::shared_ptr<SuggestionTask> schedule(const std::string&, PartialHandler onPartial) override {
        auto task = std::make_shared<SuggestionTask>();
        threads_.emplace_back([this, task, onPartial] {
            StreamingReply reply;
            for (const std::string& token : tokens_) {
                if (task->isCancelled()) break;
                if (auto partial = reply.take(SSEEvent::delta(token))) {
                    ++partialsSent;
                    onPartial(*partial);
                }
                std::this_thread::sleep_for(20us);  // tokens come over a network
            }
            if (task->isCancelled()) {
                task->finish(unexpected(SuggestionFailure(CancellationError{})));
                return;
            }
            auto final = reply.finalSuggestion();
            if (final) {
                task->finish(*final);
            } else {
                task->finish(unexpected(SuggestionFailure(final.error())));
            }
        });
        return task;
    }
    void cancelInFlight() override {}
    std::optional<Suggestion> prefixSuggestion(const Suggestion&, const std::string&) const override {
        return std::nullopt;
    }

    std::atomic<std::size_t> partialsSent{0};

private:
    std::vector<std::string> tokens_;
    std::vector<std::thread> threads_;
};

std::shared_ptr<TypingRhythm> fileRhythm() {
    const fs::path home = fs::temp_directory_path() / "sorvane-bench-english";
    fs::remove_all(home);
    fs::create_directories(home);
    auto defaults = std::make_shared<FileUserDefaults>(home / "defaults.json");
    return std::make_shared<TypingRhythm>(
        defaults, [] { return std::chrono::system_clock::now(); }, TypingRhythm::Writes::onWriterThread);
}

std::string textOfLength(std::size_t n) {
    const std::string words = "wo xiang book a table for two tonight ";
    std::string text;
    while (text.size() < n) text += words;
    text.resize(n);
    return text;
}

void BM_KeyByBufferLength(benchmark::State& state) {
    // Each sentence has a panel of its own, as each is typed on its own: the
    // interleaving must not make either one lay out the other's line.
    const CandidatePanel::Services services{QtMainQueue::shared(), QtScreenProvider::shared(),
                                            QtTextMetrics::shared()};
    CandidatePanel shortPanel(services), longPanel(services);
    PanelHost shortHost(shortPanel), longHost(longPanel);
    auto rhythm = fileRhythm();
    auto provider = std::make_shared<SilentProvider>();
    EnglishComposer shortLine(&shortHost, provider, QtMainQueue::shared());
    EnglishComposer longLine(&longHost, provider, QtMainQueue::shared());
    shortLine.setRhythm(rhythm);
    longLine.setRhythm(rhythm);
    KeyTimes shortKeys, longKeys;
    constexpr int kKeys = 400;
    const int threadsBefore = processThreads();
    for (auto _ : state) {
        for (int i = 0; i < kKeys; ++i) {
            // Each buffer starts again every 40 keys, so its length stays put.
            if (i % 40 == 0) {
                shortLine.reset();
                shortLine.begin(textOfLength(100));
                longLine.reset();
                longLine.begin(textOfLength(3000));
                QCoreApplication::processEvents();
            }
            const auto key = [](EnglishComposer& composer) {
                return [&composer] {
                    composer.handle(EnglishKey::text("x"));
                    QCoreApplication::processEvents();  // the request hand-off and the frame
                };
            };
            if (i % 2 == 0) {
                shortKeys.add(timed(key(shortLine)));
                longKeys.add(timed(key(longLine)));
            } else {
                longKeys.add(timed(key(longLine)));
                shortKeys.add(timed(key(shortLine)));
            }
        }
    }
    rhythm->flush();
    shortKeys.report(state, "chars100");
    longKeys.report(state, "chars3000");
    state.counters["ratio_p50_3000_over_100"] = ratio(longKeys.p50(), shortKeys.p50());
    state.counters["p95_over_p50_at_100"] = ratio(shortKeys.p95(), shortKeys.p50());
    state.counters["p95_over_p50_at_3000"] = ratio(longKeys.p95(), longKeys.p50());
    state.counters["max_us_at_100"] = shortKeys.max();
    state.counters["rhythm_samples"] = static_cast<double>(rhythm->sampleCount());
    // The rhythm's writer is one thread, started before this count.
    state.counters["threads_started"] = processThreads() - threadsBefore;
}
BENCHMARK(BM_KeyByBufferLength)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_KeyDuringLongReply(benchmark::State& state) {
    PanelHost host;
    auto rhythm = fileRhythm();
    KeyTimes waits;
    std::size_t partials = 0, shown = 0;
    constexpr int kReplies = 10;
    for (auto _ : state) {
        for (int r = 0; r < kReplies; ++r) {
            auto provider = std::make_shared<LongReplyProvider>(20 * 1024);
            EnglishComposer composer(&host, provider, QtMainQueue::shared());
            composer.setRhythm(rhythm);
            composer.setWaitingDelayResolver([] { return 0.0; });
            const std::size_t shownBefore = host.shown;
            composer.begin("i want to book a table");

            // Keys come from the application while the reply streams: one
            // every 25 ms, each timed from its arrival to its answer.
            std::atomic<bool> sent{false};
            std::thread sender([&] {
                for (int k = 0; k < 8; ++k) {
                    std::this_thread::sleep_for(25ms);
                    const auto sent = KeyTimes::Clock::now();
                    QMetaObject::invokeMethod(
                        qApp,
                        [&, sent] {
                            // The key lands on the old request's tail, after
                            // the first one has already made a new request.
                            composer.handle(EnglishKey::text(" "));
                            waits.add(KeyTimes::Clock::now() - sent);
                        },
                        Qt::QueuedConnection);
                }
                sent = true;
            });
            // The last key's own request streams on to its end.
            QEventLoop loop;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (sent) QTimer::singleShot(400, &loop, &QEventLoop::quit);
                if (sent) poll.stop();
            });
            poll.start(5);
            loop.exec();
            sender.join();
            QCoreApplication::processEvents();
            partials += provider->partialsSent;
            shown += host.shown - shownBefore;
        }
    }
    rhythm->flush();
    waits.report(state, "key_wait");
    state.counters["key_wait_max_us"] = waits.max();
    state.counters["keys"] = static_cast<double>(waits.count());
    state.counters["partials_per_reply"] = static_cast<double>(partials) / kReplies;
    state.counters["panel_updates_per_reply"] = static_cast<double>(shown) / kReplies;
}
BENCHMARK(BM_KeyDuringLongReply)->Iterations(1)->Unit(benchmark::kMillisecond);

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

int main(int argc, char** argv) {
    return sorvane::bench::runWidgetBenchmarks(argc, argv);
}
