#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "kit/settings/AppSettings.h"
#include "platform/files/Files.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FilePermissions.h"
#include "tests/support/RecordingNotificationCenter.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using testing::RecordingNotificationCenter;
using testing::ScopedLogCapture;
using testing::TempDir;
using testing::TempHome;

void writeText(const std::filesystem::path& p, const std::string& text) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

struct DecodeCase {
    const char* name;
    const char* json;
    std::optional<AppSettings> expected;  // none: the document fails as a whole
};

AppSettings make(ToggleKey t, bool lock, AcceptKeys a, bool updates) {
    return AppSettings{t, lock, a, updates};
}

TEST(AppSettingsDecoding, TableOfDocuments) {
    const AppSettings defaults;
    const DecodeCase cases[] = {
        {"empty object", "{}", defaults},
        {"all set",
         R"({"toggleKey":"rightShift","doubleShiftLock":false,"acceptKeys":"tabFull","autoCheckUpdates":false})",
         make(ToggleKey::rightShift, false, AcceptKeys::tabFull, false)},
        {"unknown toggle key, lock off", R"({"toggleKey":"capsLock","doubleShiftLock":false})",
         make(ToggleKey::eitherShift, false, AcceptKeys::tabNormalized, true)},
        {"lock as a string", R"({"doubleShiftLock":"false","toggleKey":"off"})",
         make(ToggleKey::off, true, AcceptKeys::tabNormalized, true)},
        {"lock as a number", R"({"doubleShiftLock":0})", defaults},
        {"nulls", R"({"toggleKey":null,"doubleShiftLock":null,"acceptKeys":null,"autoCheckUpdates":null})",
         defaults},
        {"raw values are case-sensitive", R"({"toggleKey":"LeftShift","acceptKeys":"TabFull"})", defaults},
        {"empty strings", R"({"toggleKey":"","acceptKeys":""})", defaults},
        {"enum as number", R"({"toggleKey":1,"acceptKeys":0,"autoCheckUpdates":false})",
         make(ToggleKey::eitherShift, true, AcceptKeys::tabNormalized, false)},
        {"foreign keys ignored", R"({"theme":"dark","toggleKey":"leftShift"})",
         make(ToggleKey::leftShift, true, AcceptKeys::tabNormalized, true)},
        {"nested object value", R"({"acceptKeys":{"raw":"tabFull"}})", defaults},
        {"top-level array", R"([{"toggleKey":"off"}])", std::nullopt},
        {"top-level string", R"("off")", std::nullopt},
        {"truncated", R"({"toggleKey":"off",)", std::nullopt},
        {"not JSON", "toggleKey=off", std::nullopt},
        {"empty file", "", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AppSettings::decode(c.json), c.expected) << c.name;
    }
}

TEST(AppSettingsDecoding, EveryRawValueRoundTrips) {
    for (ToggleKey t : allToggleKeys) {
        for (AcceptKeys a : allAcceptKeys) {
            for (bool lock : {false, true}) {
                const AppSettings s{t, lock, a, !lock};
                EXPECT_EQ(AppSettings::decode(s.encode()), s);
            }
        }
    }
    EXPECT_FALSE(toggleKeyFromRaw("Off"));
    EXPECT_EQ(toggleKeyFromRaw("leftShift"), ToggleKey::leftShift);
}

TEST(AppSettingsEncoding, PrettySortedEveryKey) {
    EXPECT_EQ(AppSettings{}.encode(),
              "{\n"
              "  \"acceptKeys\": \"tabNormalized\",\n"
              "  \"autoCheckUpdates\": true,\n"
              "  \"doubleShiftLock\": true,\n"
              "  \"toggleKey\": \"eitherShift\"\n"
              "}");
}

TEST(AppSettingsFile, LivePathAndNotificationName) {
    TempHome home;
    EXPECT_EQ(AppSettingsFile::live().url, home.path() / "Library/SorvaneIME/settings.json");
    EXPECT_EQ(AppSettingsFile::changedNotification, "cn.kestrum.inputmethod.Sorvane.settingsChanged");
}

