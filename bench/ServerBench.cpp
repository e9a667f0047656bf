// What a Chinese key costs through the real server, as an application pays
// for it: the server executable on a private session bus, typed into through
// the client library over the corpus of pinyin sentences. Key by key, in the
// same pass, a key that the server passes straight through (Command held: it
// is left to the application before any composing) gives the round trip's
// floor, and librime alone in this process takes the same key on the same
// data (process_key + get_context). The three rotate which goes first.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>
#include <filesystem>

#include "bench/BenchEngine.h"
#include "bench/KeyTimes.h"
#include "bench/PinyinCorpus.h"
#include "engine/RimeLibrary.h"
#include "platform/imk/IMKClient.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateBus.h"

namespace {

using namespace sorvane;
using namespace sorvane::bench;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

const QString kConnection = QStringLiteral("cn.kestrum.inputmethod.Sorvane_Connection");

void BM_ServerKeyOverLibrime(benchmark::State& state) {
    testing::PrivateBus bus;
    if (!bus.ok()) {
        state.SkipWithError("no private bus (dbus-daemon)");
        return;
    }
    const fs::path home = fs::temp_directory_path() / "sorvane-bench-server-home";
    fs::remove_all(home);
    fs::create_directories(home);
    ::setenv("HOME", home.c_str(), 1);
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    testing::ChildProcess server(
        std::string(SORVANE_BUNDLE_DIR) + "/Contents/MacOS/SorvaneIME", {},
        {{"QT_QPA_PLATFORM", platform ? platform : "offscreen"}, {"SORVANE_LOG_STDERR", "1"}});
    if (!server.waitForStderr("[Sorvane] server up", 60s)) {
        state.SkipWithError("server did not come up");
        return;
    }

    RimeEngine* engine = benchEngine("sorvane-bench-server-rime");
    const RimeApi* api = RimeLibrary::system()->api();
    const RimeSessionId raw = engine->sessionId();

    QDBusConnection connection =
        QDBusConnection::connectToBus(QString::fromStdString(bus.address()), "bench");
    IMKClient client(connection, kConnection);
    client.setBundleIdentifier(std::string("com.example.bench"));
    client.setCaretRect(Rect{100, 500, 1, 18});
    if (!client.waitForServer(10s) || !client.openSession() || !client.activate()) {
        state.SkipWithError("no session with the server");
        return;
    }
    std::string inserted;
    client.onInsertText = [&](const std::string& text) { inserted += text; };

    const std::vector<KeyEvent> corpus = pinyinCorpus();
    KeyTimes chinese, passThrough, librime;
    std::size_t failures = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < corpus.size(); ++i) {
            const KeyEvent& key = corpus[i];
            KeyEvent shortcut = key;
            shortcut.modifierFlags |= ModifierFlag::command;
            const std::uint32_t keysym = rawKeysym(key);
            const auto typeKey = [&] { failures += client.keyDown(key) ? 0 : 1; };
            const auto typeShortcut = [&] { failures += client.keyDown(shortcut) ? 0 : 1; };
            const auto rawOne = [&] { benchmark::DoNotOptimize(rawKeyAndContext(api, raw, keysym)); };
            switch (i % 3) {
                case 0:
                    chinese.add(timed(typeKey));
                    passThrough.add(timed(typeShortcut));
                    librime.add(timed(rawOne));
                    break;
                case 1:
                    passThrough.add(timed(typeShortcut));
                    librime.add(timed(rawOne));
                    chinese.add(timed(typeKey));
                    break;
                default:
                    librime.add(timed(rawOne));
                    chinese.add(timed(typeKey));
                    passThrough.add(timed(typeShortcut));
                    break;
            }
        }
    }
    chinese.report(state, "server_key");
    passThrough.report(state, "pass_through");
    librime.report(state, "librime");
    state.counters["keys"] = static_cast<double>(chinese.count());
    state.counters["failed_calls"] = static_cast<double>(failures);
    state.counters["committed_bytes"] = static_cast<double>(inserted.size());
    // What the server adds over the round trip, against librime's own cost.
    state.counters["ratio_p50_over_floor"] = ratio(chinese.p50() - passThrough.p50(), librime.p50());
    state.counters["ratio_p95_over_floor"] = ratio(chinese.p95() - passThrough.p95(), librime.p95());
    state.counters["ratio_p50_whole"] = ratio(chinese.p50(), librime.p50());

    client.closeSession();
    server.signal(SIGTERM);
    server.wait(20s);
}
BENCHMARK(BM_ServerKeyOverLibrime)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return sorvane::bench::runBenchmarks(argc, argv, sorvane::bench::endEngine);
}
