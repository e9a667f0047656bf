// One refresh of the typing-rhythm page, as it runs on the settings window's
// main thread every 2 s: the user defaults read, a snapshot of the full 2000
// samples built and every value of the page worked out; beside it, in the
// same loop and alternating which goes first, a bare parse of the same
// defaults file, the floor that reading it sets ("ratio" is the refresh's
// over it).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "bench/BenchMain.h"
#include "bench/KeyTimes.h"
#include "kit/english/TypingRhythm.h"
#include "kit/settings/TypingRhythmPresenter.h"
#include "platform/files/UserDefaults.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;

std::filesystem::path defaultsFile;

void BM_RhythmRefreshOverBareParse(benchmark::State& state) {
    const auto calendar = TypingRhythm::Calendar::current();
    const auto refresh = [&] {
        const auto snapshot = TypingRhythm(std::make_shared<FileUserDefaults>(kSorvaneBundleId)).snapshot();
        const auto page =
            TypingRhythmPresenter::present(snapshot, std::chrono::system_clock::now(), calendar);
        benchmark::DoNotOptimize(page.pauseMs);
        if (page.sampleCount != TypingRhythm::maxSamples) state.SkipWithError("the samples did not load");
    };
    const auto bareParse = [] {
        std::ifstream in(defaultsFile, std::ios::binary);
        const std::string text(std::istreambuf_iterator<char>(in), {});
        auto json = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(json);
    };
    bench::alternate(state, "refresh", refresh, "bare_parse", bareParse);
}
BENCHMARK(BM_RhythmRefreshOverBareParse)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sorvane

int main(int argc, char** argv) {
    using namespace sorvane;
    std::string home = (std::filesystem::temp_directory_path() / "sorvane-bench-rhythm-XXXXXX").string();
    if (!mkdtemp(home.data())) return 1;
    setenv("HOME", home.c_str(), 1);
    {
        // A full day of typing: 2000 gaps over the last ten hours.
        auto at = std::chrono::system_clock::now() - 10h;
        TypingRhythm recorder(std::make_shared<FileUserDefaults>(kSorvaneBundleId),
                              [&at] { return at += 18s; });
        for (std::size_t i = 0; i < TypingRhythm::maxSamples; ++i)
            recorder.record(0.08 + double(i % 23) * 0.04);
        recorder.save();
    }
    defaultsFile = Files::preferencesDirectory() / (std::string(kSorvaneBundleId) + ".json");
    return sorvane::bench::runBenchmarks(argc, argv, [&home] { std::filesystem::remove_all(home); });
}
