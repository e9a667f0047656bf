// The controller sessions get until the input controller is built: the
// application keeps every key.
#include <gtest/gtest.h>

#include "app/InputControllers.h"
#include "tests/support/RecordingInputClient.h"

namespace sorvane {
namespace {

TEST(InputControllersTest, EveryKeyPassesThroughToTheApplication) {
    testing::RecordingInputClient client;
    auto factory = InputControllers::factory();
    auto controller = factory(nullptr, client);
    ASSERT_TRUE(controller);
    EXPECT_EQ(controller->client(), &client);
    controller->activateServer(&client);
    for (const KeyEvent& e : {KeyEvent{KeyEventType::keyDown, 45, "n", "n", 0, 0},
                              KeyEvent{KeyEventType::keyDown, 49, " ", " ", 0, 0},
                              KeyEvent{KeyEventType::flagsChanged, 56, "", "", ModifierFlag::shift, 0},
                              KeyEvent{KeyEventType::keyDown, 36, "\r", "\r", 0, 0}})
        EXPECT_FALSE(controller->handleEvent(e, &client));
    controller->commitComposition(&client);
    controller->deactivateServer(&client);
    EXPECT_TRUE(client.calls().empty());
    EXPECT_TRUE(controller->menu().empty());
    EXPECT_EQ(controller->recognizedEvents(&client), 0x1400u);
}

}  // namespace
}  // namespace sorvane
