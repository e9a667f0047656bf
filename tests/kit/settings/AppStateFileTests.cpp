#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "kit/route/MacBillingState.h"
#include "kit/settings/AppStateFile.h"
#include "platform/Text.h"
#include "platform/files/Files.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FilePermissions.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using nlohmann::json;
using testing::ScopedLogCapture;
using testing::TempDir;
using testing::TempHome;

class AppStateFileTest : public ::testing::Test {
protected:
    TempDir dir;
    AppStateFile file{dir.path() / "Library" / "SorvaneIME" / "state.json"};

    void write(const std::string& text) {
        std::filesystem::create_directories(file.url.parent_path());
        std::ofstream(file.url, std::ios::binary | std::ios::trunc) << text;
    }
    std::string contents() const { return Files::readFile(file.url).valueOr("<missing>"); }
};

TEST(AppStateFileLive, UnderHome) {
    TempHome home;
    EXPECT_EQ(AppStateFile::live().url, home.path() / "Library/SorvaneIME/state.json");
}

TEST_F(AppStateFileTest, UpdateOnMissingFileCreatesFolderWithOnlyTheBodysKeys) {
    EXPECT_TRUE(file.acceptTerms("2026-09-15"));
    EXPECT_EQ(contents(), "{\n  \"termsAcceptedVersion\": \"2026-09-15\"\n}");
    EXPECT_EQ(file.termsAcceptedVersion(), "2026-09-15");
}

TEST_F(AppStateFileTest, ForeignKeysSurviveAnUpdate) {
    write(R"({"zeta":[1,{"b":null}],"welcomeShownAt":"2026-12-06T14:38:50Z","alpha":{"x":1.5}})");
    ASSERT_TRUE(file.acceptTerms("2026-09-15"));
    const json expected = {{"alpha", {{"x", 1.5}}},
                           {"termsAcceptedVersion", "2026-09-15"},
                           {"welcomeShownAt", "2026-12-06T14:38:50Z"},
                           {"zeta", json::array({1, {{"b", nullptr}}})}};
    EXPECT_EQ(json::parse(contents()), expected);
    // Sorted keys, pretty-printed.
    EXPECT_LT(contents().find("\"alpha\""), contents().find("\"termsAcceptedVersion\""));
    EXPECT_LT(contents().find("\"welcomeShownAt\""), contents().find("\"zeta\""));
    EXPECT_NE(contents().find("\n  \"alpha\": {"), std::string::npos);
}

