#include "app/cli/RegistrationOptions.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "app/server/GhostTest.h"
#include "platform/Bundle.h"
#include "platform/qt/QtRunLoop.h"

namespace sorvane::RegistrationOptions {
namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;
constexpr double kRegisterTimeout = 5.0;

void writeError(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

void printLine(const std::string& line) {
    std::cout << line << '\n' << std::flush;
}

const char* word(bool flag) {
    return flag ? "true" : "false";
}

int okOrFailed(const char* verb, bool ok) {
    printLine(std::string(verb) + (ok ? " ok " : " failed ") + std::string(InputSourceRegistrar::modeID));
    return ok ? kSuccess : kFailure;
}

int install(InputSourceRegistrar& registrar, TextInputSources& sources) {
    const std::string path = Bundle::main().path.string();
    const InputSourceStatus status = sources.registerBundle(Bundle::main().path);
    printLine(status == InputSourceStatusCode::ok ? "register queued " + path
                                                  : "register err(" + std::to_string(status) + ") " + path);
    // Registration may land a moment later; the installer's next step
    // (enabling) needs the mode to be there.
    registrar.waitForSourceToAppear(kRegisterTimeout);
    return status == InputSourceStatusCode::ok ? kSuccess : kFailure;
}

int restore(InputSourceRegistrar& registrar, const std::vector<std::string>& rest) {
    if (rest.empty()) {
        writeError("--restore needs an input source ID\n");
        return kUsage;
    }
    const std::string& id = rest.front();
    const bool ok = registrar.select(id);
    printLine(std::string(ok ? "restore ok " : "restore failed ") + id + " -> now " +
              registrar.currentSourceID().value_or("?"));
    return ok ? kSuccess : kFailure;
}

int status(InputSourceRegistrar& registrar) {
    const auto s = registrar.status();
    printLine("id=" + std::string(InputSourceRegistrar::modeID) + " registered=" + word(s.registered) +
              " enabled=" + word(s.enabled) + " selected=" + word(s.selected));
    printLine("current=" + registrar.currentSourceID().value_or(""));
    printLine(std::string("ghostTest=") + word(GhostTest::isEnabled()));
    return s.registered ? kSuccess : kFailure;
}

int list(InputSourceRegistrar& registrar) {
    auto ids = registrar.allSourceIDs();
    std::sort(ids.begin(), ids.end());
    for (const auto& id : ids) printLine(id);
    return kSuccess;
}

InputSourceRegistrar::Services liveServices(std::shared_ptr<TextInputSources> sources) {
    return {
        .sources = std::move(sources),
        .preferences = [](std::string_view domain) -> std::unique_ptr<UserDefaults> {
            return std::make_unique<FileUserDefaults>(domain);
        },
        .system = UnameSystemInfo::shared(),
        .clock = SystemClock::shared(),
        .runLoop = QtRunLoop::shared(),
        .bundleIdentifier = [] { return Bundle::main().identifier; },
        .diagnostic = writeError,
    };
}

// One per option run, so a registry that cannot be read is named once per run.
std::shared_ptr<FileTextInputSources> liveSources() {
    return std::make_shared<FileTextInputSources>(FileTextInputSources::defaultPath(), writeError);
}

}  // namespace

InputSourceRegistrar liveRegistrar() {
    return InputSourceRegistrar(liveServices(liveSources()));
}

std::optional<int> run(const std::string& option, const std::vector<std::string>& rest) {
    auto sources = liveSources();
    InputSourceRegistrar registrar(liveServices(sources));
    if (option == "--install" || option == "--register") return install(registrar, *sources);
    if (option == "--enable") return okOrFailed("enable", registrar.enable());
    if (option == "--disable") return okOrFailed("disable", registrar.disable());
    if (option == "--select") return okOrFailed("select", registrar.select());
    if (option == "--restore") return restore(registrar, rest);
    if (option == "--current") {
        printLine(registrar.currentSourceID().value_or(""));
        return kSuccess;
    }
    if (option == "--status") return status(registrar);
    if (option == "--list") return list(registrar);
    // The installer and uninstaller run these two and must not fail on them:
    // the text carries the outcome.
    if (option == "--ensure-enabled") {
        printLine("ensure-enabled: " + registrar.ensureEnabled());
        return kSuccess;
    }
    if (option == "--remove-enabled") {
        printLine("remove-enabled: " + registrar.removeFromEnabledList());
        return kSuccess;
    }
    return std::nullopt;
}

}  // namespace sorvane::RegistrationOptions
