#include "app/server/SorvaneApp.h"

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/SorvaneCommandLine.h"
#include "app/server/EngineBootstrap.h"
#include "app/server/InputControllers.h"
#include "app/server/QuitSignals.h"
#include "app/server/SorvaneInputController.h"
#include "app/update/UpdateCenter.h"
#include "platform/Bundle.h"
#include "platform/Keychain.h"
#include "platform/NotificationCenter.h"
#include "platform/SorvaneLog.h"
#include "platform/files/Files.h"
#include "platform/imk/IMKServer.h"
#include "platform/qt/DistributedNotifications.h"

namespace sorvane::SorvaneApp {
namespace {

// The server runs for days: a Secret Service that was slow once, at login
// say, must not turn the rewrite off until the next restart.
constexpr std::chrono::seconds kKeychainAskAgainAfter{60};
// How long quitting waits for a rewrite to wind down.
constexpr std::chrono::milliseconds kWindDownLimit{500};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (SorvaneCommandLine::handleIfPresent(arguments)) return 0;
    // The engine's dictionary, the settings and the rhythm samples all live
    // in the home folder; kept anywhere shared, another user could read or
    // plant them.
    if (const auto home = Files::findHomeDirectory(); !home) {
        SorvaneLog::error("[Sorvane] no home folder found, server not started: " +
                          home.error().description());
        return 1;
    }

    QApplication app(argc, argv);
    QuitSignals::route(app);
    // Distributed notifications ride on the session bus through the
    // application's thread: install them once that exists, before any
    // controller observes the settings.
    NotificationCenter::setShared(DistributedNotifications::shared());
    // No keychain call may hold a rewrite, or quitting, for long.
    KeychainAccess::setShared(std::make_shared<SecretServiceKeychain>(
        SecretServiceKeychain::answerLimit,
        [](std::string_view line) { SorvaneLog::log("[Sorvane] " + std::string(line)); },
        kKeychainAskAgainAfter));

    const Bundle& bundle = Bundle::main();
    const std::string bundleIdentifier = bundle.identifier.value_or(kDefaultBundleIdentifier);
    const std::string connectionName = bundleIdentifier + "_Connection";

    std::unique_ptr<IMKServer> server =
        IMKServer::create(connectionName, bundleIdentifier, InputControllers::factory());
    if (!server) SorvaneLog::log("[Sorvane] FATAL: IMKServer(name: " + connectionName + ") returned nil");

    // A background service: no window keeps it alive and closing one (the
    // candidate panel) must not end it.
    app.setQuitOnLastWindowClosed(false);

    // Before the engine opens the user dictionary in it.
    Files::keepSupportDirectoryPrivate();
    EngineBootstrap::start();

    QObject::connect(&app, &QCoreApplication::aboutToQuit, [] {
        if (EngineBootstrap::shutdown()) SorvaneLog::log("[Sorvane] librime finalized for quit");
    });

    UpdateCenter::serverDidStart();

    SorvaneLog::log("[Sorvane] server up — connection=" + connectionName + " bundle=" + bundleIdentifier +
                    " path=" + bundle.path.string());
    app.exec();
    // librime is finalized; with the name gone no client reaches the process.
    // A rewrite stuck in an outside call (a keychain that never answers) is
    // left behind rather than waited for: whatever waits for this process to
    // end (an installer, a restart) would wait as long.
    server.reset();
    const bool settled = InputControllerEnvironment::windDownLive(kWindDownLimit);
    if (!settled) SorvaneLog::log("[Sorvane] rewrite worker busy in an outside call; not waited for");
    SorvaneLog::log("[Sorvane] server exiting");
    if (!settled) {
        // The destructors would join the worker.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return 0;
}

}  // namespace sorvane::SorvaneApp
