#include "app/server/SorvaneApp.h"

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/SorvaneCommandLine.h"
#include "app/server/EngineBootstrap.h"
#include "app/server/InputControllers.h"
#include "app/server/QuitSignals.h"
#include "app/update/UpdateCenter.h"
#include "platform/Bundle.h"
#include "platform/NotificationCenter.h"
#include "platform/SorvaneLog.h"
#include "platform/files/Files.h"
#include "platform/imk/IMKServer.h"
#include "platform/qt/DistributedNotifications.h"

namespace sorvane::SorvaneApp {

void main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (SorvaneCommandLine::handleIfPresent(arguments)) return;

    QApplication app(argc, argv);
    QuitSignals::route(app);
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
    SorvaneLog::log("[Sorvane] server exiting");
}

}  // namespace sorvane::SorvaneApp
