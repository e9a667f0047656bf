#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>

#include "kit/update/UpdateFeedClient.h"
#include "kit/update/UpdatePaths.h"
#include "kit/update/UpdateRelease.h"
#include "kit/update/UpdateState.h"
#include "kit/update/UpdateStateFile.h"
#include "kit/update/UpdateVersion.h"
#include "platform/Text.h"
#include "platform/files/Files.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FilePermissions.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using nlohmann::json;
using namespace std::chrono;

json releaseJSON(json overrides = json::object()) {
    json value = {
        {"version", "1.4.0"}, {"url", "https://example.invalid/p.pkg"}, {"sha256", "ab"}, {"size", 123}};
    for (auto& [key, v] : overrides.items()) {
        if (v.is_discarded())
            value.erase(key);
        else
            value[key] = v;
    }
    return value;
}

UpdateRelease release(std::string version = "1.4.0", std::string sha = "ab", std::int64_t size = 123) {
    return UpdateRelease{
        std::move(version), "https://example.invalid/p.pkg", std::move(sha), size, {}, {}, {}, {}};
}

TEST(UpdateRelease, SizeIsAnIntegerOrADecimalText) {
    struct Case {
        json size;
        std::optional<std::int64_t> expected;  // none: "size is not an integer"
    };
    const Case cases[] = {
        {123, 123},
        {"123", 123},
        {"+7", 7},
        {"-7", -7},
        {0, 0},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", std::nullopt},
        {"", std::nullopt},
        {"12a", std::nullopt},
        {" 12", std::nullopt},
        {"+", std::nullopt},
        {"1 2", std::nullopt},
        {1.5, std::nullopt},
        {true, std::nullopt},
        {nullptr, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto decoded = UpdateRelease::fromJSON(releaseJSON({{"size", c.size}}));
        if (c.expected) {
            ASSERT_TRUE(decoded) << c.size.dump();
            EXPECT_EQ(decoded->size, *c.expected) << c.size.dump();
        } else {
            ASSERT_FALSE(decoded) << c.size.dump();
            EXPECT_EQ(decoded.error().description(), "size is not an integer") << c.size.dump();
            EXPECT_EQ(decoded.error().key, "size");
        }
    }
}

TEST(UpdateRelease, LenientFieldsNeverFailTheRelease) {
    struct Case {
        json overrides;
        std::optional<bool> mandatory;
        std::optional<std::string> minOS;
    };
    const Case cases[] = {
        {{{"mandatory", true}}, true, std::nullopt},
        {{{"mandatory", 1}}, true, std::nullopt},
        {{{"mandatory", 0}}, false, std::nullopt},
        {{{"mandatory", "yes"}}, std::nullopt, std::nullopt},
        {{{"mandatory", nullptr}}, std::nullopt, std::nullopt},
        {{{"minOS", 14}}, std::nullopt, std::nullopt},
        {{{"minOS", "14.0"}, {"notes", {1, 2}}, {"publishedAt", false}}, std::nullopt, "14.0"},
    };
    for (const auto& c : cases) {
        const auto decoded = UpdateRelease::fromJSON(releaseJSON(c.overrides));
        ASSERT_TRUE(decoded) << c.overrides.dump();
        EXPECT_EQ(decoded->mandatory, c.mandatory) << c.overrides.dump();
        EXPECT_EQ(decoded->minOS, c.minOS) << c.overrides.dump();
        EXPECT_EQ(decoded->notes, std::nullopt);
    }
}

TEST(UpdateFeedEnvelope, AStrictFieldFailsEveryRecordAroundIt) {
    const json withoutDigest = releaseJSON({{"sha256", json(json::value_t::discarded)}});
    const char* failing[] = {
        R"({"success":true,"data":{"updateAvailable":true,"latest":{"version":"1","url":"u","size":1}}})",
        R"({"data":{"updateAvailable":true,"latest":{"version":1,"url":"u","sha256":"x","size":1}}})",
        R"({"data":{"updateAvailable":"yes"}})",
        R"({"data":{}})",
        R"({"success":"true"})",
        R"({"error":404})",
        R"([1])",
        R"(not json)",
    };
    EXPECT_FALSE(UpdateRelease::fromJSON(withoutDigest));
    for (const char* body : failing) EXPECT_FALSE(UpdateFeedEnvelope::decode(body)) << body;
    // Nesting past the document limit is no JSON of ours, even in an ignored member.
    const auto deep = UpdateFeedEnvelope::decode(R"({"success":true,"extra":)" + std::string(100, '[') +
                                                 std::string(100, ']') + "}");
    ASSERT_FALSE(deep);
    EXPECT_EQ(deep.error().kind, UpdateDecodingError::Kind::notJSON);

    const auto decoded = UpdateFeedEnvelope::decode(
        R"({"success":true,"extra":[1],"error":null,"data":{"updateAvailable":true,"latest":)" +
        releaseJSON({{"mandatory", 1}, {"notes", "修复"}}).dump() + "}}");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->success, true);
    EXPECT_EQ(decoded->error, std::nullopt);
    auto expected = release();
    expected.mandatory = true;
    expected.notes = "修复";
    EXPECT_EQ(decoded->data, (UpdateFeed{true, expected}));
    // Encoding writes only what is set, size as a number.
    EXPECT_EQ(expected.toJSON(), releaseJSON({{"mandatory", true}, {"notes", "修复"}}));
}

