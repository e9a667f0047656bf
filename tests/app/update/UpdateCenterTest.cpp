// The server's update schedule in-process on the virtual clock, against a
// TLS loopback feed and package server with fake package checks: it checks
// 60 s after start and announces the ready package once, with the toast.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/panels/ModeHUD.h"
#include "app/update/UpdateToast.h"
#include "kit/package/PackageVerifier.h"
#include "kit/update/UpdateCenterSchedule.h"
#include "kit/update/UpdatePaths.h"
#include "kit/update/UpdatePipeline.h"
#include "tests/app/panels/PanelTestSupport.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FakePackageChecks.h"
#include "tests/support/ManualTaskRunner.h"
#include "tests/support/TempHome.h"
#include "tests/support/TlsLoopbackServer.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;

TEST(UpdateCenterTest, ChecksAMinuteAfterStartAndAnnouncesTheReadyPackageOnce) {
    testing::panelTestApp();
    testing::TempHome home;
    testing::TempDir temporary;
    testing::ScopedLogCapture log;
    testing::TlsLoopbackServer server;
    CurlHttpClient client(server.caFile());
    testing::VirtualTime time;
    testing::ManualTaskRunner tasks;
    testing::FakeScreens screens = testing::FakeScreens::laptop();

    const std::string package = "1.3.0\n" + std::string(4000, 'x');
    UpdateRelease release;
    release.version = "1.3.0";
    release.url = server.baseURL() + "/pkg/a.pkg";
    std::ofstream(temporary.path() / "scratch", std::ios::binary) << package;
    release.sha256 = *PackageVerifier::sha256(temporary.path() / "scratch");
    std::filesystem::remove(temporary.path() / "scratch");
    release.size = static_cast<std::int64_t>(package.size());
    release.notes = "· 候选框更快";
    server->Get("/brindor/api/sorvane/update", [&](const httplib::Request&, httplib::Response& reply) {
        const nlohmann::json data{{"updateAvailable", true}, {"latest", release.toJSON()}};
        reply.set_content(nlohmann::json{{"success", true}, {"data", data}}.dump(), "application/json");
    });
    server->Get("/pkg/a.pkg", [&](const httplib::Request&, httplib::Response& reply) {
        reply.set_content(package, "application/octet-stream");
    });
    server.start();

    UpdateEnvironment environment;
    environment.baseURL = server.baseURL() + "/brindor/api";
    environment.makeConfiguration = [&] { return UpdateSessionConfiguration{&client}; };
    environment.stateFile = UpdateStateFile::live();
    environment.updatesDirectory = UpdatePaths::updatesDirectory();
    environment.temporaryDirectory = temporary.path();
    environment.signature = std::make_shared<testing::FakeSignature>();
    environment.packageVersion = std::make_shared<testing::FakeVersion>();
    environment.currentVersion = "1.0.0";
    environment.osVersion = "6.1.0";
    environment.arch = "x86_64";

    UpdateToast toast({time, time, screens, {}, ModeHUD::englishIconResource});
    int shown = 0;
    UpdateCenter::Schedule schedule(
        {time, time, tasks, [] { return true; },
         [&] {
             return UpdateCenter::Schedule::Check{"1.0.0", [&] { return UpdatePipeline::run(environment); }};
         },
         [] { return std::string("1.0.0"); }, UpdateStateFile::live(),
         [&](const std::string& path) {
             return UpdatePipeline::isKeptPackage(path, environment.updatesDirectory);
         },
         [&](const UpdateRelease& ready) {
             ++shown;
             toast.show(ready);
         }});
    const auto settle = [&] {
        while (tasks.runAll() > 0) time.runPending();
    };

    schedule.serverDidStart();
    time.advance(59s);
    EXPECT_EQ(tasks.pending(), 0u);
    time.advance(1s);
    settle();
    EXPECT_TRUE(log->contains("[Sorvane] update: checking (startup) running=1.0.0"));
    EXPECT_TRUE(
        log->contains("[Sorvane] update: 1.3.0 ready (downloaded); the next activation announces it"));
    EXPECT_FALSE(toast.window().isVisible()) << "a check never announces by itself";

    time.advance(1s);
    schedule.noteActivation();
    settle();
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(toast.window().isVisible());
    EXPECT_EQ(toast.titleLabel().toolTip(), "Sorvane输入法 1.3.0 已下载");
    EXPECT_EQ(toast.detailLabel().text(), "候选框更快");
    EXPECT_EQ(UpdateStateFile::live().load().notifiedVersion, "1.3.0");

    toast.laterButton().click();
    time.advance(700s);
    schedule.noteActivation();
    settle();
    EXPECT_EQ(shown, 1);
}

}  // namespace
}  // namespace sorvane
