// What a command-line option costs the installer or a user: the real
// executable run as a child for `--help` and `--status`, beside the exec of a
// trivial program, interleaved in one loop, each iteration starting with the
// next of the three, so that machine load hits all three alike. Reported as
// milliseconds per run, as the cost over a bare exec and as its ratio to it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace {

double runMilliseconds(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void BM_OptionsBesideABareExec(benchmark::State& state) {
    const std::string exe = SORVANE_EXECUTABLE;
    double help = 0, status = 0, bare = 0;
    std::size_t first = 0;
    for (auto _ : state) {
        for (std::size_t k = 0; k < 3; ++k) {
            switch ((first + k) % 3) {
                case 0:
                    help += runMilliseconds({exe, "--help"});
                    break;
                case 1:
                    status += runMilliseconds({exe, "--status"});
                    break;
                default:
                    bare += runMilliseconds({"/bin/true"});
                    break;
            }
        }
        first = (first + 1) % 3;
    }
    const double n = double(state.iterations());
    state.counters["help_ms"] = help / n;
    state.counters["status_ms"] = status / n;
    state.counters["bare_exec_ms"] = bare / n;
    state.counters["help_over_bare_ms"] = (help - bare) / n;
    state.counters["status_over_bare_ms"] = (status - bare) / n;
    state.counters["help_ratio"] = bare > 0 ? help / bare : 0;
    state.counters["status_ratio"] = bare > 0 ? status / bare : 0;
}
BENCHMARK(BM_OptionsBesideABareExec)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