TEST(UpdateState, AdoptKeepsTheKeptPackageOnlyForTheSameRelease) {
    const UpdateRelease stored = release("1.4.0", "abcdef", 100);
    auto withNotes = stored;
    withNotes.notes = "new notes";
    withNotes.url = "https://other.invalid/p.pkg";
    struct Case {
        const char* name;
        std::optional<UpdateRelease> stored;
        std::optional<UpdateRelease> incoming;
        bool keeps;
    };
    const Case cases[] = {
        {"digest case only", stored, release("1.4.0", "ABCDEF", 100), true},
        {"notes and url only", stored, withNotes, true},
        {"size", stored, release("1.4.0", "abcdef", 101), false},
        {"version", stored, release("1.4.1", "abcdef", 100), false},
        {"none after one", stored, std::nullopt, false},
        {"one after none", std::nullopt, stored, false},
        {"none after none", std::nullopt, std::nullopt, true},
    };
    for (const auto& c : cases) {
        UpdateState state;
        state.latest = c.stored;
        state.downloadedPath = "/kept.pkg";
        state.verifiedAt = sys_seconds{seconds{1000}};
        state.checkedAt = sys_seconds{seconds{900}};
        state.notifiedVersion = "1.3.0";
        state.adopt(c.incoming);
        EXPECT_EQ(state.latest, c.incoming) << c.name;
        EXPECT_EQ(state.downloadedPath.has_value(), c.keeps) << c.name;
        EXPECT_EQ(state.verifiedAt.has_value(), c.keeps) << c.name;
        EXPECT_EQ(state.checkedAt, sys_seconds{seconds{900}}) << c.name;
        EXPECT_EQ(state.notifiedVersion, "1.3.0") << c.name;
    }
}

TEST(UpdateState, ReadyReleaseNeedsEveryCondition) {
    UpdateState ready;
    ready.latest = release("1.4.0");
    ready.downloadedPath = "/kept.pkg";
    ready.verifiedAt = sys_seconds{seconds{1}};
    auto exists = [](const std::string& path) { return path == "/kept.pkg"; };
    auto gone = [](const std::string&) { return false; };

    EXPECT_EQ(ready.readyRelease("1.3.9", exists), (UpdateState::Ready{release("1.4.0"), "/kept.pkg"}));
    EXPECT_EQ(ready.readyRelease("1.4.0", exists), std::nullopt);
    EXPECT_EQ(ready.readyRelease("v1.4", exists), std::nullopt);
    EXPECT_EQ(ready.readyRelease("1.3.9", gone), std::nullopt);
    for (auto clear :
         {+[](UpdateState& s) { s.latest.reset(); }, +[](UpdateState& s) { s.downloadedPath.reset(); },
          +[](UpdateState& s) { s.verifiedAt.reset(); }}) {
        UpdateState state = ready;
        clear(state);
        EXPECT_EQ(state.readyRelease("1.3.9", exists), std::nullopt);
    }
}

