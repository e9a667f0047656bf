#include "app/server/EngineBootstrap.h"

#include <pwd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <system_error>

#include "platform/Bundle.h"
#include "platform/SorvaneLog.h"
#include "platform/Uuid.h"
#include "platform/files/Files.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane::EngineBootstrap {
namespace {

std::unique_ptr<RimeEngine>& storage() {
    static std::unique_ptr<RimeEngine> engine;
    return engine;
}

std::string formatMs(double ms) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0f ms", ms);
    return buffer;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::string schemaOf(RimeEngine& engine) {
    const auto status = engine.status();
    return status ? status->schemaId : "?";
}

// "~" and "~/x" are the user's home, "~name/x" another user's.
std::string expandTilde(const std::string& path) {
    if (path.empty() || path[0] != '~') return path;
    const auto slash = path.find('/');
    const std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    std::string home;
    if (user.empty()) {
        const auto found = Files::findHomeDirectory();
        if (!found) return path;
        home = found->string();
    } else if (const passwd* pw = getpwnam(user.c_str())) {
        home = pw->pw_dir;
    } else {
        return path;
    }
    return slash == std::string::npos ? home : home + path.substr(slash);
}

void removeQuietly(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

}  // namespace

Layout layout(const std::filesystem::path& bundlePath, const std::filesystem::path& home) {
    Layout l;
    l.sharedDataDir = bundlePath / "Contents" / "SharedSupport" / "rime";
    l.userDataDir = home / "Library" / "SorvaneIME" / "rime";
    l.logDir = home / "Library" / "Logs" / "SorvaneIME";
    l.prebuiltDataDir = l.sharedDataDir / "build";
    l.stagingDir = l.userDataDir / "build";
    return l;
}

RimeEngine::Distribution distribution() {
    return {"SorvaneIME", "Sorvane", "0.1.0"};
}

RimeEngine* engine() {
    return storage().get();
}

RimeEngine* start() {
    return start(layout(Bundle::main().path, Files::homeDirectory()), QtMainQueue::shared());
}

RimeEngine* start(const Layout& dirs, MainQueue& queue) {
    if (storage()) return storage().get();
    (void)Files::createDirectories(dirs.logDir);

    auto created = RimeEngine::create({dirs.sharedDataDir.string(), dirs.userDataDir.string(), kAppName,
                                       distribution(), dirs.prebuiltDataDir.string(),
                                       dirs.stagingDir.string(), dirs.logDir.string(), kMinLogLevel});
    if (!created) {
        SorvaneLog::log("[Sorvane] engine start failed: " + created.error().description());
        return nullptr;
    }
    std::unique_ptr<RimeEngine> engine = std::move(*created);
    // librime calls this on its own threads; the record is written on the
    // main thread, after whatever it is doing now.
    engine->setOnNotification([&queue](const RimeNotification& notification) {
        queue.post([text = "[Sorvane] rime " + notification.description()] { SorvaneLog::log(text); });
    });

    const auto began = std::chrono::steady_clock::now();
    if (auto started = engine->start(true, false); !started) {
        SorvaneLog::log("[Sorvane] engine start failed: " + describe(started.error()));
        return nullptr;
    }
    if (auto session = engine->createSession(); !session) {
        SorvaneLog::log("[Sorvane] engine start failed: " + session.error().description());
        return nullptr;
    }
    const double elapsed = millisecondsSince(began);
    storage() = std::move(engine);
    RimeEngine& running = *storage();
    SorvaneLog::log("[Sorvane] librime " + running.version() + " up in " + formatMs(elapsed) +
                    " schema=" + schemaOf(running) + " shared=" + dirs.sharedDataDir.string());
    return &running;
}

bool shutdown() {
    if (!storage()) return false;
    storage()->shutdown();
    storage().reset();
    return true;
}

bool startWithinBound(double elapsedMs) {
    return elapsedMs <= 5000;
}

int runCheck(const std::vector<std::string>& arguments) {
    return runCheck(arguments, std::cout, nullptr);
}

namespace {

// What the check prints, and the labels of the checks that failed.
struct CheckReport {
    std::ostream& out;
    std::vector<std::string> failures;

    void println(const std::string& line) { out << line << '\n'; }
    void check(bool ok, const std::string& label) {
        println((ok ? "PASS  " : "FAIL  ") + label);
        if (!ok) failures.push_back(label);
    }
};

// The shared data folder named by --shared-dir, else the bundle's; none when
// the option has no value.
std::optional<std::string> sharedDirArgument(const std::vector<std::string>& arguments) {
    std::string shared = (Bundle::main().path / "Contents" / "SharedSupport" / "rime").string();
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "--shared-dir") continue;
        if (i + 1 == arguments.size()) return std::nullopt;
        shared = expandTilde(arguments[i + 1]);
        break;
    }
    return shared;
}

