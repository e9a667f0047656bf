#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "app/server/EngineBootstrap.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FakeRime.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;

TEST(EngineBootstrapTest, LayoutOfBundleAndHome) {
    const auto l = EngineBootstrap::layout("/Applications/SorvaneIME.app", "/home/lin");
    EXPECT_EQ(l.sharedDataDir, fs::path("/Applications/SorvaneIME.app/Contents/SharedSupport/rime"));
    EXPECT_EQ(l.userDataDir, fs::path("/home/lin/Library/SorvaneIME/rime"));
    EXPECT_EQ(l.logDir, fs::path("/home/lin/Library/Logs/SorvaneIME"));
    EXPECT_EQ(l.prebuiltDataDir, fs::path("/Applications/SorvaneIME.app/Contents/SharedSupport/rime/build"));
    EXPECT_EQ(l.stagingDir, fs::path("/home/lin/Library/SorvaneIME/rime/build"));
    const auto d = EngineBootstrap::distribution();
    EXPECT_EQ(d.name, "SorvaneIME");
    EXPECT_EQ(d.codeName, "Sorvane");
    EXPECT_EQ(d.version, "0.1.0");
}

TEST(EngineBootstrapTest, FiveSecondsExactlyStillPasses) {
    EXPECT_TRUE(EngineBootstrap::startWithinBound(0));
    EXPECT_TRUE(EngineBootstrap::startWithinBound(5000));
    EXPECT_FALSE(EngineBootstrap::startWithinBound(5000.5));
    EXPECT_FALSE(EngineBootstrap::startWithinBound(5001));
}

TEST(EngineBootstrapTest, MissingSharedDataIsLoggedAndLeavesNoEngine) {
    testing::TempHome home;
    testing::VirtualTime queue;
    testing::ScopedLogCapture log;
    const auto layout = EngineBootstrap::layout(home.path() / "Nowhere.app", home.path());
    EXPECT_EQ(EngineBootstrap::start(layout, queue), nullptr);
    EXPECT_EQ(EngineBootstrap::engine(), nullptr);
    EXPECT_EQ(log->messages(),
              (std::vector<std::string>{"[Sorvane] engine start failed: shared data dir does not exist: " +
                                        layout.sharedDataDir.string() + " (run scripts/fetch-rime-data)"}));
    // The log folder is made before the engine is tried.
    EXPECT_TRUE(fs::is_directory(layout.logDir));
    EXPECT_FALSE(EngineBootstrap::shutdown());
}

TEST(EngineBootstrapTest, StartsOnceLogsTheStartAndNotificationsOnlyThroughTheQueue) {
    testing::TempHome home;
    testing::VirtualTime queue;
    testing::ScopedLogCapture log;
    const auto layout = EngineBootstrap::layout(SORVANE_BUNDLE_DIR, home.path());
    RimeEngine* engine = EngineBootstrap::start(layout, queue);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(EngineBootstrap::engine(), engine);
    EXPECT_TRUE(engine->hasSession());

    const auto messages = log->messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(
        std::regex_match(messages[0], std::regex("\\[Sorvane\\] librime 1\\.8\\.[0-9]+ up in [0-9]+ ms "
                                                 "schema=sorvane shared=" +
                                                 layout.sharedDataDir.string())))
        << messages[0];

    // A second start returns the running engine and does nothing else.
    EXPECT_EQ(EngineBootstrap::start(layout, queue), engine);
    EXPECT_EQ(log->messages().size(), 1u);

    // Whatever librime announced waits for the main queue.
    queue.runPending();
    for (std::size_t i = 1; i < log->messages().size(); ++i)
        EXPECT_TRUE(log->messages()[i].starts_with("[Sorvane] rime ")) << log->messages()[i];

    EXPECT_TRUE(EngineBootstrap::shutdown());
    EXPECT_EQ(EngineBootstrap::engine(), nullptr);
}

// Against an engine that answers no status and no context: every failed
// check is listed again at the end, and the schema reads "?".
TEST(EngineBootstrapTest, SelfTestSummarisesItsFailures) {
    testing::TempDir shared;  // a folder, but no OpenCC data in it
    testing::FakeRime rime;
    rime.getAnswer = false;
    std::ostringstream out;
    EXPECT_EQ(EngineBootstrap::runCheck({"--shared-dir", shared.path().string()}, out, rime.library()), 1);
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const std::string t2s = (shared.path() / "opencc" / "t2s.json").string();
    const std::vector<std::string> tail = {
        "schema : ?",
        "PASS  engine started and session created",
        "PASS  start under 5 s (a slower start means <shared>/build was not used)",
        "preedit: (none)",
        "cand 1 : (none)",
        "FAIL  first candidate for \"nihao\" is 你好",
        "PASS  option zh_hans is on (OpenCC simplification)",
        "cand 1 : zhongguo -> (none)",
        "FAIL  first candidate for \"zhongguo\" is 中国, not 中國",
        "cand 1 : fazhan -> (none)",
        "FAIL  first candidate for \"fazhan\" is 发展, not 發展",
        "cand 1 : guojia -> (none)",
        "FAIL  first candidate for \"guojia\" is 国家, not 國家",
        "  failed: opencc data present: " + t2s,
        "  failed: first candidate for \"nihao\" is 你好",
        "  failed: first candidate for \"zhongguo\" is 中国, not 中國",
        "  failed: first candidate for \"fazhan\" is 发展, not 發展",
        "  failed: first candidate for \"guojia\" is 国家, not 國家",
        "FAIL: 5 check(s) failed",
    };
    ASSERT_EQ(lines.size(), 5 + tail.size()) << out.str();
    EXPECT_EQ(lines[2], "FAIL  opencc data present: " + t2s);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.end()), tail);
}

}  // namespace
}  // namespace sorvane
