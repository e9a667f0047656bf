#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/FileLock.h"
#include "platform/Files.h"
#include "tests/support/FilePermissions.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::TempHome;

std::size_t entriesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(Files, LayoutUnderHome) {
    TempHome home;
    EXPECT_EQ(Files::homeDirectory(), home.path());
    EXPECT_EQ(Files::supportDirectory(), home.path() / "Library/SorvaneIME");
    EXPECT_EQ(Files::preferencesDirectory(), home.path() / "Library/Preferences");
    EXPECT_EQ(Files::updatesCacheDirectory(), home.path() / "Library/Caches/SorvaneIME/Updates");
    EXPECT_EQ(Files::logsDirectory(), home.path() / "Library/Logs/SorvaneIME");
}

TEST(Files, AtomicWriteCreatesFoldersAndReplaces) {
    TempDir dir;
    const auto path = dir.path() / "a" / "b" / "file.json";
    ASSERT_TRUE(Files::atomicWrite(path, "one"));
    ASSERT_TRUE(Files::atomicWrite(path, std::string("t\0o", 3)));
    EXPECT_EQ(Files::readFile(path).value(), std::string("t\0o", 3));
    EXPECT_EQ(entriesIn(path.parent_path()), 1u);  // no temporary left behind
}

// A write that runs out of room part-way must leave the old file whole.
TEST(Files, AtomicWriteFailingMidwayLeavesOldFileWhole) {
    TempDir dir;
    const auto path = dir.path() / "settings.json";
    ASSERT_TRUE(Files::atomicWrite(path, "old contents"));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto result = Files::atomicWrite(path, std::string(100000, 'x'));
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previousHandler);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, FileError::Kind::io);
    EXPECT_EQ(result.error().code, EFBIG);
    EXPECT_EQ(Files::readFile(path).value(), "old contents");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(Files, AtomicWriteOntoAFolderFailsAndKeepsIt) {
    TempDir dir;
    const auto path = dir.path() / "state.json";
    fs::create_directories(path / "inner");
    const auto result = Files::atomicWrite(path, "{}");
    ASSERT_FALSE(result);
    EXPECT_TRUE(fs::is_directory(path / "inner"));
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(Files, AtomicWriteIntoReadOnlyFolderIsPermissionDenied) {
    testing::ScopedFilePermissions permissions;
    if (!permissions.enforced()) GTEST_SKIP() << "file permissions cannot be enforced here";
    TempDir dir;
    const auto path = dir.path() / "file";
    ASSERT_TRUE(Files::atomicWrite(path, "old"));
    ::chmod(dir.path().c_str(), 0500);
    const auto result = Files::atomicWrite(path, "new");
    ::chmod(dir.path().c_str(), 0700);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, FileError::Kind::permissionDenied);
    EXPECT_EQ(Files::readFile(path).value(), "old");
}

TEST(Files, ReadErrorsAreClassified) {
    TempDir dir;
    auto missing = Files::readFile(dir.path() / "nope");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, FileError::Kind::notFound);
    EXPECT_EQ(missing.error().description(),
              "No such file or directory (" + (dir.path() / "nope").string() + ")");
    auto folder = Files::readFile(dir.path());
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().kind, FileError::Kind::io);
}

TEST(Files, StampChangesWithEveryReplacement) {
    TempDir dir;
    const auto path = dir.path() / "f";
    EXPECT_FALSE(Files::stamp(path));
    ASSERT_TRUE(Files::atomicWrite(path, "abc"));
    const auto first = Files::stamp(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size, 3u);
    EXPECT_EQ(Files::stamp(path), first);
    ASSERT_TRUE(Files::atomicWrite(path, "abc"));
    // Same size and maybe the same time, but a new inode.
    EXPECT_NE(Files::stamp(path), first);
}

}  // namespace
}  // namespace sorvane

namespace sorvane {
namespace {

// The try mode tells a lock held elsewhere from one that could not be taken,
// and never follows a link planted at the lock's path.
TEST(FileLockTry, HeldElsewhereAndCouldNotOpenAreTold) {
    testing::TempDir dir;
    const auto path = dir.path() / "one.lock";
    {
        FileLock first(path, FileLock::Wait::tryOnce);
        ASSERT_TRUE(first.held());
        FileLock second(path, FileLock::Wait::tryOnce);
        EXPECT_FALSE(second.held());
        EXPECT_TRUE(second.heldElsewhere());
    }
    EXPECT_TRUE(FileLock(path, FileLock::Wait::tryOnce).held()) << "closing released it";

    const auto target = dir.path() / "elsewhere";
    const auto link = dir.path() / "planted.lock";
    std::filesystem::create_symlink(target, link);
    FileLock planted(link, FileLock::Wait::tryOnce);
    EXPECT_FALSE(planted.held());
    EXPECT_FALSE(planted.heldElsewhere());
    EXPECT_EQ(planted.error().code, ELOOP);
    EXPECT_FALSE(std::filesystem::exists(target));
}

}  // namespace
}  // namespace sorvane
