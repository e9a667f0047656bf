#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "platform/files/FileLock.h"
#include "platform/files/Files.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/FilePermissions.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::TempHome;

unsigned mode(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

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
    EXPECT_EQ(folder.error().kind, FileError::Kind::notRegular);
    // A path through a plain file is as missing as one through no folder.
    ASSERT_TRUE(Files::atomicWrite(dir.path() / "plain", "x"));
    auto through = Files::readFile(dir.path() / "plain" / "state.json");
    ASSERT_FALSE(through);
    EXPECT_EQ(through.error().kind, FileError::Kind::notFound);
}

// A FIFO or a device in place of a data file must neither hang the reader nor
// fill its memory; each such path is logged once.
TEST(Files, ReadsOnlyRegularFilesUpToTheLimit) {
    TempDir dir;
    const auto fifo = dir.path() / "settings.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto zero = dir.path() / "billing.json";
    fs::create_symlink("/dev/zero", zero);
    const auto edge = dir.path() / "edge.json";
    const auto over = dir.path() / "over.json";
    std::ofstream(edge, std::ios::binary) << std::string(Files::dataFileLimit, 'x');
    std::ofstream(over, std::ios::binary) << std::string(Files::dataFileLimit + 1, 'x');

    testing::ScopedLogCapture log;
    const auto started = std::chrono::steady_clock::now();
    for (int twice = 0; twice < 2; ++twice) {
        EXPECT_EQ(Files::readFile(fifo).error().kind, FileError::Kind::notRegular);
        EXPECT_EQ(Files::readFile(zero).error().kind, FileError::Kind::notRegular);
        EXPECT_EQ(Files::readFile(over).error().kind, FileError::Kind::tooLarge);
        EXPECT_EQ(Files::readFile(edge).value().size(), Files::dataFileLimit);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(log->messages(),
              (std::vector<std::string>{
                  "[Sorvane] file not read: Not a regular file (" + fifo.string() + ")",
                  "[Sorvane] file not read: Not a regular file (" + zero.string() + ")",
                  "[Sorvane] file not read: Larger than 1048576 bytes (" + over.string() + ")",
              }));
}

TEST(Files, AtomicWriteModesLimitAndLeftovers) {
    TempDir dir;
    const auto secret = dir.path() / "billing.json";
    ASSERT_TRUE(Files::atomicWrite(secret, "{}", Files::privateMode));
    EXPECT_EQ(mode(secret), 0600u);
    // A later write keeps what the user set, or tightens it.
    ::chmod(secret.c_str(), 0400);
    ASSERT_TRUE(Files::atomicWrite(secret, "{}", Files::privateMode));
    EXPECT_EQ(mode(secret), 0400u);
    ::chmod(secret.c_str(), 0644);
    ASSERT_TRUE(Files::atomicWrite(secret, "{}", Files::privateMode));
    EXPECT_EQ(mode(secret), 0600u);

    // At the limit is written, past it refused with the old file kept.
    ASSERT_TRUE(Files::atomicWrite(secret, std::string(Files::dataFileLimit, 'x'), Files::privateMode));
    const auto refused =
        Files::atomicWrite(secret, std::string(Files::dataFileLimit + 1, 'y'), Files::privateMode);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, FileError::Kind::tooLarge);
    EXPECT_EQ(Files::readFile(secret).value(), std::string(Files::dataFileLimit, 'x'));

    // A killed writer's temporary file goes once it is a minute old; a fresh
    // one (a write under way) and other files' stay.
    const auto stale = dir.path() / ".billing.json.tmp-0123456789abcdef";
    const auto fresh = dir.path() / ".billing.json.tmp-fedcba9876543210";
    const auto other = dir.path() / ".state.json.tmp-0123456789abcdef";
    for (const auto& p : {stale, fresh, other}) std::ofstream(p) << "private";
    const timespec old[2] = {{std::time(nullptr) - 61, 0}, {std::time(nullptr) - 61, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, stale.c_str(), old, 0), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, other.c_str(), old, 0), 0);
    ASSERT_TRUE(Files::atomicWrite(secret, "{}", Files::privateMode));
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_TRUE(fs::exists(other));
}

