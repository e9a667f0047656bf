// The real executable as the input-method server: a private session bus, a
// temporary HOME, log records mirrored to standard error, and the client
// tool as the application.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <cstring>
#include <filesystem>

#include "platform/files/Files.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using namespace std::chrono_literals;

constexpr const char* kConnection = "cn.kestrum.inputmethod.Sorvane_Connection";
const std::string kServerUp = "[Sorvane] server up — connection=";

// File modes stop only a user who obeys them: as root, the child runs as
// nobody, and what it must reach is handed to nobody first.
constexpr uid_t kNobody = 65534;

std::pair<std::string, std::vector<std::string>> unprivileged(const std::string& program,
                                                              std::vector<std::string> arguments) {
    if (geteuid() != 0) return {program, arguments};
    std::vector<std::string> wrapped{"--reuid=65534", "--regid=65534", "--clear-groups", "--", program};
    wrapped.insert(wrapped.end(), arguments.begin(), arguments.end());
    return {"/usr/bin/setpriv", wrapped};
}

void handToChild(const fs::path& path) {
    if (geteuid() != 0) return;
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0) << path;
}

std::string clientTool() {
    return (fs::path(SORVANE_BUNDLE_DIR).parent_path() / "tools" / "sorvane-client").string();
}

class ServerProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.ok());
        // A fresh HOME would open the welcome window after the first activation.
        ASSERT_TRUE(Files::atomicWrite(home_.path() / "Library" / "SorvaneIME" / "state.json",
                                       "{\n  \"welcomeShownAt\": \"2026-01-01T00:00:00Z\"\n}\n"));
    }

    std::unique_ptr<ChildProcess> startServer(const std::string& executable = SORVANE_EXECUTABLE) {
        auto server =
            std::make_unique<ChildProcess>(executable, std::vector<std::string>{},
                                           std::map<std::string, std::string>{{"SORVANE_LOG_STDERR", "1"}});
        EXPECT_TRUE(server->started());
        return server;
    }

    ChildProcess::Result type(const std::string& script, std::vector<std::string> options = {}) {
        options.push_back(script);
        return ChildProcess::run(clientTool(), options, {}, 30s);
    }

    bool nameOwned() {
        QDBusConnection c = QDBusConnection::connectToBus(QString::fromStdString(bus_.address()), "probe");
        const bool owned = c.interface() && c.interface()->isServiceRegistered(kConnection).value();
        QDBusConnection::disconnectFromBus("probe");
        return owned;
    }

    // A copy of the bundle with only the executable and the given
    // Info.plist: no engine data.
    fs::path bareBundle(const std::string& infoPlistDict) {
        const fs::path bundle = dir_.path() / "SorvaneIME.app";
        fs::create_directories(bundle / "Contents" / "MacOS");
        fs::copy_file(SORVANE_EXECUTABLE, bundle / "Contents" / "MacOS" / "SorvaneIME");
        EXPECT_TRUE(Files::atomicWrite(
            bundle / "Contents" / "Info.plist",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + infoPlistDict +
                "</dict>\n</plist>\n"));
        fs::permissions(bundle / "Contents" / "MacOS" / "SorvaneIME", fs::perms::owner_all);
        return bundle;
    }

    int argc_ = 1;
    char arg0_[8] = "e2e";
    char* argv_[2] = {arg0_, nullptr};
    QCoreApplication app_{argc_, argv_};
    testing::PrivateBus bus_;
    testing::TempHome home_;
    testing::TempDir dir_;
};

// Each quit signal, SIGHUP too (the terminal it was started from closed),
// ends it through the same closing steps.
TEST_F(ServerProcessTest, ServesAClientAndEndsCleanlyOnEachQuitSignal) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        auto server = startServer();
        ASSERT_TRUE(server->waitForStderr(kServerUp, 30s)) << server->err();
        const std::string err = server->err();
        EXPECT_NE(err.find(kServerUp + kConnection +
                           " bundle=cn.kestrum.inputmethod.Sorvane path=" + SORVANE_BUNDLE_DIR + "\n"),
                  std::string::npos)
            << err;
        // The engine was up before the server said so.
        EXPECT_LT(err.find("[Sorvane] librime "), err.find(kServerUp));
        EXPECT_TRUE(nameOwned());
        EXPECT_TRUE(fs::is_directory(home_.path() / "Library" / "SorvaneIME" / "rime"));
        EXPECT_TRUE(fs::is_directory(home_.path() / "Library" / "Logs" / "SorvaneIME"));

        // The input controller turns the pinyin into Chinese.
        const auto typed = type("nihao{space}", {"--bundle", "com.example.notes"});
        EXPECT_EQ(typed.status, 0) << typed.err;
        EXPECT_NE(typed.out.find("field \"你好\"\n"), std::string::npos) << typed.out;

        server->signal(sig);
        EXPECT_EQ(server->wait(20s), 0) << strsignal(sig);
        const std::string closing = server->err();
        EXPECT_TRUE(closing.ends_with("[Sorvane] librime finalized for quit\n[Sorvane] server exiting\n"))
            << closing;
        EXPECT_FALSE(nameOwned());
    }
}

