// The installer's and uninstaller's options as they run: the real executable
// in a temporary HOME, over the registry and preferences files there.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>

#include "platform/files/Files.h"
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

// What stands where a file should be, and why the registry's line says it
// could not be read.
struct Obstacle {
    std::string name;
    std::function<void(const fs::path&)> make;
    std::string reason;
};

// Files of these bytes, then the things that are no file at all.
std::vector<Obstacle> obstacles(const std::vector<std::array<std::string, 3>>& files) {
    std::vector<Obstacle> out;
    for (const auto& [name, bytes, reason] : files) {
        out.push_back({name,
                       [bytes = bytes](const fs::path& file) {
                           ASSERT_TRUE(Files::atomicWrite(file, bytes, Files::publicMode, bytes.size()));
                       },
                       reason});
    }
    out.push_back({"a FIFO", [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0); },
                   "not a regular file"});
    out.push_back(
        {"a folder", [](const fs::path& file) { fs::create_directories(file); }, "not a regular file"});
    out.push_back({"/dev/zero", [](const fs::path& file) { fs::create_symlink("/dev/zero", file); },
                   "not a regular file"});
    return out;
}

// What stands at `file`: its kind and, for a plain file, its bytes.
std::pair<fs::file_type, std::string> standing(const fs::path& file) {
    const auto kind = fs::symlink_status(file).type();
    if (kind != fs::file_type::regular) return {kind, ""};
    return {kind, *Files::readFile(file, 8 * Files::dataFileLimit)};
}

const std::string kOurEntry =
    R"({"Bundle ID":"cn.kestrum.inputmethod.Sorvane","InputSourceKind":"Keyboard Input Method"})";

TEST_F(RegistrationOptionsTest, UnreadableRegistryAndEnabledListAreNamedAndNeverReplaced) {
    const std::string notRegistered = "input source " + kMode + " is not registered\n";
    std::string manySources = R"({"sources": [)";
    for (std::size_t i = 0; i <= 4096; ++i) manySources += std::string(i ? "," : "") + R"({"id": "x"})";
    for (const auto& obstacle : obstacles({
             {"not JSON", "{not json", "not JSON"},
             {"of wrong types", R"({"sources": [{"id": "com.apple.keylayout.ABC", "enabled": "yes"}]})",
              "source 1 is not a text \"id\" with Boolean flags"},
             {"over the source limit", manySources + "]}", "more than 4096 sources"},
         })) {
        SCOPED_TRACE(obstacle.name);
        fs::remove_all(home.path() / "Library");
        fs::create_directories(registry().parent_path());
        obstacle.make(registry());
        const auto before = standing(registry());
        // Each run names the file once, then goes on as it always did.
        const std::string named =
            "input-source registry unreadable: " + registry().string() + ": " + obstacle.reason + "\n";
        runSteps({
            {{"--status"},
             1,
             "id=" + kMode + " registered=false enabled=false selected=false\ncurrent=\nghostTest=false\n",
             named},
            {{"--list"}, 0, "", named},
            {{"--enable"}, 1, "enable failed " + kMode + "\n", named + notRegistered},
        });
        EXPECT_EQ(standing(registry()), before);
    }

    // The installer's whole road over the last of them: nothing replaces it.
    const auto before = standing(registry());
    const std::string named =
        "input-source registry unreadable: " + registry().string() + ": not a regular file\n";
    const auto started = std::chrono::steady_clock::now();
    runSteps({
        // A failed registration still waits its 5 s for the mode.
        {{"--install"}, 1, "register err(-36) " + std::string(SORVANE_BUNDLE_DIR) + "\n", named},
        {{"--select"}, 1, "select failed " + kMode + "\n", named + notRegistered},
        {{"--restore", "com.apple.keylayout.ABC"},
         1,
         "restore failed com.apple.keylayout.ABC -> now ?\n",
         named + "no such input source: com.apple.keylayout.ABC\n"},
        {{"--current"}, 0, "\n", named},
        {{"--remove-enabled"}, 0, "remove-enabled: not in enabled list\n", named},
    });
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(standing(registry()), before);

    // An enabled list that cannot be read is never said to lack our entries,
    // even when it is full of them.
    const fs::path list = home.path() / "Library/Preferences/com.apple.HIToolbox.json";
    const std::string unreadable = "enabled list unreadable; not changed\n";
    std::string ours = kOurEntry;
    while (ours.size() <= Files::dataFileLimit) ours += "," + kOurEntry;
    for (const auto& obstacle : obstacles({
             {"over the size bound, all ours", R"({"AppleEnabledInputSources":[)" + ours + "]}", ""},
             {"not a list of dictionaries", R"({"AppleEnabledInputSources":[)" + kOurEntry + ",3]}", ""},
         })) {
        SCOPED_TRACE(obstacle.name);
        fs::remove_all(home.path() / "Library");
        fs::create_directories(list.parent_path());
        obstacle.make(list);
        const auto kept = standing(list);
        runSteps({
            {{"--remove-enabled"}, 0, "remove-enabled: " + unreadable},
            {{"--ensure-enabled"}, 0, "ensure-enabled: " + unreadable, notRegistered},
        });
        EXPECT_EQ(standing(list), kept);
    }
}

}  // namespace
}  // namespace sorvane