// The data folder holds the user's typing history: whichever write makes it
// first, it and every folder in it are the owner's alone, and one found open
// to others is closed once at start.
TEST(Files, DataFolderIsPrivate) {
    TempHome home;
    const fs::path support = Files::supportDirectory();
    ASSERT_TRUE(Files::atomicWrite(support / "rime" / "user.userdb" / "data", "typed", Files::publicMode));
    for (const auto& folder : {support, support / "rime", support / "rime" / "user.userdb"})
        EXPECT_EQ(mode(folder), 0700u) << folder;
    ASSERT_TRUE(Files::createDirectories(Files::logsDirectory()));
    fs::create_directories(home.path() / "plain");
    EXPECT_EQ(mode(Files::logsDirectory()), mode(home.path() / "plain")) << "only the data folder is private";

    testing::ScopedLogCapture capture;
    Files::keepSupportDirectoryPrivate();
    EXPECT_TRUE(capture->messages().empty());
    ::chmod(support.c_str(), 0755);
    Files::keepSupportDirectoryPrivate();
    Files::keepSupportDirectoryPrivate();
    EXPECT_EQ(mode(support), 0700u);
    EXPECT_EQ(
        capture->messages(),
        (std::vector<std::string>{"[Sorvane] data folder tightened from 0755 to 0700: " + support.string()}));
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
        FileLock first(path, FileLock::tryOnce);
        ASSERT_TRUE(first.held());
        FileLock second(path, FileLock::tryOnce);
        EXPECT_FALSE(second.held());
        EXPECT_TRUE(second.heldElsewhere());
    }
    EXPECT_TRUE(FileLock(path, FileLock::tryOnce).held()) << "closing released it";

    const auto target = dir.path() / "elsewhere";
    const auto link = dir.path() / "planted.lock";
    std::filesystem::create_symlink(target, link);
    FileLock planted(link, FileLock::tryOnce);
    EXPECT_FALSE(planted.held());
    EXPECT_FALSE(planted.heldElsewhere());
    EXPECT_EQ(planted.error().code, ELOOP);
    EXPECT_FALSE(std::filesystem::exists(target));
}

