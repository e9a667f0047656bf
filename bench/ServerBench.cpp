// What a Chinese key costs through the real server, as an application pays
// for it: the server executable on a private session bus, typed into through
// the client library over the corpus of pinyin sentences, once with its
// panel drawn offscreen and once on a real X server (Xvfb) when one can be
// started. Key by key, in the same pass, a key that the server passes
// straight through (Command held: it is left to the application before any
// composing) gives the round trip's floor, and librime alone in this process
// takes the same key on the same data (process_key + get_context). The
// three rotate which goes first.
//
// Beside the wall-clock round trips, which load on the machine stretches,
// it counts CPU time: the server's, all threads, from the scheduler's
// account around each key, waiting after each call until the server has
// nothing left to do (the panel painted), so that a key's paint is the
// key's and never the next call's; and librime's, this thread's CPU time
// around the same key. By key kind: letter, Space commit, digit pick,
// punctuation, Backspace, paging. The figure is
//   (server CPU per Chinese key - per pass-through key) / librime CPU per key.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <array>
#include <cstdio>
#include <filesystem>

#include "bench/BenchEngine.h"
#include "bench/KeyTimes.h"
#include "bench/PinyinCorpus.h"
#include "bench/ProcessCpu.h"
#include "bench/XvfbDisplay.h"
#include "engine/RimeLibrary.h"
#include "kit/settings/AppSettings.h"
#include "kit/settings/AppStateFile.h"
#include "platform/imk/IMKClient.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateBus.h"

namespace {

using namespace sorvane;
using namespace sorvane::bench;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

const QString kConnection = QStringLiteral("cn.kestrum.inputmethod.Sorvane_Connection");

enum class KeyKind { letter, space, digit, punctuation, backspace, paging };
constexpr std::array<const char*, 6> kKindNames = {"letter", "space",     "digit",
                                                   "punct",  "backspace", "paging"};

KeyKind kindOf(const KeyEvent& key) {
    switch (key.keyCode) {
        case 49:
            return KeyKind::space;
        case 51:
            return KeyKind::backspace;
        case 116:
        case 121:
            return KeyKind::paging;
        default:
            break;
    }
    const char c = key.characters.empty() ? '\0' : key.characters[0];
    if (c >= 'a' && c <= 'z') return KeyKind::letter;
    if (c >= '0' && c <= '9') return KeyKind::digit;
    return KeyKind::punctuation;
}

// What the keys of one kind cost.
struct Tally {
    std::int64_t serverNs = 0;
    std::int64_t serverRuns = 0;
    std::int64_t librimeNs = 0;
    std::size_t keys = 0;