TEST(UpdateVersion, ComponentsAndCompare) {
    using V = std::vector<std::int64_t>;
    const std::pair<const char*, V> components[] = {
        {" V2.0 ", V{2, 0}},
        {"\t\u00a0v1.2\u3000", V{1, 2}},
        {"vv1", V{0}},
        {"1..2", V{1, 0, 2}},
        {"", V{0}},
        {"99999999999999999999", V{0}},
        {"1.2.3-beta", V{1, 2, 3}},
        {"1.\uff12", V{1, 0}},
        {"\n1.2", V{0, 2}},
    };
    for (const auto& [text, expected] : components)
        EXPECT_EQ(UpdateVersion::components(text), expected) << text;

    using enum VersionOrder;
    const std::tuple<const char*, const char*, VersionOrder> orders[] = {
        {"2", "1.9.9", descending},     {"1.0.0.1", "1", descending},    {"1.0.0.0", "1", same},
        {"1.2", "v1.2.0", same},        {"1.2.10", "1.2.9", descending}, {"1.2.3-beta", "1.2.3", same},
        {"1.2.9", "1.2.10", ascending},
    };
    for (const auto& [a, b, order] : orders)
        EXPECT_EQ(UpdateVersion::compare(a, b), order) << a << " vs " << b;
}

TEST(UpdatePaths, PackageFileNameKeepsOnlySafeCharacters) {
    const std::pair<const char*, const char*> cases[] = {
        {"1.4.0", "SorvaneIME-1.4.0-update.pkg"},      {"1.2.3 (beta)", "SorvaneIME-1.2.3beta-update.pkg"},
        {"../x", "SorvaneIME-.x-update.pkg"},          {"1...2", "SorvaneIME-1..2-update.pkg"},
        {"/ 中文 /", "SorvaneIME-unknown-update.pkg"}, {"1e\u0301.0", "SorvaneIME-1.0-update.pkg"},
        {"", "SorvaneIME-unknown-update.pkg"},
    };
    for (const auto& [version, name] : cases)
        EXPECT_EQ(UpdatePaths::packageFileName(version), name) << version;

    // Whatever the feed sends, the name stays one component of the folder.
    std::mt19937 random(22);
    const std::string alphabet("./\\-a1 \0\xe4\xb8\xad\n%", 13);
    for (int i = 0; i < 2000; ++i) {
        std::string version;
        for (int n = random() % 12; n > 0; --n) version += alphabet[random() % alphabet.size()];
        const std::string name = UpdatePaths::packageFileName(version);
        EXPECT_EQ(name.find('/'), std::string::npos) << version;
        EXPECT_EQ(std::filesystem::path(name).filename(), name) << version;
    }
}

class UpdateStateFileTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    UpdateStateFile file{dir.path() / "Library" / "SorvaneIME" / "update.json"};

    void write(const std::string& text) {
        std::filesystem::create_directories(file.url.parent_path());
        std::ofstream(file.url, std::ios::binary | std::ios::trunc) << text;
    }
    std::string contents() const { return Files::readFile(file.url).valueOr("<missing>"); }
};

TEST_F(UpdateStateFileTest, SaveAndLoadRoundTrip) {
    EXPECT_EQ(file.load(), UpdateState{});
    ASSERT_TRUE(file.save(UpdateState{}));
    EXPECT_EQ(contents(), "{}");
    {
        testing::TempHome home;
        EXPECT_EQ(UpdateStateFile::live().url, home.path() / "Library/SorvaneIME/update.json");
    }

    UpdateState state;
    state.checkedAt = sys_days{year{2026} / 12 / 7} + hours{8} + minutes{45};
    state.latest = release();
    state.latest->mandatory = false;
    state.downloadedPath = "/home/u/Library/Caches/SorvaneIME/Updates/SorvaneIME-1.4.0-update.pkg";
    state.verifiedAt = sys_days{year{2026} / 12 / 7} + hours{8} + minutes{46} + seconds{1};
    state.notifiedVersion = "1.4.0";
    ASSERT_TRUE(file.save(state));
    EXPECT_EQ(file.load(), state);
    const std::string text = contents();
    EXPECT_NE(text.find("\n  \"checkedAt\": \"2026-12-07T08:45:00Z\",\n"), std::string::npos) << text;
    EXPECT_LT(text.find("\"downloadedPath\""), text.find("\"latest\""));
    EXPECT_LT(text.find("\"mandatory\""), text.find("\"sha256\""));
    EXPECT_EQ(text.find("minOS"), std::string::npos);

    const auto before = file.modificationDate();
    ASSERT_TRUE(before);
    state.notifiedVersion = "1.4.1";
    ASSERT_TRUE(file.save(state));
    // Replaced within the same clock tick still counts as a change.
    EXPECT_NE(file.modificationDate(), before);
}

