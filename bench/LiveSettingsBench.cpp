// The server reads the settings on every modifier change: the cached path must
// stay one stat and a comparison. Also the cost of a user-defaults write under
// its file lock.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "kit/settings/AppSettings.h"
#include "platform/files/UserDefaults.h"

namespace {

std::filesystem::path scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sorvane-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
}

void BM_LiveSettingsCachedRead(benchmark::State& state) {
    const auto dir = scratch();
    const sorvane::AppSettingsFile file{dir / "settings.json", nullptr};
    file.save(sorvane::AppSettings{}, false);
    sorvane::LiveSettings::Cache cache(file);
    for (auto _ : state) benchmark::DoNotOptimize(cache.current());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LiveSettingsCachedRead);

void BM_LiveSettingsReadAfterInvalidate(benchmark::State& state) {
    const auto dir = scratch();
    const sorvane::AppSettingsFile file{dir / "settings.json", nullptr};
    file.save(sorvane::AppSettings{}, false);
    sorvane::LiveSettings::Cache cache(file);
    for (auto _ : state) {
        cache.invalidate();
        benchmark::DoNotOptimize(cache.current());
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LiveSettingsReadAfterInvalidate);

void BM_UserDefaultsSet(benchmark::State& state) {
    const auto dir = scratch();
    sorvane::FileUserDefaults defaults(dir / "defaults.json");
    int i = 0;
    for (auto _ : state) defaults.setNumber("key", ++i);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_UserDefaultsSet);

}  // namespace