TEST_F(ServerProcessTest, EngineStartFailureIsLoggedAndTheServerStillServes) {
    const fs::path bundle =
        bareBundle("<key>CFBundleIdentifier</key><string>cn.kestrum.inputmethod.Sorvane</string>\n");
    auto server = startServer((bundle / "Contents" / "MacOS" / "SorvaneIME").string());
    ASSERT_TRUE(server->waitForStderr(kServerUp, 30s)) << server->err();
    EXPECT_NE(server->err().find("[Sorvane] engine start failed: shared data dir does not exist: " +
                                 (bundle / "Contents" / "SharedSupport" / "rime").string() +
                                 " (run scripts/fetch-rime-data)\n"),
              std::string::npos)
        << server->err();
    const auto typed = type("ni{return}");
    EXPECT_EQ(typed.status, 0) << typed.err;
    EXPECT_NE(typed.out.find("field \"ni\\n\""), std::string::npos) << typed.out;
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait(20s), 0);
    // No engine, nothing to finalize.
    EXPECT_EQ(server->err().find("librime finalized"), std::string::npos);
    EXPECT_TRUE(server->err().ends_with("[Sorvane] server exiting\n")) << server->err();
}

TEST_F(ServerProcessTest, AnUnreadableUserDataFolderLeavesTheServerUpWithoutTheEngine) {
    const fs::path rime = home_.path() / "Library" / "SorvaneIME" / "rime";
    fs::create_directories(rime);
    for (const fs::path& p : {home_.path(), home_.path() / "Library", rime.parent_path(), rime})
        handToChild(p);
    fs::permissions(rime, fs::perms::none);
    const auto [program, arguments] = unprivileged(SORVANE_EXECUTABLE, {});
    ChildProcess server(program, arguments, {{"SORVANE_LOG_STDERR", "1"}});
    ASSERT_TRUE(server.waitForStderr(kServerUp, 30s)) << server.err();
    const std::string err = server.err();
    const auto failed = err.find("[Sorvane] engine start failed: ");
    EXPECT_NE(failed, std::string::npos) << err;
    EXPECT_EQ(err.find("[Sorvane] engine start failed: ", failed + 1), std::string::npos) << err;
    EXPECT_EQ(err.find("[Sorvane] librime "), std::string::npos) << err;
    server.signal(SIGTERM);
    EXPECT_EQ(server.wait(20s), 0) << server.err();
    EXPECT_TRUE(server.err().ends_with("[Sorvane] server exiting\n")) << server.err();
}

TEST_F(ServerProcessTest, TheEngineCheckFailsCleanlyOnAnUnreadableFolderOrABadTemporaryDirectory) {
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::others_exec);
    const fs::path tmp = dir_.path() / "tmp";
    const fs::path shared = dir_.path() / "rime";
    fs::create_directories(tmp);
    fs::create_directories(shared / "build");
    for (const fs::path& p : {tmp, shared, shared / "build"}) handToChild(p);
    fs::permissions(shared, fs::perms::none);
    const auto [program, arguments] =
        unprivileged(SORVANE_EXECUTABLE, {"--engine-check", "--shared-dir", shared});
    const auto check = ChildProcess::run(program, arguments, {{"TMPDIR", tmp.string()}});
    EXPECT_EQ(check.status, 1) << check.out << check.err;
    EXPECT_NE(check.out.find("\nFAIL  engine start: "), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("Permission denied"), std::string::npos) << check.out;
    for (const auto& entry : fs::directory_iterator(tmp))  // librime's own logs may stay
        EXPECT_FALSE(entry.path().filename().string().starts_with("sorvane-engine-check-")) << entry.path();

    const fs::path file = dir_.path() / "file";
    ASSERT_TRUE(Files::atomicWrite(file, "x"));
    for (const fs::path& bad : {dir_.path() / "missing", file}) {
        const auto r = ChildProcess::run(SORVANE_EXECUTABLE, {"--engine-check"}, {{"TMPDIR", bad.string()}});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_TRUE(r.out.starts_with("FAIL  temporary directory " + bad.string() + ": ")) << r.out << r.err;
    }
}

