// The command line as an installer, an uninstaller and a user run it: the
// real executable from a copy of the bundle with an identifier of its own, so
// that `--quit` can never reach the servers other tests run in parallel.
#include <gtest/gtest.h>
#include <libsecret/secret.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "kit/AccountCredentials.h"
#include "kit/Secrets.h"
#include "platform/Files.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/KeyringDaemon.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using namespace std::chrono_literals;

constexpr const char* kCopyIdentifier = "org.example.SorvaneCopy";

// The command that starts a child in a network namespace of its own, so that
// nothing it does reaches the service address: as root a plain new namespace,
// otherwise one with the user mapped to root. None when neither works here.
std::optional<std::vector<std::string>> isolation() {
    static const std::optional<std::vector<std::string>> prefix = []() -> std::optional<std::vector<std::string>> {
        for (std::vector<std::string> candidate : {std::vector<std::string>{"unshare", "-n"},
                                                   std::vector<std::string>{"unshare", "-rn"}}) {
            std::vector<std::string> args(candidate.begin() + 1, candidate.end());
            args.push_back("true");
            if (ChildProcess::run("/usr/bin/unshare", args, {}, 10s).status == 0) return candidate;
        }
        return std::nullopt;
    }();
    return prefix;
}

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

    // The executable in a network namespace of its own.
    ChildProcess::Result runIsolated(std::vector<std::string> arguments) {
        const std::vector<std::string> prefix = *isolation();
        std::vector<std::string> command(prefix.begin() + 1, prefix.end());
        command.push_back(executable_.string());
        command.insert(command.end(), arguments.begin(), arguments.end());
        return ChildProcess::run("/usr/bin/unshare", std::move(command), {}, 60s);
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

TEST_F(CommandLineEndToEndTest, AccountStatusNamesTheRouteAndNeverASecret) {
    if (!isolation()) GTEST_SKIP() << "no network namespace can be made here";
    if (!testing::onPath("gnome-keyring-daemon")) GTEST_SKIP() << "gnome-keyring-daemon is not installed";
    testing::ScopedEnvironment environment;
    const auto runtime = home_.path() / "run";
    fs::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    environment.set("XDG_RUNTIME_DIR", runtime.string());
    environment.set("XDG_DATA_HOME", (home_.path() / ".local/share").string());
    environment.set("DEEPSEEK_API_KEY", std::nullopt);
    // libsecret keeps its connection for the process: this case's bus is new.
    secret_service_disconnect();
    testing::KeyringDaemon daemon;
    ASSERT_TRUE(daemon.ready());
    const auto& credentials = AccountCredentials::live();
    const std::string token = "token-VALUE-41", device = "device-VALUE-42", key = "sk-key-VALUE-43-abcdefgh";
    ASSERT_TRUE(credentials.setToken(token));
    ASSERT_TRUE(credentials.store->write(device, AccountCredentials::deviceIDAccount));
    ASSERT_TRUE(Secrets::storeDeepSeekAPIKey(key));

    auto r = runIsolated({"--account-status"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "api=https://api.sorvane.example/brindor/api\ndeviceID=present token=present\nroute=credits\n");
    for (const auto& secret : {token, device, key}) {
        EXPECT_EQ(r.out.find(secret), std::string::npos);
        EXPECT_EQ(r.err.find(secret), std::string::npos);
    }

    ASSERT_TRUE(credentials.setToken(std::nullopt));
    credentials.store->remove(AccountCredentials::deviceIDAccount);
    r = runIsolated({"--account-status"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "api=https://api.sorvane.example/brindor/api\ndeviceID=none token=none\nroute=none\n"
                     "reason=请先登录微信 · 见设置\n");
    // Only read: asking never makes a device id.
    EXPECT_EQ(credentials.existingDeviceID(), std::nullopt);
    secret_service_disconnect();
}

}  // namespace
}  // namespace sorvane
