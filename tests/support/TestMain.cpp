// The entry of every test program. Each test runs with a HOME, a runtime
// folder and a session bus that are its own: nothing it starts (a server, a
// settings window, anything that takes a per-user lock or bus name) can meet
// what another test, another suite of the same `ctest -j`, another build's
// tests or the user's own session hold at the same moment. A test asks for a
// bus of its own with PrivateBus; without one it has none, never the user's
// and never one started for it: with no session address and a display,
// libdbus and GLib would start a bus over X11 that outlives the tests and
// that every test program on that display shares.
//
// Widgets draw offscreen unless the caller chose a platform, so that a test
// program run by hand on a machine without a display passes too.
//
// A test program started by a test (to run one case in a fresh process)
// keeps the environment its parent test gave it, unless that test clears
// SORVANE_TEST_ISOLATION.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TempHome.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kIsolatedMark = "SORVANE_TEST_ISOLATION";

// What HOME and the runtime folder point at, under one private folder.
void enter(const fs::path& folder) {
    for (const char* name : {"home", "run"}) {
        const fs::path dir = folder / name;
        fs::create_directories(dir);
        ::chmod(dir.c_str(), 0700);
    }
    ::setenv("HOME", (folder / "home").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (folder / "run").c_str(), 1);
}

class Isolation final : public ::testing::EmptyTestEventListener {
public:
    explicit Isolation(fs::path root) : root_(std::move(root)) {}

    void OnTestStart(const ::testing::TestInfo&) override {
        current_ = root_ / ("test-" + std::to_string(++count_));
        enter(current_);
    }

    // Back to the program's own folders; the test's go with everything in
    // them. A test that changed the variables has put them back by now.
    void OnTestEnd(const ::testing::TestInfo&) override {
        enter(root_);
        sorvane::testing::leaveFolder(current_, root_);
        std::error_code ec;
        fs::permissions(current_, fs::perms::owner_all, ec);
        fs::remove_all(current_, ec);
    }

private:
    fs::path root_;
    fs::path current_;
    unsigned count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (const char* mark = std::getenv(kIsolatedMark); mark && *mark) return RUN_ALL_TESTS();

    const fs::path root = sorvane::testing::makeTempDir("sorvane-tests-");
    ::setenv(kIsolatedMark, root.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The user's bus and folders stay out of reach: XDG folders outside HOME
    // would not follow a test's TempHome. The session address names a socket
    // that is never made: unset, it would let a display start a bus.
    for (const char* name : {"DBUS_STARTER_ADDRESS", "DBUS_STARTER_BUS_TYPE", "XDG_CONFIG_HOME",
                             "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        ::unsetenv(name);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (root / "no-bus").string()).c_str(), 1);
    enter(root);
    ::testing::UnitTest::GetInstance()->listeners().Append(new Isolation(root));

    const int status = RUN_ALL_TESTS();
    std::error_code ec;
    fs::remove_all(root, ec);
    return status;
}
