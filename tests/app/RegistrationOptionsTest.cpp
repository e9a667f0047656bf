// The installer's and uninstaller's options as they run: the real executable
// in a temporary HOME, over the registry and preferences files there.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "platform/Files.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using testing::ChildProcess;
namespace fs = std::filesystem;

const std::string kMode = "cn.kestrum.inputmethod.Sorvane.Hans";

struct Step {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err = "";
};

class RegistrationOptionsTest : public ::testing::Test {
protected:
    ChildProcess::Result run(const std::vector<std::string>& args) {
        return ChildProcess::run(SORVANE_EXECUTABLE, args,
                                 {{"HOME", home.path().string()}, {"SorvaneGhostTest", "0"}});
    }
    void runSteps(const std::vector<Step>& steps) {
        for (const auto& step : steps) {
            SCOPED_TRACE(step.args.front());
            const auto r = run(step.args);
            EXPECT_EQ(r.status, step.status);
            EXPECT_EQ(r.out, step.out);
            EXPECT_EQ(r.err, step.err);
        }
    }
    fs::path registry() const { return home.path() / "Library/Preferences/TextInputSources.json"; }

    testing::TempHome home;
};

TEST_F(RegistrationOptionsTest, InstallerRoadFromRegistrationToRemoval) {
    const std::string bundle = SORVANE_BUNDLE_DIR;
    runSteps({
        {{"--status"},
         1,
         "id=" + kMode +
             " registered=false enabled=false selected=false\n"
             "current=com.apple.keylayout.ABC\nghostTest=false\n"},
        {{"--enable"}, 1, "enable failed " + kMode + "\n", "input source " + kMode + " is not registered\n"},
        {{"--install"}, 0, "register queued " + bundle + "\n"},
        {{"--register"}, 0, "register queued " + bundle + "\n"},
        {{"--enable", "ignored"}, 0, "enable ok " + kMode + "\n"},
        {{"--select"}, 0, "select ok " + kMode + "\n"},
        {{"--status"},
         0,
         "id=" + kMode + " registered=true enabled=true selected=true\ncurrent=" + kMode +
             "\nghostTest=false\n"},
        {{"--current"}, 0, kMode + "\n"},
        {{"--list"}, 0, "cn.kestrum.inputmethod.Sorvane\n" + kMode + "\ncom.apple.keylayout.ABC\n"},
        {{"--restore", "com.apple.keylayout.ABC"},
         0,
         "restore ok com.apple.keylayout.ABC -> now com.apple.keylayout.ABC\n"},
        {{"--restore", "com.example.none"},
         1,
         "restore failed com.example.none -> now com.apple.keylayout.ABC\n",
         "no such input source: com.example.none\n"},
        {{"--restore"}, 2, "", "--restore needs an input source ID\n"},
        // A Linux kernel reads as a system of 25 or earlier.
        {{"--ensure-enabled"}, 0, "ensure-enabled: enabled via TIS\n"},
    });

    // The uninstaller drops every entry of the bundle and keeps the others.
    const fs::path prefs = home.path() / "Library/Preferences/com.apple.HIToolbox.json";
    ASSERT_TRUE(Files::atomicWrite(
        prefs,
        R"({"AppleEnabledInputSources":[{"InputSourceKind":"Keyboard Layout","KeyboardLayout Name":"ABC"},)"
        R"({"Bundle ID":"cn.kestrum.inputmethod.Sorvane","InputSourceKind":"Keyboard Input Method"},)"
        R"({"Bundle ID":"cn.kestrum.inputmethod.Sorvane","Input Mode":"cn.kestrum.inputmethod.Sorvane.Hans",)"
        R"("InputSourceKind":"Input Mode"}],"Other":1})"));
    runSteps({
        {{"--remove-enabled"}, 0, "remove-enabled: removed from enabled list\n"},
        {{"--remove-enabled"}, 0, "remove-enabled: not in enabled list\n"},
        {{"--disable"}, 0, "disable ok " + kMode + "\n"},
        {{"--status"},
         0,
         "id=" + kMode +
             " registered=true enabled=false selected=false\n"
             "current=com.apple.keylayout.ABC\nghostTest=false\n"},
    });
    const auto stored = nlohmann::json::parse(*Files::readFile(prefs));
    EXPECT_EQ(stored,
              nlohmann::json::parse(R"({"AppleEnabledInputSources":[{"InputSourceKind":"Keyboard Layout",
        "KeyboardLayout Name":"ABC"}],"Other":1})"));
}

TEST_F(RegistrationOptionsTest, AnUnreadableRegistryIsNeverReplaced) {
    const std::string bytes = "{\"sources\": [{\"id\": \"com.apple.keylayout.ABC\", \"enabled\": \"yes\"}]}";
    ASSERT_TRUE(Files::atomicWrite(registry(), bytes));
    const auto started = std::chrono::steady_clock::now();
    runSteps({
        // A failed registration still waits its 5 s for the mode.
        {{"--install"}, 1, "register err(-36) " + std::string(SORVANE_BUNDLE_DIR) + "\n"},
        {{"--select"}, 1, "select failed " + kMode + "\n", "input source " + kMode + " is not registered\n"},
        {{"--restore", "com.apple.keylayout.ABC"},
         1,
         "restore failed com.apple.keylayout.ABC -> now ?\n",
         "no such input source: com.apple.keylayout.ABC\n"},
        {{"--current"}, 0, "\n"},
        {{"--list"}, 0, ""},
    });
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(*Files::readFile(registry()), bytes);
}

}  // namespace
}  // namespace sorvane
