#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kit/route/MacBillingState.h"
#include "platform/DateText.h"
#include "platform/files/FileLock.h"
#include "platform/files/Files.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FilePermissions.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using namespace std::chrono;
using testing::ScopedFilePermissions;
using testing::ScopedLogCapture;
using testing::TempHome;
namespace fs = std::filesystem;

using Source = MacBillingState::Source;
using KeyStatus = MacBillingState::KeyStatus;

MacBillingState::Date at(int y, unsigned m, unsigned d, int h, int mi, int s) {
    return sys_days{year{y} / month{m} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const fs::path& path) {
    auto data = Files::readFile(path);
    return data ? *data : std::string("<unreadable>");
}

TEST(MacBillingState, DecodesFieldByFieldTolerantly) {
    struct Case {
        const char* json;
        MacBillingState expected;
    };
    const auto past = MacBillingState::distantPast();
    const Case cases[] = {
        {R"({})", MacBillingState{}},
        {R"({"source":"ownKey"})", MacBillingState(Source::ownKey, std::nullopt, std::nullopt, past)},
        {R"({"source":"gold","keyStatus":"expired"})", MacBillingState{}},
        {R"({"source":null,"keySuffix":1234,"keyStatus":["ok"],"verifiedAt":0})", MacBillingState{}},
        {R"({"source":"ownKey","keySuffix":"a1b2","keyStatus":"balanceEmpty","verifiedAt":"2026-12-06T14:50:00Z","extra":true})",
         MacBillingState(Source::ownKey, "a1b2", KeyStatus::balanceEmpty, at(2026, 12, 6, 14, 50, 0))},
        {R"({"source":"credits","keyStatus":"invalid","verifiedAt":"2026-12-06T14:50:00.5Z"})",
         MacBillingState(Source::credits, std::nullopt, KeyStatus::invalid, past)},
        {R"({"verifiedAt":"2026-12-06T14:50:00"})", MacBillingState{}},
        {R"({"verifiedAt":"2026-12-06T16:50:00+02:00"})",
         MacBillingState(Source::credits, std::nullopt, std::nullopt, at(2026, 12, 6, 14, 50, 0))},
        {R"({"source":"OwnKey","keyStatus":"OK"})", MacBillingState{}},
    };
    for (const auto& c : cases) {
        auto decoded = MacBillingState::decode(c.json);
        ASSERT_TRUE(decoded) << c.json;
        EXPECT_EQ(*decoded, c.expected) << c.json;
    }
}

TEST(MacBillingState, OnlyNonJsonOrNonObjectsFailToDecode) {
    for (const char* bad :
         {"[]", R"("ownKey")", "not json", "", "{", "{\"source\":\"ownKey\"} x", "null", "7"}) {
        EXPECT_EQ(MacBillingState::decode(bad), std::nullopt) << bad;
    }
}

TEST(MacBillingState, EncodesOneSortedCompactLine) {
    MacBillingState full(Source::ownKey, "wxyz", KeyStatus::ok, at(2026, 12, 6, 14, 50, 0));
    EXPECT_EQ(
        full.encoded(),
        R"({"keyStatus":"ok","keySuffix":"wxyz","source":"ownKey","verifiedAt":"2026-12-06T14:50:00Z"})");
    EXPECT_EQ(MacBillingState{}.encoded(), R"({"source":"credits","verifiedAt":"0001-01-01T00:00:00Z"})");
    MacBillingState statusOnly(Source::ownKey, std::nullopt, KeyStatus::invalid);
    EXPECT_EQ(statusOnly.encoded(),
              R"({"keyStatus":"invalid","source":"ownKey","verifiedAt":"0001-01-01T00:00:00Z"})");
}

TEST(MacBillingState, RoundTripsEveryValue) {
    for (auto source : {Source::credits, Source::ownKey}) {
        for (auto status : {std::optional<KeyStatus>{}, std::optional(KeyStatus::ok),
                            std::optional(KeyStatus::invalid), std::optional(KeyStatus::balanceEmpty)}) {
            MacBillingState state(source, "k\"é/", status, at(1999, 2, 28, 23, 59, 59));
            EXPECT_EQ(MacBillingState::decode(state.encoded()), state);
        }
    }
    EXPECT_EQ(MacBillingState::decode(MacBillingState{}.encoded()), MacBillingState{});
}

TEST(MacBillingState, Dates) {
    EXPECT_EQ(DateText::iso8601(MacBillingState::distantPast()), "0001-01-01T00:00:00Z");
    EXPECT_EQ(DateText::parseISO8601("0001-01-01T00:00:00Z"), MacBillingState::distantPast());
    EXPECT_EQ(DateText::parseISO8601("2024-02-29T00:00:00Z"), at(2024, 2, 29, 0, 0, 0));
    for (const char* bad : {"2023-02-29T00:00:00Z", "2026-13-01T00:00:00Z", "2026-12-06T24:00:00Z",
                            "2026-12-06 14:50:00Z", "2026-12-06T14:50Z", "2026-12-06T14:50:00.000Z",
                            "2026-12-06T14:50:00+0200", "2026-12-06T14:50:00Zjunk", "", "yesterday"}) {
        EXPECT_EQ(DateText::parseISO8601(bad), std::nullopt) << bad;
    }
    // A zone offset can carry a date past the four-digit years either way:
    // written back clamped, it reads as about the same date again.
    const auto late = DateText::parseISO8601("9999-12-31T23:59:59-01:00");
    ASSERT_TRUE(late);
    EXPECT_EQ(DateText::iso8601(*late), "9999-12-31T23:59:59Z");
    EXPECT_EQ(DateText::iso8601(MacBillingState::distantPast() - hours{1}), "0001-01-01T00:00:00Z");
    EXPECT_EQ(
        MacBillingState::decode(MacBillingState(Source::credits, std::nullopt, std::nullopt, *late).encoded())
            ->verifiedAt,
        at(9999, 12, 31, 23, 59, 59));
    EXPECT_TRUE(MacBillingState(Source::ownKey).usesOwnKey(system_clock::now()));
    EXPECT_FALSE(MacBillingState{}.usesOwnKey(system_clock::now()));
}

TEST(MacBillingStateFile, LoadGivesNothingWhenMissingOrBad) {
    TempHome home;
    MacBillingStateFile file(home.path() / "Library/SorvaneIME/billing.json");
    EXPECT_EQ(file.load(), std::nullopt);
    writeText(file.url, "[1,2]");
    EXPECT_EQ(file.load(), std::nullopt);
    writeText(file.url, R"({"source":"ownKey"})");
    EXPECT_EQ(file.load(), (MacBillingState(Source::ownKey)));
}

TEST(MacBillingStateFile, RouteStateDefaultsOnlyWhenTheFileIsMissing) {
    TempHome home;
    MacBillingStateFile file(home.path() / "Library/SorvaneIME/billing.json");
    EXPECT_EQ(file.routeState(), MacBillingState::defaultState());
    writeText(file.url, "garbage");
    EXPECT_EQ(file.routeState(), std::nullopt);
    fs::remove(file.url);
    fs::create_directories(file.url);  // exists but cannot be read as a file
    EXPECT_EQ(file.routeState(), std::nullopt);
    // A file where the folder belongs: billing.json cannot exist, as when
    // it is missing.
    fs::remove_all(home.path() / "Library/SorvaneIME");
    writeText(home.path() / "Library/SorvaneIME", "not a folder");
    EXPECT_EQ(file.routeState(), MacBillingState::defaultState());
}

TEST(MacBillingStateFile, UpdateWithoutAFileCreatesFolderAndWritesDefaultPlusChange) {
    TempHome home;
    ScopedLogCapture log;
    MacBillingStateFile file(home.path() / "Library/SorvaneIME/billing.json");
    file.update([](MacBillingState& s) { s.keyStatus = KeyStatus::balanceEmpty; });
    EXPECT_EQ(readText(file.url),
              R"({"keyStatus":"balanceEmpty","source":"credits","verifiedAt":"0001-01-01T00:00:00Z"})");
    EXPECT_TRUE(fs::exists(file.lockURL()));
    EXPECT_EQ(file.lockURL().parent_path(), file.url.parent_path());
    EXPECT_TRUE(log->messages().empty());
}

TEST(MacBillingStateFile, UpdateKeepsWhatItDoesNotChange) {
    TempHome home;
    MacBillingStateFile file(home.path() / "Library/SorvaneIME/billing.json");
    writeText(file.url,
              R"({"keySuffix":"9f3a","source":"ownKey","verifiedAt":"2026-01-02T03:04:05Z","x":1})");
    file.update([](MacBillingState& s) { s.keyStatus = KeyStatus::invalid; });
    EXPECT_EQ(
        readText(file.url),
        R"({"keyStatus":"invalid","keySuffix":"9f3a","source":"ownKey","verifiedAt":"2026-01-02T03:04:05Z"})");
}

TEST(MacBillingStateFile, UpdateReplacesAFileThatDoesNotDecode) {
    TempHome home;
    MacBillingStateFile file(home.path() / "Library/SorvaneIME/billing.json");
    writeText(file.url, "{ torn");
    file.update([](MacBillingState& s) { s.source = Source::ownKey; });
    EXPECT_EQ(readText(file.url), R"({"source":"ownKey","verifiedAt":"0001-01-01T00:00:00Z"})");
}

TEST(MacBillingStateFile, UpdateLeavesAFileThatCannotBeReadAndLogs) {
    TempHome home;
    ScopedLogCapture log;
    MacBillingStateFile file(home.path() / "Library/SorvaneIME/billing.json");
    fs::create_directories(file.url);  // not a regular file: refused as unreadable
    bool called = false;
    file.update([&](MacBillingState&) { called = true; });
    EXPECT_FALSE(called);
    EXPECT_TRUE(fs::is_directory(file.url));
    EXPECT_EQ(log->messages(),
              (std::vector<std::string>{
                  "[Sorvane] file not read: Not a regular file (" + file.url.string() + ")",
                  "[Sorvane] billing state not written: Not a regular file (" + file.url.string() + ")"}));
}

TEST(MacBillingStateFile, UpdateLeavesAFileWithoutReadPermission) {
    TempHome home;
    ScopedLogCapture log;
    MacBillingStateFile file(home.path() / "Library/SorvaneIME/billing.json");
    const std::string original =
        R"({"keySuffix":"abcd","source":"ownKey","verifiedAt":"0001-01-01T00:00:00Z"})";
    writeText(file.url, original);
    ::chmod(file.url.c_str(), 0);
    {
        // Root would read the file anyway; drop that power for the update.
        ScopedFilePermissions permissions;
        if (!permissions.enforced()) GTEST_SKIP() << "file permissions cannot be enforced here";
        file.update([](MacBillingState& s) { s.keyStatus = KeyStatus::invalid; });
    }
    ::chmod(file.url.c_str(), 0644);
    EXPECT_EQ(readText(file.url), original);
    EXPECT_TRUE(log->contains("[Sorvane] billing state not written: "));
}

// A writer stopped while it holds the lock costs the other one 2 s, then a
// write failure: logged, the old content kept.
TEST(MacBillingStateFile, LockHeldTooLongFailsTheWriteAfterTwoSeconds) {
    TempHome home;
    MacBillingStateFile file(home.path() / "Library/SorvaneIME/billing.json");
    file.save(MacBillingState(Source::ownKey));
    struct stat st {};
    ASSERT_EQ(::stat(file.url.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the route state is the user's";
    const std::string before = readText(file.url);
    FileLock peer(file.lockURL());
    ASSERT_TRUE(peer.held());
    ScopedLogCapture log;
    const auto started = steady_clock::now();
    file.save(MacBillingState{});
    const auto waited = steady_clock::now() - started;
    EXPECT_GE(waited, 2s);
    EXPECT_LT(waited, 3s);
    EXPECT_EQ(
        log->messages(),
        (std::vector<std::string>{"[Sorvane] billing state not written: Lock held by another writer for too "
                                  "long (" +
                                  file.lockURL().string() + ")"}));
    EXPECT_EQ(readText(file.url), before);
}

TEST(MacBillingStateFile, SaveFailureIsLoggedAndLeavesTheOldFile) {
    TempHome home;
    ScopedLogCapture log;
    // The folder's place is taken by a file: nothing can be written.
    writeText(home.path() / "Library/SorvaneIME", "not a folder");
    MacBillingStateFile file(home.path() / "Library/SorvaneIME/billing.json");
    file.save(MacBillingState{});
    ASSERT_EQ(log->messages().size(), 1u);
    EXPECT_EQ(log->messages()[0].rfind("[Sorvane] billing state not written: ", 0), 0u);
    EXPECT_EQ(readText(home.path() / "Library/SorvaneIME"), "not a folder");
}

// Two processes counting through the same file: under the lock no
// increment is lost.
TEST(MacBillingStateFile, ConcurrentUpdatesFromTwoProcessesLoseNothing) {
    TempHome home;
    MacBillingStateFile file(home.path() / "Library/SorvaneIME/billing.json");
    constexpr int perProcess = 150;
    // Each process counts its own failed updates: a writer that waits its
    // turn must always get one.
    auto increment = [&] {
        int failed = 0;
        for (int i = 0; i < perProcess; ++i) {
            const auto updated = file.update([](MacBillingState& s) {
                const int n = s.keySuffix ? std::stoi(*s.keySuffix) : 0;
                s.keySuffix = std::to_string(n + 1);
            });
            if (!updated) ++failed;
        }
        return failed;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(increment());
    EXPECT_EQ(increment(), 0);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    auto state = file.load();
    ASSERT_TRUE(state);
    EXPECT_EQ(state->keySuffix, std::to_string(2 * perProcess));
}

}  // namespace
}  // namespace sorvane