TEST(AppSettingsFile, SaveCreatesFolderAndNotifiesAfterWrite) {
    TempHome home;
    auto center = std::make_shared<RecordingNotificationCenter>();
    const AppSettingsFile file{home.path() / "Library/SorvaneIME/settings.json", center};
    const AppSettings s{ToggleKey::leftShift, false, AcceptKeys::tabFull, true};
    bool fileWasThereWhenNotified = false;
    center->observe(AppSettingsFile::changedNotification,
                    [&](const std::string&, const NotificationUserInfo& info) {
                        fileWasThereWhenNotified = file.load() == s;
                        EXPECT_TRUE(info.empty());
                    });
    file.save(s, true);
    EXPECT_EQ(file.load(), s);
    ASSERT_EQ(center->posted().size(), 1u);
    EXPECT_EQ(center->posted()[0].first, "cn.kestrum.inputmethod.Sorvane.settingsChanged");
    EXPECT_TRUE(fileWasThereWhenNotified);
}

TEST(AppSettingsFile, SaveWithoutNotifyPostsNothing) {
    TempHome home;
    auto center = std::make_shared<RecordingNotificationCenter>();
    const AppSettingsFile file{home.path() / "Library/SorvaneIME/settings.json", center};
    file.save(AppSettings{}, false);
    EXPECT_TRUE(file.load().has_value());
    EXPECT_TRUE(center->posted().empty());
}

TEST(AppSettingsFile, FailedSaveLogsKeepsOldFileAndPostsNothing) {
    testing::ScopedFilePermissions permissions;
    if (!permissions.enforced()) GTEST_SKIP() << "file permissions cannot be enforced here";
    TempDir dir;
    auto center = std::make_shared<RecordingNotificationCenter>();
    const AppSettingsFile file{dir.path() / "settings.json", center};
    const AppSettings old{ToggleKey::off, true, AcceptKeys::tabNormalized, true};
    file.save(old, false);
    ::chmod(dir.path().c_str(), 0500);
    ScopedLogCapture capture;
    file.save(AppSettings{}, true);
    ::chmod(dir.path().c_str(), 0700);
    const auto messages = capture->messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("[Sorvane] settings not written: ", 0), 0u) << messages[0];
    EXPECT_NE(messages[0].find("Permission denied"), std::string::npos) << messages[0];
    EXPECT_EQ(file.load(), old);
    EXPECT_TRUE(center->posted().empty());
}

TEST(AppSettingsFile, FolderThatIsAFileFailsWithLog) {
    TempDir dir;
    writeText(dir.path() / "Library", "not a folder");
    auto center = std::make_shared<RecordingNotificationCenter>();
    const AppSettingsFile file{dir.path() / "Library/SorvaneIME/settings.json", center};
    ScopedLogCapture capture;
    file.save(AppSettings{}, true);
    ASSERT_EQ(capture->messages().size(), 1u);
    EXPECT_EQ(capture->messages()[0].rfind("[Sorvane] settings not written: ", 0), 0u);
    EXPECT_TRUE(center->posted().empty());
}

// What a newer version keeps beside the four keys stays as it was written; a
// known key this version cannot read gives way to the saved value, said once.
TEST(AppSettingsFile, SaveKeepsUnknownKeysAndReplacesUnreadableKnownOnes) {
    TempDir dir;
    const AppSettingsFile file{dir.path() / "settings.json", std::make_shared<RecordingNotificationCenter>()};
    writeText(file.url, R"({"theme": {"accent": "teal", "sizes": [1, 2]}, "recent": ["a", null, 2.5],
        "name": "小明", "serial": 1234567890123456789012345, "toggleKey": "middleShift",
        "doubleShiftLock": null})");
    ScopedLogCapture capture;
    ASSERT_TRUE(file.save(AppSettings{ToggleKey::rightShift, false, AcceptKeys::tabFull, true}, true));
    EXPECT_EQ(Files::readFile(file.url).valueOr(""),
              "{\n"
              "  \"acceptKeys\": \"tabFull\",\n"
              "  \"autoCheckUpdates\": true,\n"
              "  \"doubleShiftLock\": false,\n"
              "  \"name\": \"小明\",\n"
              "  \"recent\": [\n    \"a\",\n    null,\n    2.5\n  ],\n"
              "  \"serial\": 1234567890123456789012345,\n"
              "  \"theme\": {\n    \"accent\": \"teal\",\n    \"sizes\": [\n      1,\n      2\n    ]\n  },\n"
              "  \"toggleKey\": \"rightShift\"\n"
              "}");
    EXPECT_EQ(capture->messages(),
              std::vector<std::string>{"[Sorvane] settings: replaced unreadable values of toggleKey"});
}

TEST(AppSettingsFile, LoadIsNoneForMissingOrBadFile) {
    TempDir dir;
    const AppSettingsFile file{dir.path() / "settings.json", nullptr};
    EXPECT_FALSE(file.load());
    EXPECT_FALSE(file.modificationDate());
    writeText(file.url, "[]");
    EXPECT_FALSE(file.load());
    EXPECT_TRUE(file.modificationDate());
}

