// The command line as an installer, an uninstaller and a user run it: the
// real executable from a copy of the bundle with an identifier of its own, so
// that `--quit` can never reach the servers other tests run in parallel.
#include <gtest/gtest.h>
#include <libsecret/secret.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "kit/account/AccountCredentials.h"
#include "kit/route/Secrets.h"
#include "platform/files/Files.h"
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

// The command that starts a child in a network namespace of its own, so that
// nothing it does reaches the service address: as root a plain new namespace,
// otherwise one with the user mapped to root. None when neither works here.
std::optional<std::vector<std::string>> isolation() {
    static const std::optional<std::vector<std::string>> prefix =
        []() -> std::optional<std::vector<std::string>> {
        for (std::vector<std::string> candidate :
             {std::vector<std::string>{"unshare", "-n"}, std::vector<std::string>{"unshare", "-rn"}}) {
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
        // The build's Info.plist (with its input mode), under this copy's identifier.
        std::string plist = *Files::readFile(fs::path(SORVANE_BUNDLE_DIR) / "Contents" / "Info.plist");
        const std::string own = "<string>cn.kestrum.inputmethod.Sorvane</string>";
        for (auto at = plist.find(own); at != std::string::npos; at = plist.find(own, at + 1))
            plist.replace(at, own.size(), "<string>" + identifier_ + "</string>");
        ASSERT_TRUE(Files::atomicWrite(contents / "Info.plist", plist));
    }

    std::unique_ptr<ChildProcess> start(std::vector<std::string> arguments = {}, bool isolated = false) {
        if (isolated) {
            const std::vector<std::string> prefix = *isolation();
            arguments.insert(arguments.begin(), executable_.string());
            arguments.insert(arguments.begin(), prefix.begin() + 1, prefix.end());
        }
        auto child = std::make_unique<ChildProcess>(
            isolated ? "/usr/bin/unshare" : executable_.string(), std::move(arguments),
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
    // One identifier per case: `--quit` in one case must not reach another
    // case's processes running at the same time.
    const std::string identifier_ = "org.example.SorvaneCopy." + dir_.path().filename().string();
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
    EXPECT_EQ(quit.out, "quit " + identifier_ + "\n");

    EXPECT_EQ(server->wait(20s), 0);
    const std::string log = server->err();
    EXPECT_NE(log.find("[Sorvane] librime finalized for quit\n"), std::string::npos) << log;
    EXPECT_TRUE(log.ends_with("[Sorvane] server exiting\n")) << log;
    EXPECT_FALSE(sleeper.wait(300ms).has_value()) << "the look-alike was ended";
}

// Every option but --quit, once, in a fresh HOME and a network namespace:
// statuses and what goes to which stream.
TEST_F(CommandLineEndToEndTest, EveryOptionAnswersOnItsStreamsWithItsStatus) {
    if (!isolation()) GTEST_SKIP() << "no network namespace can be made here";
    const std::string mode = "cn.kestrum.inputmethod.Sorvane.Hans";
    const std::string missing = (dir_.path() / "missing" / "folder").string();
    std::ifstream golden(std::string(SORVANE_SOURCE_DIR) + "/tests/app/cli/data/help.txt", std::ios::binary);
    const std::string help((std::istreambuf_iterator<char>(golden)), std::istreambuf_iterator<char>());
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;       // a prefix of standard output; "=" first: all of it
        std::string err = {};  // a prefix of standard error, when given
    } cases[] = {
        {{"--Enable"}, 2, "=", "unknown argument: --Enable\nSorvaneIME"},
        {{"--enable", "extra"},
         1,
         "=enable failed " + mode + "\n",
         "input source " + mode + " is not registered\n"},
        {{"--disable"}, 1, "=disable failed " + mode + "\n"},
        {{"--select"}, 1, "=select failed " + mode + "\n"},
        {{"--restore"}, 2, "=", "--restore needs an input source ID\n"},
        {{"--current"}, 0, "=com.apple.keylayout.ABC\n"},
        {{"--status"},
         1,
         "=id=" + mode +
             " registered=false enabled=false "
             "selected=false\ncurrent=com.apple.keylayout.ABC\nghostTest=false\n"},
        {{"--list"}, 0, "=com.apple.keylayout.ABC\n"},
        {{"--ensure-enabled"}, 0, "ensure-enabled: "},
        {{"--remove-enabled"}, 0, "remove-enabled: "},
        {{"--check-update"}, 1, "api       : https://api.sorvane.example/brindor/api\n"},
        {{"--render-update-toast", (executable_ / "below-a-file").string()}, 1, "render-update-toast: "},
        {{"--account-demo", "0"}, 0, "="},
        {{"--account-status"},
         0,
         "=api=https://api.sorvane.example/brindor/api\ndeviceID=none token=none\nroute=none\nreason="},
        {{"--engine-check"}, 0, "shared : "},
        {{"--panel-demo", "-1"}, 0, "panel-demo caret="},
        {{"--render-hud", missing},
         0,
         "=render-hud chinese -> " + missing + "/hud-chinese.png\nrender-hud english -> " + missing +
             "/hud-english.png\nrender-hud ascii -> " + missing + "/hud-ascii.png\n"},
        {{"--render-hud", (executable_ / "below-a-file").string()},
         1,
         "=render-hud chinese FAILED\nrender-hud english FAILED\nrender-hud ascii FAILED\n",
         "render-hud: Not a directory (" + (executable_ / "below-a-file").string() + ")\n"},
        {{"--help", "extra"}, 0, "=" + help},
        {{"-h"}, 0, "=" + help},
    };
    for (const auto& c : cases) {
        const auto r = runIsolated(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.front() << "\n" << r.out << r.err;
        if (c.out.starts_with("=")) {
            if (c.args.front() == "--account-status") {
                EXPECT_TRUE(r.out.starts_with(c.out.substr(1))) << r.out;
            } else {
                EXPECT_EQ(r.out, c.out.substr(1)) << c.args.front();
            }
        } else {
            EXPECT_TRUE(r.out.starts_with(c.out)) << c.args.front() << ": " << r.out;
        }
        if (!c.err.empty()) {
            EXPECT_TRUE(r.err.starts_with(c.err)) << c.args.front() << ": " << r.err;
        }
    }
    // The check reaches no service from in here: it ends in its failure line.
    EXPECT_NE(runIsolated({"--check-update"}).out.find("result    : FAILED — "), std::string::npos);

    // The window options run until they are told to end.
    for (const auto& [args, page] : {std::pair{std::vector<std::string>{"--settings", "bogus"}, "welcome"},
                                     std::pair{std::vector<std::string>{"--account"}, "account"}}) {
        auto window = start(args, true);
        ASSERT_TRUE(window->waitForStderr(std::string("[Sorvane] settings window open page=") + page, 30s))
            << window->err();
        window->signal(SIGTERM);
        EXPECT_EQ(window->wait(20s), 0) << args.front();
    }
}

// As an installer and an uninstaller use it, with the server typed into between.
TEST_F(CommandLineEndToEndTest, InstallTypeQuitAndUninstall) {
    if (!isolation()) GTEST_SKIP() << "no network namespace can be made here";
    const std::string mode = "cn.kestrum.inputmethod.Sorvane.Hans";
    const std::string bundle = dir_.path().string() + "/SorvaneIME.app";
    const auto expect = [&](std::vector<std::string> args, int status, const std::string& out) {
        const auto r = runIsolated(args);
        EXPECT_EQ(r.status, status) << args.front() << r.err;
        EXPECT_EQ(r.out, out) << args.front();
    };
    expect({"--install"}, 0, "register queued " + bundle + "\n");
    const auto ensured = runIsolated({"--ensure-enabled"});
    EXPECT_EQ(ensured.status, 0);
    EXPECT_TRUE(ensured.out.starts_with("ensure-enabled: ")) << ensured.out;
    const auto status = runIsolated({"--status"});
    EXPECT_EQ(status.status, 0);
    EXPECT_TRUE(status.out.starts_with("id=" + mode + " registered=true ")) << status.out;

    // Not a first run, so no welcome window joins in.
    ASSERT_TRUE(Files::atomicWrite(home_.path() / "Library/SorvaneIME/state.json",
                                   "{\n  \"welcomeShownAt\": \"2026-01-01T00:00:00Z\"\n}\n"));
    auto server = start({}, true);
    ASSERT_TRUE(server->waitForStderr("[Sorvane] server up", 30s)) << server->err();
    const auto typed =
        ChildProcess::run((fs::path(SORVANE_BUNDLE_DIR).parent_path() / "tools" / "sorvane-client").string(),
                          {"--connection", identifier_ + "_Connection", "nihao{space}"}, {}, 30s);
    EXPECT_EQ(typed.status, 0) << typed.err;
    EXPECT_NE(typed.out.find("你好"), std::string::npos) << typed.out;
    const auto quit = runIsolated({"--quit"});
    EXPECT_EQ(quit.out, "quit " + identifier_ + "\n");
    EXPECT_EQ(server->wait(20s), 0);
    EXPECT_TRUE(server->err().ends_with("[Sorvane] server exiting\n")) << server->err();

    const auto removed = runIsolated({"--remove-enabled"});
    EXPECT_EQ(removed.status, 0);
    EXPECT_TRUE(removed.out.starts_with("remove-enabled: ")) << removed.out;
    expect({"--disable"}, 0, "disable ok " + mode + "\n");
    expect({"--status"}, 0,
           "id=" + mode +
               " registered=true enabled=false selected=false\ncurrent=com.apple.keylayout.ABC\n"
               "ghostTest=false\n");
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
    EXPECT_EQ(r.out,
              "api=https://api.sorvane.example/brindor/api\ndeviceID=present token=present\nroute=credits\n");
    for (const auto& secret : {token, device, key}) {
        EXPECT_EQ(r.out.find(secret), std::string::npos);
        EXPECT_EQ(r.err.find(secret), std::string::npos);
    }

    ASSERT_TRUE(credentials.setToken(std::nullopt));
    credentials.store->remove(AccountCredentials::deviceIDAccount);
    r = runIsolated({"--account-status"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "api=https://api.sorvane.example/brindor/api\ndeviceID=none token=none\nroute=none\n"
              "reason=请先登录微信 · 见设置\n");
    // Only read: asking never makes a device id.
    EXPECT_EQ(credentials.existingDeviceID(), std::nullopt);
    secret_service_disconnect();
}

// A Secret Service that owns its name and never answers costs the command
// one short wait, not a bus time-out per keychain call; later calls fail at
// once, and one line says why.
TEST_F(CommandLineEndToEndTest, AccountStatusEndsSoonWhenTheSecretServiceNeverAnswers) {
    testing::ScopedEnvironment environment("DEEPSEEK_API_KEY", std::nullopt);
    testing::MuteBusName service("org.freedesktop.secrets");
    ASSERT_TRUE(service.owned());
    const auto started = std::chrono::steady_clock::now();
    const auto r = run({"--account-status"});
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(
        r.out.starts_with("api=https://api.sorvane.example/brindor/api\ndeviceID=none token=none\n"
                          "route=none\nreason="))
        << r.out;
    const std::string line = "keychain not available (-25291): the Secret Service did not answer within ";
    const auto at = r.err.find(line);
    EXPECT_NE(at, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(line, at + 1), std::string::npos) << "said once: " << r.err;
    // Eight calls of 25 s each before; one bound of a few seconds now.
    EXPECT_LT(took, 20s);
}

// A user with no home folder (HOME unset, no entry in the password database,
// as in a container started with an arbitrary user id) gets no folder made
// for them anywhere: what would keep files says why and ends with 1; what
// keeps none still answers. Needs root, to run as such a user.
TEST_F(CommandLineEndToEndTest, WithoutAHomeFolderNothingIsKeptAnywhere) {
    constexpr uid_t homeless = 4242;
    if (::geteuid() != 0 || ::getpwuid(homeless)) GTEST_SKIP() << "needs root and a user id with no entry";
    // A copy the user may run, in a folder the user may enter.
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const fs::path temp = dir_.path() / "tmp";
    fs::create_directory(temp);
    fs::permissions(temp, fs::perms::all | fs::perms::sticky_bit);
    const auto runAs = [&](std::vector<std::string> arguments) {
        std::vector<std::string> command = {"--reuid=" + std::to_string(homeless),
                                            "--regid=" + std::to_string(homeless),
                                            "--clear-groups",
                                            "env",
                                            "-u",
                                            "HOME",
                                            "TMPDIR=" + temp.string(),
                                            "SORVANE_LOG_STDERR=1",
                                            executable_.string()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return ChildProcess::run("/usr/bin/setpriv", std::move(command), {}, 60s);
    };
    const std::string reason = "HOME is not set and user 4242 has no home in the password database";
    const std::string why = "no home folder found: " + reason;

    for (const auto& option : {"--status", "--check-update", "--account-status"}) {
        const auto r = runAs({option});
        EXPECT_EQ(r.status, 1) << option << r.err;
        EXPECT_EQ(r.err, why + "\n") << option;
    }
    const auto window = runAs({"--settings", "about"});
    EXPECT_EQ(window.status, 1) << window.err;
    EXPECT_EQ(window.err, "[Sorvane] " + why + "\n");
    const auto server = runAs({});
    EXPECT_EQ(server.status, 1) << server.err;
    EXPECT_EQ(server.err, "[Sorvane] no home folder found, server not started: " + reason + "\n");

    const auto help = runAs({"--help"});
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_TRUE(help.out.starts_with("SorvaneIME")) << help.out;
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_FALSE(fs::exists("/dev/null/Library"));
}

}  // namespace
}  // namespace sorvane
