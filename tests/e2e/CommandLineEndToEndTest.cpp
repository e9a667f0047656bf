// The command line as an installer, an uninstaller and a user run it: the
// real executable from a copy of the bundle with an identifier of its own, so
// that `--quit` can never reach the servers other tests run in parallel.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "platform/Files.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using namespace std::chrono_literals;

constexpr const char* kCopyIdentifier = "org.example.SorvaneCopy";

class CommandLineEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.ok());
        const fs::path contents = dir_.path() / "SorvaneIME.app" / "Contents";
        fs::create_directories(contents / "MacOS");
        fs::copy_file(SORVANE_EXECUTABLE, executable_ = contents / "MacOS" / "SorvaneIME");
        // The engine's data is shared with the build bundle: read only.
        fs::create_directory_symlink(fs::path(SORVANE_BUNDLE_DIR) / "Contents" / "SharedSupport",
                                     contents / "SharedSupport");
        ASSERT_TRUE(Files::atomicWrite(contents / "Info.plist",
                                       std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist "
                                                   "version=\"1.0\">\n<dict>\n<key>CFBundleIdentifier</key><string>") +
                                           kCopyIdentifier + "</string>\n</dict>\n</plist>\n"));
    }

    std::unique_ptr<ChildProcess> start(std::vector<std::string> arguments = {}) {
        auto child = std::make_unique<ChildProcess>(executable_.string(), std::move(arguments),
                                                    std::map<std::string, std::string>{{"SORVANE_LOG_STDERR", "1"}});
        EXPECT_TRUE(child->started());
        return child;
    }

    ChildProcess::Result run(std::vector<std::string> arguments) {
        return ChildProcess::run(executable_.string(), std::move(arguments), {}, 60s);
    }

    testing::PrivateBus bus_;
    testing::TempHome home_;
    testing::TempDir dir_;
    fs::path executable_;
};

TEST_F(CommandLineEndToEndTest, QuitEndsThisBundlesProcessesAndNothingElse) {
    auto server = start();
    ASSERT_TRUE(server->waitForStderr("[Sorvane] server up", 30s)) << server->err();
    // Same executable name, another program: never signalled.
    const fs::path lookalike = dir_.path() / "SorvaneIME";
    fs::copy_file("/bin/sleep", lookalike);
    ChildProcess sleeper(lookalike.string(), {"30"});
    ASSERT_TRUE(sleeper.started());

    const auto quit = run({"--quit"});
    EXPECT_EQ(quit.status, 0) << quit.err;
    EXPECT_EQ(quit.out, std::string("quit ") + kCopyIdentifier + "\n");

    EXPECT_EQ(server->wait(20s), 0);
    const std::string log = server->err();
    EXPECT_NE(log.find("[Sorvane] librime finalized for quit\n"), std::string::npos) << log;
    EXPECT_TRUE(log.ends_with("[Sorvane] server exiting\n")) << log;
    EXPECT_FALSE(sleeper.wait(300ms).has_value()) << "the look-alike was ended";
}

}  // namespace
}  // namespace sorvane