class LiveSettingsCacheTest : public ::testing::Test {
protected:
    TempDir dir;
    AppSettingsFile file{dir.path() / "SorvaneIME" / "settings.json",
                         std::make_shared<RecordingNotificationCenter>()};
    LiveSettings::Cache cache{file};
};

TEST_F(LiveSettingsCacheTest, MissingFileGivesDefaults) {
    EXPECT_EQ(cache.current(), AppSettings{});
    EXPECT_EQ(cache.current(), AppSettings{});
}

TEST_F(LiveSettingsCacheTest, SaveWithoutNotifyIsSeenOnNextRead) {
    EXPECT_EQ(cache.current(), AppSettings{});
    const AppSettings s{ToggleKey::rightShift, false, AcceptKeys::tabFull, false};
    file.save(s, false);
    EXPECT_EQ(cache.current(), s);
}

TEST_F(LiveSettingsCacheTest, DeletedFileGivesDefaults) {
    const AppSettings s{ToggleKey::off, true, AcceptKeys::tabNormalized, true};
    file.save(s, false);
    EXPECT_EQ(cache.current(), s);
    std::filesystem::remove(file.url);
    EXPECT_EQ(cache.current(), AppSettings{});
}

TEST_F(LiveSettingsCacheTest, CorruptFileGivesDefaults) {
    writeText(file.url, R"({"toggleKey": "off")");
    EXPECT_EQ(cache.current(), AppSettings{});
}

TEST_F(LiveSettingsCacheTest, ReplacementWithSameTimeAndSizeIsStillSeen) {
    // Same length, same modification time: only the inode tells them apart.
    const AppSettings a{ToggleKey::leftShift, true, AcceptKeys::tabNormalized, false};
    const AppSettings b{ToggleKey::leftShift, false, AcceptKeys::tabNormalized, true};
    ASSERT_EQ(a.encode().size(), b.encode().size());
    file.save(a, false);
    const auto before = Files::stamp(file.url);
    EXPECT_EQ(cache.current(), a);
    file.save(b, false);
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = before->modifiedNs / 1000000000;
    times[0].tv_nsec = times[1].tv_nsec = before->modifiedNs % 1000000000;
    ASSERT_EQ(::utimensat(AT_FDCWD, file.url.c_str(), times, 0), 0);
    ASSERT_EQ(Files::stamp(file.url)->modifiedNs, before->modifiedNs);
    EXPECT_EQ(cache.current(), b);
}

TEST_F(LiveSettingsCacheTest, InvalidateRereadsAnInPlaceEditWithOldStamp) {
    const AppSettings a{ToggleKey::leftShift, true, AcceptKeys::tabNormalized, true};
    file.save(a, false);
    EXPECT_EQ(cache.current(), a);
    // Same inode, size and time: the cache cannot know until told.
    const auto before = Files::stamp(file.url);
    std::string text = a.encode();
    text.replace(text.find("leftShift"), 9, "rightShif");  // same size, an unknown value
    {
        std::fstream f(file.url, std::ios::in | std::ios::out | std::ios::binary);
        f << text;
    }
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = before->modifiedNs / 1000000000;
    times[0].tv_nsec = times[1].tv_nsec = before->modifiedNs % 1000000000;
    ASSERT_EQ(::utimensat(AT_FDCWD, file.url.c_str(), times, 0), 0);
    ASSERT_EQ(Files::stamp(file.url), before);
    EXPECT_EQ(cache.current(), a);
    cache.invalidate();
    EXPECT_EQ(cache.current(), AppSettings{});
}

TEST_F(LiveSettingsCacheTest, ConcurrentReadersSeeWholeValues) {
    const AppSettings a{ToggleKey::leftShift, false, AcceptKeys::tabFull, true};
    const AppSettings b{ToggleKey::rightShift, true, AcceptKeys::tabNormalized, false};
    file.save(a, false);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&, i] {
            while (!stop) {
                const auto s = cache.current();
                if (s != a && s != b) ++torn;
                if (i == 0) cache.invalidate();
            }
        });
    }
    for (int i = 0; i < 200; ++i) file.save(i % 2 ? a : b, false);
    stop = true;
    for (auto& t : readers) t.join();
    EXPECT_EQ(torn.load(), 0);
}

}  // namespace
}  // namespace sorvane
