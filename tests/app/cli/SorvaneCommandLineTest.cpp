// The command line as a user meets it: the real executable, its output
// streams and its exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/cli/SorvaneCommandLine.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using testing::ChildProcess;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

ChildProcess::Result runExecutable(std::vector<std::string> args,
                                   std::map<std::string, std::string> env = {}) {
    return ChildProcess::run(SORVANE_EXECUTABLE, std::move(args), std::move(env));
}

TEST(SorvaneCommandLineTest, AnEmptyArgumentListIsNotACommandLineRun) {
    EXPECT_FALSE(SorvaneCommandLine::handleIfPresent({}));
}

TEST(SorvaneCommandLineTest, HelpTextLinesUpTheDescriptions) {
    const std::string help = SorvaneCommandLine::helpText();
    ASSERT_FALSE(help.empty());
    EXPECT_NE(help.back(), '\n');
    const auto all = lines(help);
    ASSERT_EQ(all.size(), 2u + 22u + 3u);
    EXPECT_EQ(all[0], "SorvaneIME (Sorvane输入法) — Phase 0 shell");
    EXPECT_EQ(all[1], "");
    EXPECT_EQ(all[2], "  --install            TISRegisterInputSource(this bundle)");
    EXPECT_EQ(all[12],
              "  --settings [page]    unified window; page = "
              "welcome|service|ownKey|hotkeys|general|privacy|about|account");
    // Over 19 characters: exactly two spaces.
    EXPECT_EQ(all[20],
              "  --engine-check       start librime from this bundle, type nihao, print candidate 1");
    EXPECT_EQ(
        all[23],
        "  --render-update-toast [dir]  write update-toast-{light,dark}.png of the update toast (offscreen)");
    for (std::size_t i = 2; i < 24; ++i) {
        const std::string& line = all[i];
        ASSERT_TRUE(line.starts_with("  --") || line.starts_with("  -")) << line;
        const std::string option = line.substr(2, line.find("  ", 2) - 2);
        // Descriptions begin in column 24 unless the option is too long.
        const std::size_t descriptionAt = option.size() <= 19 ? 23 : 2 + option.size() + 2;
        EXPECT_EQ(line.substr(2 + option.size(), descriptionAt - 2 - option.size()),
                  std::string(descriptionAt - 2 - option.size(), ' '))
            << line;
        EXPECT_NE(line.at(descriptionAt), ' ') << line;
    }
    EXPECT_EQ(all[24], "");
    EXPECT_EQ(all[25], "With no arguments the process starts the IMKServer; only TextInputSources");
    EXPECT_EQ(all[26], "should do that.");
}