TEST_F(ServerProcessTest, TheConnectionNameFollowsTheBundleIdentifier) {
    const struct {
        const char* dict;
        const char* bundleId;
    } cases[] = {
        {"<key>CFBundleIdentifier</key><string>org.example.Other</string>\n", "org.example.Other"},
        {"<key>CFBundleName</key><string>Sorvane</string>\n", "cn.kestrum.inputmethod.Sorvane"},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir_.path() / "SorvaneIME.app");
        const fs::path bundle = bareBundle(c.dict);
        auto server = startServer((bundle / "Contents" / "MacOS" / "SorvaneIME").string());
        ASSERT_TRUE(server->waitForStderr(kServerUp, 30s)) << server->err();
        EXPECT_NE(server->err().find(kServerUp + c.bundleId + "_Connection bundle=" + c.bundleId +
                                     " path=" + bundle.string() + "\n"),
                  std::string::npos)
            << server->err();
        const auto typed = type("x", {"--connection", std::string(c.bundleId) + "_Connection"});
        EXPECT_EQ(typed.status, 0) << typed.err;
        server->signal(SIGTERM);
        EXPECT_EQ(server->wait(20s), 0);
    }
}

TEST_F(ServerProcessTest, ASecondServerSaysWhyItHasNoNameAndTheFirstKeepsServing) {
    auto first = startServer();
    ASSERT_TRUE(first->waitForStderr(kServerUp, 30s)) << first->err();
    auto second = startServer();
    ASSERT_TRUE(second->waitForStderr(kServerUp, 30s)) << second->err();
    const std::string err = second->err();
    EXPECT_NE(
        err.find(
            "[Sorvane] IMKServer: cannot own cn.kestrum.inputmethod.Sorvane_Connection: the name is owned "
            "by another process"),
        std::string::npos)
        << err;
    EXPECT_NE(
        err.find(
            "[Sorvane] FATAL: IMKServer(name: cn.kestrum.inputmethod.Sorvane_Connection) returned nil\n"),
        std::string::npos);
    EXPECT_FALSE(second->wait(200ms));  // it keeps running
    const auto typed = type("ok");
    EXPECT_EQ(typed.status, 0) << typed.err;
    second->signal(SIGTERM);
    first->signal(SIGTERM);
    EXPECT_EQ(second->wait(20s), 0);
    EXPECT_EQ(first->wait(20s), 0);
}

TEST_F(ServerProcessTest, AClientKilledMidSessionHasItsSessionClosed) {
    auto server = startServer();
    ASSERT_TRUE(server->waitForStderr(kServerUp, 30s)) << server->err();
    // Control keys pass through to the application, so the client sees them.
    ChildProcess client(clientTool(), {"{ctrl+a}{ctrl+b}{wait 20000}"});
    // Generous: the client connects while the server may still be busy
    // starting up on a loaded machine.
    ASSERT_TRUE(testing::waitUntil([&] { return client.out().find("key code=11") != std::string::npos; }))
        << client.err();
    client.signal(SIGKILL);
    client.wait(5s);
    EXPECT_TRUE(server->waitForStderr("left the bus; closed 1 session(s)", 10s)) << server->err();
    const auto typed = type("still");
    EXPECT_EQ(typed.status, 0) << typed.err;
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait(20s), 0);
}

TEST_F(ServerProcessTest, TheClientToolSaysWhatIsWrong) {
    const auto noServer = type("a", {"--wait-server", "100"});
    EXPECT_EQ(noServer.status, 1);
    EXPECT_NE(noServer.err.find("no server owns cn.kestrum.inputmethod.Sorvane_Connection"),
              std::string::npos);
    const auto badScript = type("ab{bogus}");
    EXPECT_EQ(badScript.status, 2);
    EXPECT_NE(badScript.err.find("script at 2: unknown key {bogus}"), std::string::npos) << badScript.err;
    EXPECT_EQ(badScript.out, "");
}

TEST_F(ServerProcessTest, AnyArgumentMeansNoServer) {
    for (const char* arg : {"--help", "--bogus", "--engine-check"}) {
        const auto r =
            ChildProcess::run(SORVANE_EXECUTABLE, {arg, "--shared-dir"}, {{"SORVANE_LOG_STDERR", "1"}});
        ASSERT_TRUE(r.status);
        EXPECT_EQ(r.err.find("[Sorvane]"), std::string::npos) << arg << ": " << r.err;
    }
    EXPECT_FALSE(nameOwned());
}

}  // namespace
}  // namespace sorvane
