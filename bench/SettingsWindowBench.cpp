// What opening the settings window costs a user: from the start of a new
// process (`SorvaneIME --settings hotkeys`, as the menu starts it) to its
// first painted frame. Beside it, in the same loop and alternating which goes
// first, a tiny Qt program that shows a window of the same size with a line
// of text: the floor that Qt itself sets ("ratio" is the window's time over
// it at the median). Each child says when its first frame is painted through
// a probe loaded into it; the benchmark's own time is the settings window's.
// The children share a private session bus and a HOME whose welcome is
// already shown, so nothing else starts beside them.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchMain.h"
#include "bench/KeyTimes.h"
#include "kit/settings/AppStateFile.h"
#include "tests/support/PrivateBus.h"

extern char** environ;

namespace sorvane {
namespace {

using Clock = std::chrono::steady_clock;

// A child that paints nothing by then has failed.
constexpr int kFrameLimitMs = 30'000;

// This process's environment with the probe added and a display platform
// for the children.
std::vector<std::string> childEnvironment() {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "LD_PRELOAD=", 11) != 0) environment.emplace_back(*entry);
    }
    environment.emplace_back(std::string("LD_PRELOAD=") + SORVANE_FIRST_FRAME_PROBE);
    environment.emplace_back("SORVANE_BENCH_FRAME_FD=3");
    if (!std::getenv("QT_QPA_PLATFORM")) environment.emplace_back("QT_QPA_PLATFORM=offscreen");
    return environment;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Starts the program with the probe's descriptor as 3 and waits for its
// byte: the time from the start to the first painted frame. The child is
// then waited for, outside the time. None when no frame came.
std::optional<Clock::duration> firstFrame(std::vector<std::string> argv,
                                          std::vector<std::string> environment) {
    int frame[2];
    if (::pipe2(frame, O_CLOEXEC) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, frame[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    auto args = pointers(argv);
    auto envp = pointers(environment);
    const auto started = Clock::now();
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(frame[1]);
    std::optional<Clock::duration> took;
    if (spawned == 0) {
        pollfd ready{frame[0], POLLIN, 0};
        char byte = 0;
        if (::poll(&ready, 1, kFrameLimitMs) == 1 && ::read(frame[0], &byte, 1) == 1)
            took = Clock::now() - started;
        else
            ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    ::close(frame[0]);
    return took;
}

void BM_SettingsWindowProcessFirstFrameOverPlainWindow(benchmark::State& state) {
    testing::PrivateBus bus;
    if (!bus.ok()) {
        state.SkipWithError("no private bus (dbus-daemon)");
        return;
    }
    const auto environment = childEnvironment();
    const auto settingsWindow = [&] {
        return firstFrame({SORVANE_EXECUTABLE, "--settings", "hotkeys"}, environment);
    };
    const auto plainWindow = [&] { return firstFrame({SORVANE_PLAIN_WINDOW}, environment); };

    bench::KeyTimes window, plain;
    bool windowFirst = true;
    for (auto _ : state) {
        std::optional<Clock::duration> ours, floor;
        if (windowFirst) {
            ours = settingsWindow();
            floor = plainWindow();
        } else {
            floor = plainWindow();
            ours = settingsWindow();
        }
        windowFirst = !windowFirst;
        if (!ours || !floor) {
            state.SkipWithError("a child showed no frame");
            break;
        }
        window.add(*ours);
        plain.add(*floor);
        state.SetIterationTime(std::chrono::duration<double>(*ours).count());
    }
    window.report(state, "settings_window");
    plain.report(state, "plain_window");
    state.counters["ratio"] = bench::ratio(window.p50(), plain.p50());
}
BENCHMARK(BM_SettingsWindowProcessFirstFrameOverPlainWindow)
    ->UseManualTime()
    ->MinTime(4.0)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sorvane

int main(int argc, char** argv) {
    // The window reads the user's settings and takes its lock in the runtime
    // folder: a HOME and a runtime folder of its own, so that a settings
    // window the user has open is neither read nor told.
    std::string home = (std::filesystem::temp_directory_path() / "sorvane-bench-settings-XXXXXX").string();
    if (!mkdtemp(home.data())) return 1;
    const std::string runtime = home + "/run";
    if (::mkdir(runtime.c_str(), 0700) != 0) return 1;
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    if (!sorvane::AppStateFile::live().markWelcomeShown(std::chrono::system_clock::now())) return 1;
    return sorvane::bench::runBenchmarks(argc, argv, [&home] { std::filesystem::remove_all(home); });
}