// Another writer's number that a double cannot hold goes back as written;
// the file is the user's own, so private.
TEST_F(AppStateFileTest, ForeignValuesKeepTheirExactTextInAPrivateFile) {
    write(R"({"huge":12345678901234567890123,"pi":3.14159265358979323846,"welcomeShownAt":"x"})");
    ASSERT_TRUE(file.acceptTerms("v2"));
    EXPECT_EQ(contents(),
              "{\n  \"huge\": 12345678901234567890123,\n  \"pi\": 3.14159265358979323846,\n"
              "  \"termsAcceptedVersion\": \"v2\",\n  \"welcomeShownAt\": \"x\"\n}");
    struct stat st {};
    ASSERT_EQ(::stat(file.url.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(AppStateFileTest, RemovingAnAbsentKeyStillRewrites) {
    write(R"({"b":1,"a":2})");
    EXPECT_TRUE(file.update([](json& o) { o.erase("termsAcceptedVersion"); }));
    EXPECT_EQ(contents(), "{\n  \"a\": 2,\n  \"b\": 1\n}");
}

TEST_F(AppStateFileTest, WithdrawingConsentKeepsWelcome) {
    ASSERT_TRUE(file.markWelcomeShown(std::chrono::sys_days{std::chrono::year{2026} / 12 / 6} +
                                      std::chrono::hours(14) + std::chrono::minutes(38) +
                                      std::chrono::seconds(50)));
    ASSERT_TRUE(file.acceptTerms("2026-09-15"));
    ASSERT_TRUE(file.update([](json& o) { o.erase("termsAcceptedVersion"); }));
    EXPECT_EQ(file.termsAcceptedVersion(), std::nullopt);
    EXPECT_TRUE(file.welcomeWasShown());
    EXPECT_EQ(json::parse(contents())["welcomeShownAt"], "2026-12-06T14:38:50Z");
}

struct ReadCase {
    const char* name;
    const char* text;  // nullptr: no file
    bool welcomeShown;
    std::optional<std::string> terms;
};

TEST_F(AppStateFileTest, ReadersTable) {
    const ReadCase cases[] = {
        {"missing", nullptr, false, std::nullopt},
        {"empty object", "{}", false, std::nullopt},
        {"welcome null still counts", R"({"welcomeShownAt":null})", true, std::nullopt},
        {"welcome any value", R"({"welcomeShownAt":42})", true, std::nullopt},
        {"terms as number", R"({"termsAcceptedVersion":20260915})", false, std::nullopt},
        {"terms as string", R"({"termsAcceptedVersion":"2026-09-15"})", false, "2026-09-15"},
        {"empty terms string", R"({"termsAcceptedVersion":""})", false, ""},
        {"top-level array", R"([{"welcomeShownAt":"x"}])", false, std::nullopt},
        {"corrupt", R"({"welcomeShownAt":)", false, std::nullopt},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(file.url);
        if (c.text) write(c.text);
        EXPECT_EQ(file.welcomeWasShown(), c.welcomeShown) << c.name;
        EXPECT_EQ(file.termsAcceptedVersion(), c.terms) << c.name;
    }
}

// What does not parse may still be the user's (one Latin-1 byte in a state
// file that holds the accepted terms): the first write sets it aside beside
// the file, with one log line, and goes on in a fresh file. The same holds
// for the route state.
TEST_F(AppStateFileTest, CorruptFileIsSetAsideOnceThenReplaced) {
    const MacBillingStateFile billing(file.url.parent_path() / "billing.json");
    struct Store {
        std::filesystem::path url;
        std::string noun;
        std::function<bool()> write;
        std::string written;
    };
    const Store stores[] = {
        {file.url, "state", [&] { return file.acceptTerms("v2"); },
         "{\n  \"termsAcceptedVersion\": \"v2\"\n}"},
        {billing.url, "billing state",
         [&] {
             return billing.update([](MacBillingState& s) { s.source = MacBillingState::Source::ownKey; })
                 .hasValue();
         },
         R"({"source":"ownKey","verifiedAt":"0001-01-01T00:00:00Z"})"},
    };
    const std::string tooDeep = "{\"a\":" + std::string(64, '[') + std::string(64, ']') + "}";
    for (const auto& store : stores) {
        for (const std::string& bad :
             {std::string("{\"termsAcceptedVersion\":\"2026-09-15\",\"welcomeShownAt\":\"caf\xe9\"}"),
              std::string("{\"termsAcceptedVersion\": \"2026"), std::string("[1,2,3]"),
              std::string("\"text\""), std::string(), tooDeep}) {
            SCOPED_TRACE(store.noun + ": " + bad);
            std::filesystem::remove_all(file.url.parent_path());
            std::filesystem::create_directories(file.url.parent_path());
            std::ofstream(store.url, std::ios::binary) << bad;
            ScopedLogCapture capture;
            EXPECT_TRUE(store.write());
            EXPECT_TRUE(store.write()) << "a second write finds a good file";
            EXPECT_EQ(Files::readFile(store.url).valueOr("<missing>"), store.written);
            std::vector<std::filesystem::path> kept;
            for (const auto& entry : std::filesystem::directory_iterator(file.url.parent_path()))
                if (entry.path().filename().string().starts_with(store.url.filename().string() + ".corrupt-"))
                    kept.push_back(entry.path());
            ASSERT_EQ(kept.size(), 1u);
            EXPECT_EQ(Files::readFile(kept[0]).valueOr("<missing>"), bad);
            EXPECT_EQ(
                capture->messages(),
                (std::vector<std::string>{"[Sorvane] " + store.noun +
                                          " unreadable as a JSON object, kept as " + kept[0].string()}));
        }
    }
}

TEST_F(AppStateFileTest, UnreadableFileIsLeftAloneAndReportedAsNotWritten) {
    testing::ScopedFilePermissions permissions;
    if (!permissions.enforced()) GTEST_SKIP() << "file permissions cannot be enforced here";
    write(R"({"termsAcceptedVersion":"2026-09-15","welcomeShownAt":"2026-12-06T14:38:50Z"})");
    ::chmod(file.url.c_str(), 0000);
    ScopedLogCapture capture;
    EXPECT_FALSE(file.markWelcomeShown(std::chrono::system_clock::now()));
    ::chmod(file.url.c_str(), 0600);
    const auto messages = capture->messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "[Sorvane] state not written: Permission denied (" + file.url.string() + ")");
    EXPECT_EQ(json::parse(contents())["termsAcceptedVersion"], "2026-09-15");
}

TEST_F(AppStateFileTest, StateThatIsAFolderIsRefusedAndLeftAlone) {
    std::filesystem::create_directories(file.url / "keep");
    ScopedLogCapture capture;
    EXPECT_FALSE(file.acceptTerms("2026-09-15"));
    EXPECT_EQ(capture->messages(),
              (std::vector<std::string>{
                  "[Sorvane] file not read: Not a regular file (" + file.url.string() + ")",
                  "[Sorvane] state not written: Not a regular file (" + file.url.string() + ")"}));
    EXPECT_TRUE(std::filesystem::is_directory(file.url / "keep"));
    EXPECT_FALSE(file.welcomeWasShown());
}

TEST_F(AppStateFileTest, FailedWriteLogsAndKeepsOldContents) {
    testing::ScopedFilePermissions permissions;
    if (!permissions.enforced()) GTEST_SKIP() << "file permissions cannot be enforced here";
    write(R"({"a":1})");
    ::chmod(file.url.parent_path().c_str(), 0500);
    ScopedLogCapture capture;
    EXPECT_FALSE(file.acceptTerms("2026-09-15"));
    ::chmod(file.url.parent_path().c_str(), 0700);
    ASSERT_EQ(capture->messages().size(), 1u);
    EXPECT_EQ(capture->messages()[0].rfind("[Sorvane] state not written: Permission denied", 0), 0u)
        << capture->messages()[0];
    EXPECT_EQ(contents(), R"({"a":1})");
}

TEST_F(AppStateFileTest, InvalidUtf8FromBodyIsLoggedNotWritten) {
    write(R"({"a":1})");
    ScopedLogCapture capture;
    EXPECT_FALSE(file.update([](json& o) { o["bad"] = std::string("\xC3"); }));
    ASSERT_EQ(capture->messages().size(), 1u);
    EXPECT_EQ(capture->messages()[0].rfind("[Sorvane] state not written: ", 0), 0u);
    EXPECT_EQ(contents(), R"({"a":1})");
}

// The server and the settings window both update the file: two processes
// counting through it lose no increment.
TEST_F(AppStateFileTest, UpdatesFromTwoProcessesLoseNothing) {
    constexpr int perProcess = 100;
    auto count = [&] {
        for (int i = 0; i < perProcess; ++i) {
            file.update([](json& o) { o["n"] = o.value("n", 0) + 1; });
        }
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        count();
        ::_exit(0);
    }
    count();
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(json::parse(contents())["n"], 2 * perProcess);
}

}  // namespace
}  // namespace sorvane