// Starts an engine on the shared data and a fresh user folder and opens a
// session, printing what it learns; none when any step fails.
std::unique_ptr<RimeEngine> startCheckedEngine(const std::filesystem::path& sharedPath,
                                               const std::filesystem::path& userDir,
                                               std::shared_ptr<RimeLibrary> library, CheckReport& report) {
    auto created = RimeEngine::create(
        {sharedPath.string(), userDir.string(), kAppName, distribution(), (sharedPath / "build").string(),
         (userDir / "build").string(), std::nullopt, kMinLogLevel},
        std::move(library));
    if (!created) {
        report.println("FAIL  engine start: " + created.error().description());
        return nullptr;
    }
    std::unique_ptr<RimeEngine> engine = std::move(*created);
    const auto began = std::chrono::steady_clock::now();
    if (auto started = engine->start(true, false); !started) {
        report.println("FAIL  engine start: " + describe(started.error()));
        return nullptr;
    }
    if (auto session = engine->createSession(); !session) {
        report.println("FAIL  engine start: " + session.error().description());
        return nullptr;
    }
    const double elapsed = millisecondsSince(began);
    report.println("start  : " + formatMs(elapsed));
    report.println("librime: " + engine->version());
    report.println("schema : " + schemaOf(*engine));
    report.println("PASS  engine started and session created");
    report.check(startWithinBound(elapsed),
                 "start under 5 s (a slower start means <shared>/build was not used)");
    return engine;
}

// Simplified first candidates prove the OpenCC data is in use.
void checkFirstCandidates(RimeEngine& engine, CheckReport& report) {
    auto firstCandidate = [&]() -> std::optional<std::string> {
        const auto context = engine.context();
        if (!context || context->candidates.empty()) return std::nullopt;
        return context->candidates.front().text;
    };

    engine.type("nihao");
    const auto context = engine.context();
    report.println("preedit: " + (context ? context->preedit : std::string("(none)")));
    const auto nihao = firstCandidate();
    report.println("cand 1 : " + nihao.value_or("(none)"));
    report.check(nihao == "你好", "first candidate for \"nihao\" is 你好");
    report.check(engine.getOption("zh_hans"), "option zh_hans is on (OpenCC simplification)");

    struct Case {
        const char* input;
        const char* expected;
        const char* traditional;
    };
    for (const Case& c :
         {Case{"zhongguo", "中国", "中國"}, Case{"fazhan", "发展", "發展"}, Case{"guojia", "国家", "國家"}}) {
        engine.clearComposition();
        engine.type(c.input);
        const auto first = firstCandidate();
        report.println(std::string("cand 1 : ") + c.input + " -> " + first.value_or("(none)"));
        report.check(first == c.expected, std::string("first candidate for \"") + c.input + "\" is " +
                                              c.expected + ", not " + c.traditional);
    }
    engine.clearComposition();
}

}  // namespace

int runCheck(const std::vector<std::string>& arguments, std::ostream& out,
             std::shared_ptr<RimeLibrary> library) {
    CheckReport report{out, {}};
    const std::optional<std::string> shared = sharedDirArgument(arguments);
    if (!shared) {
        report.println("FAIL --shared-dir needs a value");
        out.flush();
        return 1;
    }
    std::error_code tempError;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(tempError);
    if (tempError) {
        const char* tmpdir = std::getenv("TMPDIR");
        report.println("FAIL  temporary directory " + std::string(tmpdir ? tmpdir : "") + ": " +
                       tempError.message());
        out.flush();
        return 1;
    }
    const std::filesystem::path userDir = temp / ("sorvane-engine-check-" + Uuid::random());

    report.println("shared : " + *shared);
    report.println("user   : " + userDir.string() + "  (fresh)");

    const std::filesystem::path sharedPath(*shared);
    const auto t2s = (sharedPath / "opencc" / "t2s.json").string();
    std::error_code ec;
    report.check(std::filesystem::exists(t2s, ec), "opencc data present: " + t2s);

    auto finish = [&](int status) {
        out.flush();
        removeQuietly(userDir);
        return status;
    };

    std::unique_ptr<RimeEngine> engine = startCheckedEngine(sharedPath, userDir, std::move(library), report);
    if (!engine) return finish(1);
    checkFirstCandidates(*engine, report);

    if (!report.failures.empty()) {
        for (const auto& label : report.failures) report.println("  failed: " + label);
        report.println("FAIL: " + std::to_string(report.failures.size()) + " check(s) failed");
        engine->shutdown();
        return finish(1);
    }
    report.println("PASS: engine check ok");
    engine->shutdown();
    return finish(0);
}

}  // namespace sorvane::EngineBootstrap
