#include "app/update/UpdateCenter.h"

#include <iostream>
#include <memory>

#include "app/update/UpdateToast.h"
#include "kit/settings/AppSettings.h"
#include "kit/update/UpdateCenterCheckCLI.h"
#include "kit/update/UpdateEnvironment.h"
#include "kit/update/UpdatePaths.h"
#include "kit/update/UpdatePipeline.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane::UpdateCenter {
namespace {

// Only a package the updater itself keeps counts: a regular file directly
// in the updates folder, whatever update.json says.
bool keptPackage(const std::string& path) {
    return UpdatePipeline::isKeptPackage(path, UpdatePaths::updatesDirectory());
}

Schedule::Check liveCheck() {
    auto environment = std::make_shared<const UpdateEnvironment>(UpdateEnvironment::live());
    return {environment->currentVersion, [environment] { return UpdatePipeline::run(*environment); }};
}

}  // namespace

Schedule& shared() {
    static Schedule* schedule = new Schedule(
        {SystemClock::shared(), QtMainQueue::shared(), DetachedThreadRunner::shared(),
         [] { return LiveSettings::current().autoCheckUpdates; }, liveCheck,
         [] { return UpdateRuntime::bundleVersion().value_or("0.0.0"); }, UpdateStateFile::live(),
         keptPackage, [](const UpdateRelease& release) { UpdateToast::shared().show(release); }});
    return *schedule;
}

void serverDidStart() {
    shared().serverDidStart();
}

void noteActivation() {
    shared().noteActivation();
}

int runCheckCLI(const std::vector<std::string>& arguments) {
    return runCheckCLI(
        arguments,
        CheckCLIServices{
            [](std::optional<std::string> version) { return UpdateEnvironment::live(std::move(version)); },
            UpdateRuntime::bundleVersion(),
            [](const UpdateEnvironment& environment, const UpdateEventHandler& events) {
                return UpdatePipeline::run(environment, events);
            },
            DetachedThreadRunner::shared(), std::cout, std::cerr});
}

}  // namespace sorvane::UpdateCenter