TEST(SorvaneCommandLineTest, HelpGoesToStandardOutputWithStatusZero) {
    for (const char* option : {"--help", "-h"}) {
        const auto r = runExecutable({option, "ignored"});
        EXPECT_EQ(r.status, 0) << option;
        EXPECT_EQ(r.out, SorvaneCommandLine::helpText() + "\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST(SorvaneCommandLineTest, HelpMatchesTheDocumentedTextByteForByte) {
    std::ifstream golden(std::string(SORVANE_SOURCE_DIR) + "/tests/app/cli/data/help.txt", std::ios::binary);
    const std::string expected((std::istreambuf_iterator<char>(golden)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(runExecutable({"--help"}).out, expected);
}

TEST(SorvaneCommandLineTest, PanelDemoReadsOnlyWholeNumbersAndReportsThePanel) {
    const struct {
        std::vector<std::string> words;
        std::string caret;  // empty: the centre of the visible frame
        std::string seconds;
    } cases[] = {
        {{"100", "abc", "200", "0"}, "(100.0, 200.0, 1.0, 18.0)", "0.0"},
        {{" 5", "inf", "1e999", "0"}, "", "0.0"},
        {{"-1"}, "", "-1.0"},
    };
    const std::regex first(
        R"(panel-demo caret=\((.*)\) for (.*)s \(screen visibleFrame \((.*), (.*), (.*), (.*)\)\))");
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--panel-demo"};
        args.insert(args.end(), c.words.begin(), c.words.end());
        const auto r = runExecutable(args);
        EXPECT_EQ(r.status, 0) << r.err;
        const auto out = lines(r.out);
        ASSERT_EQ(out.size(), 2u) << r.out;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(out[0], m, first)) << out[0];
        EXPECT_EQ(m[2], c.seconds);
        std::string caret = c.caret;
        if (caret.empty()) {
            const double cx = std::stod(m[3]) + std::stod(m[5]) / 2,
                         cy = std::stod(m[4]) + std::stod(m[6]) / 2;
            caret = "(" + std::to_string(int(cx)) + ".0, " + std::to_string(int(cy)) + ".0, 1.0, 18.0)";
        }
        EXPECT_EQ("(" + m[1].str() + ")", caret);
        EXPECT_TRUE(std::regex_match(out[1], std::regex(R"(panel frame=\(.*, .*, .*, .*\) visible=true)")))
            << out[1];
    }
}

TEST(SorvaneCommandLineTest, RenderHudWritesThreeTilesOrSaysWhichFailed) {
    testing::TempDir dir;
    // No folder can be made below a plain file.
    const auto belowAFile = dir.path() / "plain" / "tiles";
    std::ofstream(dir.path() / "plain") << "x";
    auto r = runExecutable({"--render-hud", belowAFile.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "render-hud chinese FAILED\nrender-hud english FAILED\nrender-hud ascii FAILED\n");
    EXPECT_NE(r.err.find("render-hud: Not a directory (" + belowAFile.string() + ")\n"), std::string::npos)
        << r.err;

    // A missing folder is made.
    const auto missing = dir.path() / "missing";
    r = runExecutable({"--render-hud", missing.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string expected;
    for (const char* mode : {"chinese", "english", "ascii"}) {
        const auto file = missing / (std::string("hud-") + mode + ".png");
        expected += std::string("render-hud ") + mode + " -> " + file.string() + "\n";
        std::ifstream png(file, std::ios::binary);
        char header[24] = {};
        png.read(header, sizeof header);
        ASSERT_EQ(std::string(header + 1, 3), "PNG") << file;
        // Width and height, big-endian, at scale 2 of the tile.
        const auto be32 = [&](int at) {
            return (unsigned(uint8_t(header[at])) << 24) | (unsigned(uint8_t(header[at + 1])) << 16) |
                   (unsigned(uint8_t(header[at + 2])) << 8) | unsigned(uint8_t(header[at + 3]));
        };
        EXPECT_EQ(be32(16), 128u);
        EXPECT_EQ(be32(20), 120u);
    }
    EXPECT_EQ(r.out, expected);

    // A folder named in GBK, not UTF-8: its bytes are the path.
    const auto gbk = dir.path() / "\xd6\xd0\xce\xc4";
    std::filesystem::create_directory(gbk);
    r = runExecutable({"--render-hud", gbk.string()});
    EXPECT_EQ(r.status, 0) << r.out;
    r = runExecutable({"--render-update-toast", gbk.string()});
    EXPECT_EQ(r.status, 0) << r.out;
    for (const char* name :
         {"hud-chinese", "hud-english", "hud-ascii", "update-toast-light", "update-toast-dark"})
        EXPECT_GT(std::filesystem::file_size(gbk / (std::string(name) + ".png")), 1000u) << name;
}

TEST(SorvaneCommandLineTest, UnknownArgumentsAreUsageErrorsOnStandardError) {
    // Letter case counts; options of parts not built yet are unknown too.
    for (const char* option : {"--bogus", "--HELP", "-H", "", "--engine-check=x", "--Settings"}) {
        const auto r = runExecutable({option});
        EXPECT_EQ(r.status, 2) << option;
        EXPECT_EQ(r.out, "") << option;
        EXPECT_EQ(r.err,
                  std::string("unknown argument: ") + option + "\n" + SorvaneCommandLine::helpText() + "\n");
    }
}

TEST(SorvaneCommandLineTest, EngineCheckSharedDirWithoutValueFailsAtOnce) {
    const auto r = runExecutable({"--engine-check", "--shared-dir"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "FAIL --shared-dir needs a value\n");
}

TEST(SorvaneCommandLineTest, EngineCheckAgainstAMissingFolderPrintsTheFailures) {
    testing::TempDir dir;
    const std::string missing = (dir.path() / "no-rime").string();
    const auto r = runExecutable({"--engine-check", "--ignored", "--shared-dir", missing});
    EXPECT_EQ(r.status, 1);
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 4u) << r.out;
    EXPECT_EQ(out[0], "shared : " + missing);
    EXPECT_TRUE(
        std::regex_match(out[1], std::regex("user   : .*/sorvane-engine-check-[0-9A-F-]{36}  \\(fresh\\)")))
        << out[1];
    EXPECT_EQ(out[2], "FAIL  opencc data present: " + missing + "/opencc/t2s.json");
    EXPECT_EQ(out[3], "FAIL  engine start: shared data dir does not exist: " + missing +
                          " (run scripts/fetch-rime-data)");
    const std::string userDir = out[1].substr(9, out[1].size() - 9 - 9);
    EXPECT_FALSE(std::filesystem::exists(userDir)) << userDir;
}

TEST(SorvaneCommandLineTest, EngineCheckExpandsALeadingTilde) {
    testing::TempHome home;
    const auto r =
        runExecutable({"--engine-check", "--shared-dir", "~/rime-data"}, {{"HOME", home.path().string()}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.out).at(0), "shared : " + (home.path() / "rime-data").string());
}

TEST(SorvaneCommandLineTest, EngineCheckTakesARelativeFolderFromTheCurrentDirectory) {
    const auto r = runExecutable({"--engine-check", "--shared-dir", "no-such-rime"});
    EXPECT_EQ(r.status, 1);
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 4u) << r.out;
    EXPECT_EQ(out[0], "shared : no-such-rime");
    EXPECT_EQ(out[3], "FAIL  engine start: shared data dir does not exist: " +
                          (std::filesystem::current_path() / "no-such-rime").string() +
                          " (run scripts/fetch-rime-data)");
}

TEST(SorvaneCommandLineTest, EngineCheckAgainstTheBundlesDataPassesEveryCheck) {
    testing::TempHome home;
    const auto r = runExecutable({"--engine-check"}, {{"HOME", home.path().string()}});
    EXPECT_EQ(r.status, 0) << r.out;
    const auto out = lines(r.out);
    const std::string shared = std::string(SORVANE_BUNDLE_DIR) + "/Contents/SharedSupport/rime";
    const std::vector<std::string> expected = {
        "shared : " + shared,
        "user   : *",
        "PASS  opencc data present: " + shared + "/opencc/t2s.json",
        "start  : * ms",
        "librime: *",
        "schema : *",
        "PASS  engine started and session created",
        "PASS  start under 5 s (a slower start means <shared>/build was not used)",
        "preedit: ni hao",
        "cand 1 : 你好",
        "PASS  first candidate for \"nihao\" is 你好",
        "PASS  option zh_hans is on (OpenCC simplification)",
        "cand 1 : zhongguo -> 中国",
        "PASS  first candidate for \"zhongguo\" is 中国, not 中國",
        "cand 1 : fazhan -> 发展",
        "PASS  first candidate for \"fazhan\" is 发展, not 發展",
        "cand 1 : guojia -> 国家",
        "PASS  first candidate for \"guojia\" is 国家, not 國家",
        "PASS: engine check ok",
    };
    ASSERT_EQ(out.size(), expected.size()) << r.out;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string& want = expected[i];
        const auto star = want.find('*');
        if (star == std::string::npos) {
            EXPECT_EQ(out[i], want);
        } else {
            EXPECT_EQ(out[i].substr(0, star), want.substr(0, star));
            EXPECT_TRUE(out[i].ends_with(want.substr(star + 1))) << out[i];
        }
    }
    EXPECT_TRUE(std::regex_match(out[3], std::regex("start  : [0-9]+ ms")));
    // The engine check never touches the user's own folders.
    EXPECT_FALSE(std::filesystem::exists(home.path() / "Library"));
}

}  // namespace
}  // namespace sorvane
