#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

#include "platform/files/DataFile.h"
#include "platform/files/Files.h"
#include "platform/files/UserDefaults.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FilePermissions.h"
#include "tests/support/MemoryUserDefaults.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

using nlohmann::json;
using testing::ScopedLogCapture;
using testing::TempDir;
using testing::TempHome;

TEST(UserDefaults, StandardFileIsPerBundleIdUnderPreferences) {
    TempHome home;
    auto defaults = UserDefaults::standard();
    ASSERT_TRUE(defaults->setBool("SorvaneGhostTest", true));
    EXPECT_TRUE(
        std::filesystem::exists(home.path() / "Library/Preferences/cn.kestrum.inputmethod.Sorvane.json"));
    EXPECT_TRUE(std::filesystem::exists(home.path() /
                                        "Library/Preferences/cn.kestrum.inputmethod.Sorvane.json.lock"));
    EXPECT_EQ(defaults->boolValue("SorvaneGhostTest"), true);
}

// The same expectations hold for the file store and the in-memory fake.
template <class Store>
class UserDefaultsContract : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<UserDefaults> store = make();
    std::unique_ptr<UserDefaults> make() {
        if constexpr (std::is_same_v<Store, FileUserDefaults>) {
            return std::make_unique<FileUserDefaults>(dir.path() / "Preferences" / "test.json");
        } else {
            return std::make_unique<Store>();
        }
    }
};
using Stores = ::testing::Types<FileUserDefaults, testing::MemoryUserDefaults>;
TYPED_TEST_SUITE(UserDefaultsContract, Stores);

TYPED_TEST(UserDefaultsContract, TypedValuesRoundTrip) {
    auto& s = *this->store;
    EXPECT_FALSE(s.value("missing"));
    ASSERT_TRUE(s.setBool("b", false));
    ASSERT_TRUE(s.setNumber("n", 2.5));
    ASSERT_TRUE(s.setString("s", "中文 → ok"));
    ASSERT_TRUE(s.setData("d", std::string("\x00\xff\x10 bytes", 9)));
    ASSERT_TRUE(s.setValue("a", json::array({1, "two", nullptr})));
    ASSERT_TRUE(s.setValue("o", json{{"id", 7}, {"nickname", "小明"}}));
    EXPECT_EQ(s.boolValue("b"), false);
    EXPECT_EQ(s.number("n"), 2.5);
    EXPECT_EQ(s.string("s"), "中文 → ok");
    EXPECT_EQ(s.data("d"), std::string("\x00\xff\x10 bytes", 9));
    EXPECT_EQ(s.array("a"), json::array({1, "two", nullptr}));
    EXPECT_EQ(s.dictionary("o"), (json{{"id", 7}, {"nickname", "小明"}}));
}

TYPED_TEST(UserDefaultsContract, MistypedReadsAreNone) {
    auto& s = *this->store;
    ASSERT_TRUE(s.setString("s", "true"));
    ASSERT_TRUE(s.setNumber("n", 0));
    ASSERT_TRUE(s.setString("notBase64", "a*b="));
    EXPECT_EQ(s.boolValue("s"), std::nullopt);
    EXPECT_EQ(s.boolValue("n"), false);
    EXPECT_EQ(s.number("s"), std::nullopt);
    EXPECT_EQ(s.string("n"), std::nullopt);
    EXPECT_EQ(s.array("s"), std::nullopt);
    EXPECT_EQ(s.dictionary("n"), std::nullopt);
    EXPECT_EQ(s.data("notBase64"), std::nullopt);
}

TYPED_TEST(UserDefaultsContract, RemoveAndOverwrite) {
    auto& s = *this->store;
    ASSERT_TRUE(s.setString("k", "one"));
    ASSERT_TRUE(s.setNumber("k", 2));
    EXPECT_EQ(s.number("k"), 2);
    ASSERT_TRUE(s.remove("k"));
    EXPECT_FALSE(s.value("k"));
    EXPECT_TRUE(s.remove("never-there"));
}

TEST(Base64, TableOfTexts) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string(1, '\0'), "AA=="},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(Base64::encode(bytes), text);
        EXPECT_EQ(Base64::decode(text), bytes) << text;
    }
    for (const char* bad : {"Zg=", "Z===", "Zm9v\n", "Zg==Zg==", "Zm=v", "@@@@"}) {
        EXPECT_EQ(Base64::decode(bad), std::nullopt) << bad;
    }
}

