// The controller every session gets from the server's factory.
#include <gtest/gtest.h>

#include "app/server/InputControllers.h"
#include "app/server/SorvaneInputController.h"
#include "kit/settings/AppStateFile.h"
#include "tests/app/panels/PanelTestSupport.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/RecordingInputClient.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

TEST(InputControllersTest, SessionsGetTheInputControllerOnTheProcessEnvironment) {
    testing::panelTestApp();
    testing::TempHome home;
    // Not a first run: the live welcome trigger would otherwise open the
    // settings window a moment later by starting this process's own
    // executable, which here is the test binary.
    ASSERT_TRUE(AppStateFile{home.path() / "Library" / "SorvaneIME" / "state.json"}.markWelcomeShown(
        std::chrono::system_clock::now()));
    testing::ScopedLogCapture log;
    testing::RecordingInputClient client;
    auto factory = InputControllers::factory();
    auto controller = factory(nullptr, client);
    auto* sorvane = dynamic_cast<SorvaneInputController*>(controller.get());
    ASSERT_NE(sorvane, nullptr);
    EXPECT_EQ(sorvane->client(), &client);
    EXPECT_EQ(controller->recognizedEvents(&client), 0x1400u);
    EXPECT_EQ(controller->menu().size(), 1u);
    // No engine was started in this process: keys go to the application.
    controller->activateServer(&client);
    EXPECT_FALSE(controller->handleEvent(KeyEvent{KeyEventType::keyDown, 45, "n", "n", 0, 0}, &client));
    controller->deactivateServer(&client);
    EXPECT_TRUE(log->contains("[Sorvane] controller init client=com.example.editor engine=false"));
    EXPECT_EQ(&InputControllerEnvironment::live(), &InputControllerEnvironment::live());
    EXPECT_EQ(InputControllerEnvironment::live().activeController(), nullptr);
}

}  // namespace
}  // namespace sorvane