    void add(const Tally& other) {
        serverNs += other.serverNs;
        serverRuns += other.serverRuns;
        librimeNs += other.librimeNs;
        keys += other.keys;
    }
    double perKey(double total) const { return keys ? total / static_cast<double>(keys) : 0; }
    double serverUs() const { return perKey(serverNs / 1e3); }
    double runs() const { return perKey(static_cast<double>(serverRuns)); }
    double librimeUs() const { return perKey(librimeNs / 1e3); }
};

// A HOME as a returning user has it: the welcome was shown (else the first
// activation starts the settings window, a second process that asks the
// keyring, in the middle of the keys), and no update check starts in the
// middle of them either. One per process: runs side by side must not clear
// each other's.
fs::path benchHome() {
    const fs::path home =
        fs::temp_directory_path() / ("sorvane-bench-server-home-" + std::to_string(::getpid()));
    fs::remove_all(home);
    const fs::path folder = home / "Library" / "SorvaneIME";
    fs::create_directories(folder);
    AppStateFile{folder / "state.json"}.markWelcomeShown(std::chrono::system_clock::now());
    AppSettings settings;
    settings.autoCheckUpdates = false;
    AppSettingsFile{folder / "settings.json", nullptr}.save(settings, false);
    return home;
}

// SORVANE_BENCH_SERVER_KEYS shortens a run (many runs back to back, to
// catch a call that never returns); else the benchmark's argument.
std::size_t keyCount(const benchmark::State& state) {
    if (const char* keys = std::getenv("SORVANE_BENCH_SERVER_KEYS")) {
        const long n = std::strtol(keys, nullptr, 10);
        if (n > 0) return static_cast<std::size_t>(n);
    }
    return static_cast<std::size_t>(state.range(0));
}

// librime's user folder for this process's own session.
const std::string& rimeFolder() {
    static const std::string name = "sorvane-bench-server-rime-" + std::to_string(::getpid());
    return name;
}

enum class Display { offscreen, x11 };

void BM_ServerKeyOverLibrime(benchmark::State& state, Display display) {
    std::unique_ptr<XvfbDisplay> x;
    std::map<std::string, std::string> env{{"SORVANE_LOG_STDERR", "1"}};
    if (display == Display::x11) {
        x = std::make_unique<XvfbDisplay>();
        if (x->name().empty()) {
            state.SkipWithError("no X server (install xvfb)");
            return;
        }
        env["QT_QPA_PLATFORM"] = "xcb";
        env["DISPLAY"] = x->name();
    } else {
        env["QT_QPA_PLATFORM"] = "offscreen";
    }
    testing::PrivateBus bus;
    if (!bus.ok()) {
        state.SkipWithError("no private bus (dbus-daemon)");
        return;
    }
    const fs::path home = benchHome();
    ::setenv("HOME", home.c_str(), 1);
    testing::ChildProcess server(std::string(SORVANE_BUNDLE_DIR) + "/Contents/MacOS/SorvaneIME", {}, env);
    if (!server.waitForStderr("[Sorvane] server up", 60s)) {
        state.SkipWithError("server did not come up");
        return;
    }

    RimeEngine* engine = benchEngine(rimeFolder().c_str());
    const RimeApi* api = RimeLibrary::system()->api();
    const RimeSessionId raw = engine->sessionId();
    api->clear_composition(raw);

    // A name of its own per run: a name once used stays with its old bus.
    static int runs = 0;
    const QString busName = QStringLiteral("bench%1").arg(++runs);
    QDBusConnection connection =
        QDBusConnection::connectToBus(QString::fromStdString(bus.address()), busName);
    std::string inserted;
    std::size_t failures = 0;
    KeyTimes chinese, passThrough, librime;
    std::array<Tally, kKindNames.size()> kinds{};
    Tally pass;
    {
        IMKClient client(connection, kConnection);
        client.setBundleIdentifier(std::string("com.example.bench"));
        client.setCaretRect(Rect{100, 500, 1, 18});
        if (!client.waitForServer(10s) || !client.openSession() || !client.activate()) {
            state.SkipWithError("no session with the server");
            return;
        }
        client.onInsertText = [&](const std::string& text) { inserted += text; };

        const ProcessCpu cpu(server.pid());
        const std::vector<KeyEvent> corpus = pinyinCorpus(keyCount(state));
        for (auto _ : state) {
            cpu.settle();
            for (std::size_t i = 0; i < corpus.size(); ++i) {
                const KeyEvent& key = corpus[i];
                KeyEvent shortcut = key;
                shortcut.modifierFlags |= ModifierFlag::command;
                const std::uint32_t keysym = rawKeysym(key);
                Tally& kind = kinds[static_cast<std::size_t>(kindOf(key))];
                // Each server call starts with the server idle and ends
                // when it is idle again.
                const auto serverCall = [&](const KeyEvent& event, KeyTimes& times, Tally& tally) {
                    const ProcessCpu::Reading before = cpu.read();
                    times.add(timed([&] { failures += client.keyDown(event) ? 0 : 1; }));
                    const ProcessCpu::Spent spent = ProcessCpu::spent(before, cpu.settle());
                    tally.serverNs += spent.ns;
                    tally.serverRuns += spent.runs;
                };
                const auto typeKey = [&] {
                    serverCall(key, chinese, kind);
                    ++kind.keys;
                };
                const auto typeShortcut = [&] {
                    serverCall(shortcut, passThrough, pass);
                    ++pass.keys;
                };
                const auto rawOne = [&] {
                    const std::int64_t t0 = threadCpuNanoseconds();
                    librime.add(timed([&] { benchmark::DoNotOptimize(rawKeyAndContext(api, raw, keysym)); }));
                    kind.librimeNs += threadCpuNanoseconds() - t0;
                };
                switch (i % 3) {
                    case 0:
                        typeKey();
                        typeShortcut();
                        rawOne();
                        break;
                    case 1:
                        typeShortcut();
                        rawOne();
                        typeKey();
                        break;
                    default:
                        rawOne();
                        typeKey();
                        typeShortcut();
                        break;
                }
            }
        }
        client.closeSession();
    }
    QDBusConnection::disconnectFromBus(busName);

    chinese.report(state, "server_key");
    passThrough.report(state, "pass_through");
    librime.report(state, "librime");
    state.counters["keys"] = static_cast<double>(chinese.count());
    state.counters["failed_calls"] = static_cast<double>(failures);
    state.counters["committed_bytes"] = static_cast<double>(inserted.size());
    // What the server adds over the round trip, against librime's own cost.
    state.counters["ratio_p50_over_floor"] = ratio(chinese.p50() - passThrough.p50(), librime.p50());

    // The same in CPU time, per key kind and over every Chinese key.
    Tally all;
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        const Tally& t = kinds[k];
        all.add(t);
        const std::string name = kKindNames[k];
        state.counters["cpu_" + name + "_us"] = t.serverUs();
        state.counters["rime_" + name + "_us"] = t.librimeUs();
        // Beyond librime's own work and the round trip's floor.
        state.counters["extra_" + name + "_us"] = t.serverUs() - pass.serverUs() - t.librimeUs();
        state.counters["runs_" + name] = t.runs();
    }
    state.counters["cpu_pass_us"] = pass.serverUs();
    // How often the server's threads were put on a CPU per key: each
    // hand-over between its threads or to the display costs a switch.
    state.counters["runs_pass"] = pass.runs();
    state.counters["runs_all"] = all.runs();
    state.counters["cpu_key_us"] = all.serverUs();
    state.counters["rime_key_us"] = all.librimeUs();
    state.counters["ratio_cpu"] = ratio(all.serverUs() - pass.serverUs(), all.librimeUs());

    server.signal(SIGTERM);
    server.wait(20s);
    fs::remove_all(home);
}
// The argument: at least this many keys, the sentences typed over and over
// (SORVANE_BENCH_SERVER_KEYS overrides it).
BENCHMARK_CAPTURE(BM_ServerKeyOverLibrime, offscreen, Display::offscreen)
    ->Arg(10000)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ServerKeyOverLibrime, x11, Display::x11)
    ->Arg(10000)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return sorvane::bench::runBenchmarks(argc, argv, [] {
        sorvane::bench::endEngine();
        fs::remove_all(fs::temp_directory_path() / rimeFolder());
    });
}