class FileUserDefaultsTest : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path file = dir.path() / "Preferences" / "cn.example.json";
    FileUserDefaults store{file};
    void write(const std::string& text) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    }
};

TEST_F(FileUserDefaultsTest, SetKeepsKeysWrittenBehindItsBack) {
    ASSERT_TRUE(store.setString("mine", "a"));
    EXPECT_EQ(store.string("mine"), "a");
    // Another process writes its own key straight into the file.
    write(R"({"mine":"a","theirs":[1,2]})");
    ASSERT_TRUE(store.setString("mine", "b"));
    EXPECT_EQ(json::parse(Files::readFile(file).value()), (json{{"mine", "b"}, {"theirs", {1, 2}}}));
}

TEST_F(FileUserDefaultsTest, GetSeesOtherWritersAtOnce) {
    FileUserDefaults other{file};
    EXPECT_FALSE(store.value("k"));
    ASSERT_TRUE(other.setNumber("k", 1));
    EXPECT_EQ(store.number("k"), 1);
    ASSERT_TRUE(other.setNumber("k", 2));
    EXPECT_EQ(store.number("k"), 2);
    ASSERT_TRUE(other.remove("k"));
    EXPECT_FALSE(store.value("k"));
}

// What cannot be parsed as a JSON object (also one nested too deeply) may
// still be the user's: it is set aside, with one log line, and the write goes
// on in a fresh file, created private.
TEST_F(FileUserDefaultsTest, CorruptFileIsSetAsideThenReplacedOnSet) {
    const std::string tooDeep = "{\"k\":" + std::string(64, '[') + std::string(64, ']') + "}";
    for (const std::string& bad : {std::string("{\"k\": "), std::string("[1]"), tooDeep}) {
        write(bad);
        EXPECT_FALSE(store.value("k"));
        ScopedLogCapture capture;
        ASSERT_TRUE(store.setBool("k", true));
        EXPECT_EQ(json::parse(Files::readFile(file).value()), (json{{"k", true}}));
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        std::vector<std::filesystem::path> kept;
        for (const auto& entry : std::filesystem::directory_iterator(file.parent_path()))
            if (entry.path().filename().string().starts_with("cn.example.json.corrupt-"))
                kept.push_back(entry.path());
        ASSERT_EQ(kept.size(), 1u) << bad;
        EXPECT_EQ(Files::readFile(kept[0]).value(), bad);
        EXPECT_EQ(capture->messages(),
                  (std::vector<std::string>{"[Sorvane] user defaults unreadable as a JSON "
                                            "object, kept as " +
                                            kept[0].string()}));
        std::filesystem::remove(kept[0]);
    }
    // Nesting up to the limit is read as it is.
    write("{\"k\":" + std::string(63, '[') + std::string(63, ']') + "}");
    EXPECT_TRUE(store.value("k"));

    // Two writers in one millisecond, or a clock set back, choose the name
    // of an earlier copy: it keeps what it holds.
    write("[2]");
    const auto copy = dir.path() / "copy";
    std::ofstream(copy) << "earlier";
    EXPECT_EQ(DataFile::setAside(file, copy).value(), copy.string() + "-2");
    EXPECT_EQ(Files::readFile(copy).value(), "earlier");
    EXPECT_EQ(Files::readFile(copy.string() + "-2").value(), "[2]");

    // Without RENAME_NOREPLACE: what a writer puts in place once the bad file
    // has moved stays, and so do the earlier copies; with no hard links
    // either, the file stays aside under a name of its own.
    write("[3]");
    bool raced = false;
    const auto racingWriter = [&](const char* from, const char* to) {
        if (!std::exchange(raced, true)) write(R"({"new":1})");
        return ::link(from, to);
    };
    EXPECT_EQ(DataFile::setAsideByLinking(file, copy, racingWriter).value(), copy.string() + "-3");
    EXPECT_EQ(Files::readFile(file).value(), R"({"new":1})");
    EXPECT_EQ(Files::readFile(copy.string() + "-3").value(), "[3]");
    write("[4]");
    const auto noLinks = [](const char*, const char*) {
        errno = EPERM;
        return -1;
    };
    const auto own = DataFile::setAsideByLinking(file, copy, noLinks).value();
    EXPECT_EQ(own.parent_path(), copy.parent_path());
    EXPECT_TRUE(own.filename().string().starts_with("copy.")) << own;
    EXPECT_EQ(Files::readFile(own).value(), "[4]");
    EXPECT_FALSE(std::filesystem::exists(file));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path() != own) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Preferences", "copy", "copy-2", "copy-3"}));
    EXPECT_EQ(Files::readFile(copy).value(), "earlier");
    EXPECT_EQ(Files::readFile(copy.string() + "-2").value(), "[2]");
}