// Another user must not be able to hold a lock of ours: the runtime folder
// is this user's own and closed to others, and a lock file that is not our
// own regular file is refused, not reported held elsewhere.
TEST(FileLockTry, OnlyTheUsersOwnLockFileIsTrusted) {
    TempHome home;
    TempDir shared;
    ::chmod(shared.path().c_str(), 01777);
    {
        testing::ScopedEnvironment runtime("XDG_RUNTIME_DIR", shared.path().string());
        EXPECT_EQ(Files::runtimeDirectory(), Files::supportDirectory() / "run") << "open to others";
        runtime.set("XDG_RUNTIME_DIR", std::nullopt);
        EXPECT_EQ(Files::runtimeDirectory(), Files::supportDirectory() / "run");
        ASSERT_TRUE(FileLock(Files::runtimeDirectory() / "one.lock", FileLock::tryOnce).held());
        struct stat st {};
        ASSERT_EQ(::stat(Files::runtimeDirectory().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        EXPECT_EQ(st.st_uid, ::geteuid());
        ::chmod(shared.path().c_str(), 0700);
        runtime.set("XDG_RUNTIME_DIR", shared.path().string());
        EXPECT_EQ(Files::runtimeDirectory(), shared.path());
    }

    const auto fifo = shared.path() / "fifo.lock";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    fs::create_directory(shared.path() / "folder.lock");
    for (const auto& planted : {fifo, shared.path() / "folder.lock"}) {
        FileLock lock(planted, FileLock::tryOnce);
        EXPECT_FALSE(lock.held()) << planted;
        EXPECT_FALSE(lock.heldElsewhere()) << planted;
    }

    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    const auto foreign = shared.path() / "foreign.lock";
    std::ofstream(foreign) << "";
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    // Its owner holds it.
    const UniqueFd theirs(::open(foreign.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(theirs.get(), LOCK_EX), 0);
    FileLock lock(foreign, FileLock::tryOnce);
    EXPECT_FALSE(lock.held());
    EXPECT_FALSE(lock.heldElsewhere());
    EXPECT_EQ(lock.error().message, "Lock file not owned by this user (" + foreign.string() + ")");
}

// A wait that times out leaves nothing behind: no thread still waiting for
// the lock, no descriptor still open on its file.
TEST(FileLockWait, TimedOutWaitsLeaveNoThreadOrDescriptor) {
    testing::TempDir dir;
    const auto path = dir.path() / "busy.lock";
    FileLock peer(path, FileLock::tryOnce);
    ASSERT_TRUE(peer.held());
    const std::size_t threads = entriesIn("/proc/self/task");
    const std::size_t descriptors = entriesIn("/proc/self/fd");
    for (int i = 0; i < 5; ++i) {
        const auto started = std::chrono::steady_clock::now();
        FileLock waiter(path, std::chrono::milliseconds(50));
        EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(50));
        EXPECT_TRUE(waiter.heldElsewhere());
    }
    EXPECT_EQ(entriesIn("/proc/self/task"), threads);
    EXPECT_EQ(entriesIn("/proc/self/fd"), descriptors);
}

// A released lock reaches the waiter at once, not at its deadline, even when
// its holder takes it again straight after letting go; and a wait that
// nothing could end, its signal ignored by someone else, fails at once
// instead of blocking. The bounds hold on a loaded machine: a woken thread
// may wait for a processor, and loses the race for a lock meanwhile.
TEST(FileLockWait, ReleasedLockReachesTheWaiterAndUnboundedWaitsFail) {
    using Clock = std::chrono::steady_clock;
    using namespace std::chrono_literals;
    testing::TempDir dir;
    const auto path = dir.path() / "busy.lock";
    std::optional<FileLock> peer(std::in_place, path, FileLock::tryOnce);
    ASSERT_TRUE(peer->held());
    std::optional<Clock::time_point> taken;
    std::thread waiter([&] {
        if (FileLock(path, 5s).held()) taken = Clock::now();
    });
    std::this_thread::sleep_for(100ms);
    const auto released = Clock::now();
    peer.reset();
    waiter.join();
    ASSERT_TRUE(taken);
    EXPECT_LT(*taken - released, 1s) << "the waiter's deadline was 5 s away";

    // flock does not hand a released lock over: it wakes the waiter to race
    // the peer, which wins while the waiter waits for a processor. So the
    // waiter loses some rounds, hundreds on a loaded machine; a poller, which
    // must look in the instant between the peer's letting go and taking
    // again, loses thousands (some ten thousand looking every 10 ms).
    std::atomic<bool> stop = false;
    std::atomic<int> rounds = 0;
    std::thread greedy([&] {
        const UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
        while (!stop) {
            ::flock(fd.get(), LOCK_EX);
            ++rounds;
            std::this_thread::sleep_for(1ms);
            ::flock(fd.get(), LOCK_UN);
        }
    });
    while (rounds < 3) std::this_thread::yield();
    const int roundsBefore = rounds;
    const auto asked = Clock::now();
    const bool contended = FileLock(path, 30s).held();
    const int lost = rounds - roundsBefore;
    const auto waited = Clock::now() - asked;
    stop = true;
    greedy.join();
    EXPECT_TRUE(contended);
    EXPECT_LT(lost, 2000) << "in " << std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()
                          << " ms";

    // Held for a while only, so that a wait nothing ends fails this test
    // rather than hang it.
    std::atomic<int> holding = 0;  // 1 while held, 2 once no longer needed
    std::thread holder([&] {
        FileLock held(path, FileLock::tryOnce);
        holding = 1;
        for (int i = 0; i < 300 && holding == 1; ++i) std::this_thread::sleep_for(10ms);
    });
    while (holding == 0) std::this_thread::yield();
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGRTMIN + 5, &ignore, &previous);
    const auto started = Clock::now();
    FileLock unbounded(path, 2s);
    const auto unboundedWaited = Clock::now() - started;
    ::sigaction(SIGRTMIN + 5, &previous, nullptr);
    holding = 2;
    holder.join();
    EXPECT_LT(unboundedWaited, 1s) << "the wait was for 2 s";
    EXPECT_FALSE(unbounded.held());
    EXPECT_FALSE(unbounded.heldElsewhere());
    EXPECT_EQ(unbounded.error().code, ENOLCK);
}

}  // namespace
}  // namespace sorvane
