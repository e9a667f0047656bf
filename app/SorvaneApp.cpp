#include "app/SorvaneApp.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <memory>
#include <string>
#include <vector>

#include "app/EngineBootstrap.h"
#include "app/InputControllers.h"
#include "app/SorvaneCommandLine.h"
#include "app/UpdateCenter.h"
#include "kit/SorvaneLog.h"
#include "platform/Bundle.h"
#include "platform/NotificationCenter.h"
#include "platform/imk/IMKServer.h"
#include "platform/qt/DistributedNotifications.h"

namespace sorvane::SorvaneApp {
namespace {

int quitSignalPipe[2] = {-1, -1};

void onQuitSignal(int signal) {
    const char byte = static_cast<char>(signal);
    // Only async-signal-safe work here; the event loop reads the byte.
    [[maybe_unused]] const auto written = ::write(quitSignalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop the way a polite quit does, so the
// engine is finalized and the closing records are written.
void routeQuitSignals(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, quitSignalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(quitSignalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        [[maybe_unused]] const auto n = ::read(quitSignalPipe[0], &byte, 1);
        app.quit();
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace

void main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (SorvaneCommandLine::handleIfPresent(arguments)) return;

    QApplication app(argc, argv);
    routeQuitSignals(app);
    // Distributed notifications ride on the session bus through the
    // application's thread: install them once that exists, before any
    // controller observes the settings.
    NotificationCenter::setShared(DistributedNotifications::shared());

    const Bundle& bundle = Bundle::main();
    const std::string bundleIdentifier = bundle.identifier.value_or(kDefaultBundleIdentifier);
    const std::string connectionName = bundleIdentifier + "_Connection";

    const std::unique_ptr<IMKServer> server =
        IMKServer::create(connectionName, bundleIdentifier, InputControllers::factory());
    if (!server) SorvaneLog::log("[Sorvane] FATAL: IMKServer(name: " + connectionName + ") returned nil");

    // A background service: no window keeps it alive and closing one (the
    // candidate panel) must not end it.
    app.setQuitOnLastWindowClosed(false);

    EngineBootstrap::start();

    QObject::connect(&app, &QCoreApplication::aboutToQuit, [] {
        if (EngineBootstrap::shutdown()) SorvaneLog::log("[Sorvane] librime finalized for quit");
    });

    UpdateCenter::serverDidStart();

    SorvaneLog::log("[Sorvane] server up — connection=" + connectionName + " bundle=" + bundleIdentifier +
                    " path=" + bundle.path.string());
    app.exec();
    SorvaneLog::log("[Sorvane] server exiting");
}

}  // namespace sorvane::SorvaneApp