TEST_F(FileUserDefaultsTest, FifoInPlaceOfTheFileIsNotWaitedForNorReplaced) {
    std::filesystem::create_directories(file.parent_path());
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    ScopedLogCapture capture;
    EXPECT_FALSE(store.value("k"));
    EXPECT_FALSE(store.setBool("k", true));
    EXPECT_TRUE(std::filesystem::is_fifo(file));
}

TEST_F(FileUserDefaultsTest, UnreadableFileIsNotReplaced) {
    testing::ScopedFilePermissions permissions;
    if (!permissions.enforced()) GTEST_SKIP() << "file permissions cannot be enforced here";
    write(R"({"theirs":1})");
    ::chmod(file.c_str(), 0000);
    ScopedLogCapture capture;
    EXPECT_FALSE(store.setBool("mine", true));
    ::chmod(file.c_str(), 0600);
    ASSERT_EQ(capture->messages().size(), 1u);
    EXPECT_EQ(capture->messages()[0],
              "[Sorvane] user defaults not written: Permission denied (" + file.string() + ")");
    EXPECT_EQ(Files::readFile(file).value(), R"({"theirs":1})");
}

TEST_F(FileUserDefaultsTest, SymlinkedLockFileIsRefused) {
    std::filesystem::create_directories(file.parent_path());
    const auto target = dir.path() / "elsewhere";
    std::filesystem::create_symlink(target, file.string() + ".lock");
    ScopedLogCapture capture;
    EXPECT_FALSE(store.setBool("k", true));
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_FALSE(std::filesystem::exists(file));
    ASSERT_EQ(capture->messages().size(), 1u);
    EXPECT_EQ(capture->messages()[0].rfind("[Sorvane] user defaults not written: ", 0), 0u);
}

TEST_F(FileUserDefaultsTest, ThreadsOfOneProcessLoseNoKey) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            FileUserDefaults own{file};
            for (int i = 0; i < 25; ++i) own.setNumber("t" + std::to_string(t), i);
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(store.number("t" + std::to_string(t)), 24) << t;
}

// Two processes write their own keys in turn, 100 times each; a
// read-modify-write without the lock would drop the other's key.
TEST_F(FileUserDefaultsTest, TwoProcessesSettingDifferentKeysBothSurvive) {
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    constexpr int rounds = 100;
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        FileUserDefaults child{file};
        int failures = 0;
        for (int i = 0; i < rounds; ++i) {
            char token;
            if (::read(toChild[0], &token, 1) != 1) _exit(3);
            if (!child.setNumber("server", i)) ++failures;
            if (child.number("settings") != i) ++failures;
            if (::write(toParent[1], "x", 1) != 1) _exit(3);
        }
        _exit(failures == 0 ? 0 : 1);
    }
    FileUserDefaults parent{file};
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        if (!parent.setNumber("settings", i)) ++failures;
        if (i > 0 && parent.number("server") != i - 1) ++failures;
        ASSERT_EQ(::write(toChild[1], "x", 1), 1);
        char token;
        ASSERT_EQ(::read(toParent[0], &token, 1), 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(parent.number("settings"), rounds - 1);
    EXPECT_EQ(parent.number("server"), rounds - 1);
}

// Both processes hammer the file at once; the lock alone keeps both keys.
TEST_F(FileUserDefaultsTest, TwoProcessesWritingAtOnceLoseNothing) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        FileUserDefaults child{file};
        bool ok = true;
        for (int i = 0; i < 100; ++i) ok = child.setNumber("server", i) && child.number("server") == i && ok;
        _exit(ok ? 0 : 1);
    }
    FileUserDefaults parent{file};
    bool ok = true;
    for (int i = 0; i < 100; ++i)
        ok = parent.setNumber("settings", i) && parent.number("settings") == i && ok;
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(parent.number("settings"), 99);
    EXPECT_EQ(parent.number("server"), 99);
}

}  // namespace
}  // namespace sorvane