TEST_F(UpdateStateFileTest, AnythingMalformedLoadsAsTheEmptyState) {
    const char* bad[] = {
        R"({"checkedAt":"2026-12-07T08:45:00.250Z"})",
        R"({"verifiedAt":"2026-12-07 08:45:00"})",
        R"({"checkedAt":"2621-02-07T16:45:00+08:00"})",  // past the system clock's range
        R"({"verifiedAt":"1066-10-14T09:00:00Z"})",
        R"({"downloadedPath":7})",
        R"({"latest":{"version":"1"}})",
        R"({"notifiedVersion":"1.4.0",)",
        R"([])",
    };
    for (const char* text : bad) {
        write(text);
        EXPECT_EQ(file.load(), UpdateState{}) << text;
    }
    write(R"({"checkedAt":"2026-12-07T16:45:00+08:00","other":)" + std::string(100, '[') +
          std::string(100, ']') + "}");
    EXPECT_EQ(file.load(), UpdateState{});
    write(R"({"checkedAt":"2026-12-07T16:45:00+08:00","latest":null,"other":1})");
    EXPECT_EQ(file.load().checkedAt, sys_days{year{2026} / 12 / 7} + hours{8} + minutes{45});
    EXPECT_FALSE(file.modificationDate() == std::nullopt);
    std::filesystem::remove(file.url);
    EXPECT_EQ(file.modificationDate(), std::nullopt);
}

// Whatever the feed client accepts fits update.json: a reply just under its
// bound, nearly all notes, is stored with the notes cut at a character.
TEST_F(UpdateStateFileTest, AReplyJustUnderItsBoundIsStored) {
    auto reply = [](const std::string& notes, const char* key = "notes") {
        const json data = {{"updateAvailable", true}, {"latest", releaseJSON({{key, notes}})}};
        return json{{"success", true}, {"data", data}}.dump();
    };
    std::string notes;
    for (std::size_t n = (UpdateFeedClient::replyLimit - 1 - reply("").size()) / 3; n > 0; --n) notes += "修";
    const std::string body = reply(notes);
    // As long in any other text, the release is refused or loses that text.
    for (const char* key : {"version", "url", "sha256", "minOS", "publishedAt"}) {
        const auto other = UpdateFeedClient::decode(reply(notes, key), 200);
        EXPECT_TRUE(!other || !other->latest || other->latest->toJSON().dump().size() < 64 * 1024) << key;
        if (std::string_view(key) == "url") {
            EXPECT_FALSE(other);
        }
    }
    ASSERT_LT(body.size(), UpdateFeedClient::replyLimit);
    ASSERT_GT(body.size() + 4, UpdateFeedClient::replyLimit);
    auto feed = UpdateFeedClient::decode(body, 200);
    ASSERT_TRUE(feed);

    UpdateState state;
    state.checkedAt = sys_days{year{2026} / 12 / 7};
    state.adopt(feed->latest);
    state.downloadedPath = "/home/u/Library/Caches/SorvaneIME/Updates/SorvaneIME-1.4.0-update.pkg";
    state.verifiedAt = state.checkedAt;
    state.notifiedVersion = "1.3.0";
    ASSERT_TRUE(file.save(state));
    const auto stored = file.load();
    ASSERT_EQ(stored, state);
    const std::string& kept = stored.latest->notes.value();
    EXPECT_LE(kept.size(), UpdateRelease::notesLimit);
    EXPECT_GT(kept.size(), UpdateRelease::notesLimit - 3);
    EXPECT_TRUE(notes.starts_with(kept));
    EXPECT_TRUE(Text::isValidUtf8(kept));
}

TEST_F(UpdateStateFileTest, FailedSaveLogsAndLeavesTheOldFileWhole) {
    testing::ScopedFilePermissions permissions;
    if (!permissions.enforced()) GTEST_SKIP() << "file permissions cannot be enforced here";
    write(R"({"notifiedVersion":"1.3.0"})");
    ::chmod(file.url.parent_path().c_str(), 0500);
    testing::ScopedLogCapture capture;
    UpdateState state;
    state.notifiedVersion = "1.4.0";
    EXPECT_FALSE(file.save(state));
    ::chmod(file.url.parent_path().c_str(), 0700);
    ASSERT_EQ(capture->messages().size(), 1u);
    EXPECT_EQ(capture->messages()[0].rfind("[Sorvane] update state not written: Permission denied", 0), 0u)
        << capture->messages()[0];
    EXPECT_EQ(contents(), R"({"notifiedVersion":"1.3.0"})");
}

}  // namespace
}  // namespace sorvane
