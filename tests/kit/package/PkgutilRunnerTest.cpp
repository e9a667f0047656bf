// The package utility's runner and the two checks built on it, driven by
// small fake utilities kept beside this file (tests/kit/package/pkgutil/).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "kit/package/PackageVerifier.h"
#include "kit/package/PkgutilPackageVersionReader.h"
#include "kit/package/PkgutilRunner.h"
#include "kit/package/PkgutilSignatureChecker.h"
#include "platform/files/Files.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TempHome.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using Kind = PkgutilRunner::Outcome::Kind;
using Clock = std::chrono::steady_clock;

class PkgutilRunnerTest : public ::testing::Test {
protected:
    testing::TempDir dir;

    // A copy of one fake utility in this test's own folder, so whatever it
    // leaves beside itself stays there.
    fs::path fake(const std::string& name) {
        const fs::path copy = dir.path() / name;
        fs::copy_file(fs::path(SORVANE_SOURCE_DIR) / "tests/kit/package/pkgutil" / name, copy,
                      fs::copy_options::overwrite_existing);
        return copy;
    }
    fs::path canned(const std::string& report, int status) {
        const fs::path script = fake("canned-pkgutil");
        std::ofstream(script.string() + ".report", std::ios::binary) << report;
        std::ofstream(script.string() + ".status") << status;
        return script;
    }
    std::set<std::string> leftovers(const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }
};

TEST_F(PkgutilRunnerTest, ChildGetsExactlyThreeVariablesAndNoDescriptors) {
    ::setenv("SORVANE_LEAK_PROBE", "1", 1);
    const int leaked = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
    const auto env = PkgutilRunner::run({"env"}, 10, fake("probe-pkgutil"));
    const auto fds = PkgutilRunner::run({"fds"}, 10, fake("probe-pkgutil"));
    ::close(leaked);
    ::unsetenv("SORVANE_LEAK_PROBE");

    ASSERT_EQ(env.kind, Kind::exited);
    EXPECT_EQ(env.status, 0);
    EXPECT_EQ(env.output, "LANG=C\nLC_ALL=C\nPATH=/usr/bin:/bin:/usr/sbin:/sbin\n");
    ASSERT_EQ(fds.kind, Kind::exited);
    // 0 from /dev/null, 1 and 2 the pipe, 3 the listing's own.
    EXPECT_EQ(fds.output, "0\n1\n2\n3\n");
}

TEST_F(PkgutilRunnerTest, OutputIsDrainedAndSanitised) {
    const auto flood = PkgutilRunner::run({"flood"}, 30, fake("probe-pkgutil"));
    ASSERT_EQ(flood.kind, Kind::exited);
    EXPECT_EQ(flood.output.size(), 6u + 4194304u + 5u);
    EXPECT_EQ(flood.output.substr(flood.output.size() - 5), "done\n");

    const auto bytes = PkgutilRunner::run({"bytes"}, 10, fake("probe-pkgutil"));
    ASSERT_EQ(bytes.kind, Kind::exited);
    EXPECT_EQ(bytes.output, "ok \uFFFD\uFFFD end");

    const auto status = PkgutilRunner::run({}, 10, canned("Status: no signature\n", 3));
    ASSERT_EQ(status.kind, Kind::exited);
    EXPECT_EQ(status.status, 3);
    EXPECT_EQ(status.output, "Status: no signature\n");
}

TEST_F(PkgutilRunnerTest, ChildIgnoringSigtermIsKilledWithinTheBoundAndReaped) {
    const fs::path script = fake("stubborn-pkgutil");
    const auto started = Clock::now();
    const auto outcome = PkgutilRunner::run({}, 0.3, script);
    const auto elapsed = Clock::now() - started;

    EXPECT_EQ(outcome.kind, Kind::timedOut);
    EXPECT_EQ(outcome.output, "");
    EXPECT_LT(elapsed, std::chrono::seconds(3));
    pid_t pid = 0;
    std::ifstream(script.string() + ".pid") >> pid;
    ASSERT_GT(pid, 0);
    // The child is gone at once, not even left as a zombie.
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    // What it started was killed with it; being no child of ours, it is
    // collected by init shortly after.
    EXPECT_TRUE(testing::waitUntil([&] { return ::kill(-pid, 0) == -1; }));
}

TEST_F(PkgutilRunnerTest, LiveUtilityIsMissingHereAndEveryPackageIsRefused) {
    const auto missing =
        PkgutilRunner::run({"--check-signature", "/x.pkg"}, 5, dir.path() / "no-such-pkgutil");
    ASSERT_EQ(missing.kind, Kind::launchFailed);
    EXPECT_NE(missing.failure.find("No such file or directory"), std::string::npos) << missing.failure;

    if (fs::exists(PkgutilRunner::liveExecutable)) GTEST_SKIP() << "this machine has a package utility";
    const fs::path package = dir.path() / "p.pkg";
    std::ofstream(package) << "xar!";
    // A package that passes size and digest goes no further than the live
    // signature check.
    const UpdateRelease release{
        "1.4.0", "https://example.invalid/p.pkg", PackageVerifier::sha256(package).value(), 4, {}, {}, {},
        {}};
    const auto verified = PackageVerifier::verify(package, release, "0.1.0", PkgutilSignatureChecker(120),
                                                  PkgutilPackageVersionReader(dir.path() / "work", 120));
    ASSERT_FALSE(verified);
    EXPECT_EQ(verified.error().description(),
              "安装包签名不可信（pkgutil did not run: No such file or directory (/usr/sbin/pkgutil)）");
    const auto version = PkgutilPackageVersionReader(dir.path() / "work", 120).productVersion(package);
    ASSERT_FALSE(version);
    EXPECT_EQ(version.error().description(),
              "安装包版本无法确认（pkgutil did not run: No such file or directory (/usr/sbin/pkgutil)）");
    EXPECT_TRUE(leftovers(dir.path() / "work").empty());
}

TEST_F(PkgutilRunnerTest, SignatureCheckerMapsEveryOutcome) {
    const std::string trusted =
        "Package \"p.pkg\":\n   Status: signed by a developer certificate issued by Apple for distribution\n"
        "   Certificate Chain:\n    1. Developer ID Installer: Kestrum Ltd (T4MQ8ZRV2N)\n"
        "    2. Developer ID Certification Authority\n    3. Apple Root CA\n";
    const auto passed = PkgutilSignatureChecker(10, canned(trusted, 0)).check("/p.pkg");
    ASSERT_TRUE(passed);
    EXPECT_EQ(passed->chain.size(), 3u);
    EXPECT_EQ(PkgutilSignatureChecker(10, canned("   Status: no signature\n", 1)).check("/p.pkg").error(),
              UpdateVerificationError::signatureRejected("pkgutil exit 1: Status: no signature"));
    EXPECT_EQ(PkgutilSignatureChecker(0.2, fake("slow-pkgutil")).check("/p.pkg").error(),
              UpdateVerificationError::signatureRejected("pkgutil timed out"));
}

TEST_F(PkgutilRunnerTest, WorkingFolderIsOwnerOnlyAndGoneOnEveryPath) {
    const fs::path work = dir.path() / "tmp" / "deeper";
    const fs::path script = canned(std::string(300, 'x') + "\n\n", 2);
    const auto failed = PkgutilPackageVersionReader(work, 10, script).productVersion("/p.pkg");
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), UpdateVerificationError::versionUnreadable("pkgutil --expand-full exit 2: " +
                                                                         std::string(200, 'x')));
    EXPECT_TRUE(leftovers(work).empty());

    const auto timedOut =
        PkgutilPackageVersionReader(work, 0.2, fake("slow-pkgutil")).productVersion("/p.pkg");
    EXPECT_EQ(timedOut.error(),
              UpdateVerificationError::versionUnreadable("pkgutil --expand-full timed out"));
    EXPECT_TRUE(leftovers(work).empty());

    // The expanding fake sees the folder while it exists.
    const fs::path product = dir.path() / "product";
    fs::create_directories(product);
    std::ofstream(product / "Distribution") << "<installer-gui-script/>";
    const fs::path probe = dir.path() / "probe-expand";
    std::ofstream(probe) << "#!/bin/sh\nstat -c %a \"$(dirname \"$3\")\" > " << (dir.path() / "mode").string()
                         << "\nbasename \"$(dirname \"$3\")\" >> " << (dir.path() / "mode").string()
                         << "\ncp -R \"$2\" \"$3\"\n";
    fs::permissions(probe, fs::perms::owner_all);
    const auto read = PkgutilPackageVersionReader(work, 10, probe).productVersion(product);
    EXPECT_EQ(read.error(), UpdateVerificationError::versionUnreadable(
                                "应有且只有一个 cn.kestrum.pkg.SorvaneIME 组件包，找到 0 个"));
    std::ifstream modeFile(dir.path() / "mode");
    std::string mode, name;
    modeFile >> mode >> name;
    EXPECT_EQ(mode, "700");
    EXPECT_TRUE(
        std::regex_match(name, std::regex("SorvaneIME-expand-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")))
        << name;
    EXPECT_TRUE(leftovers(work).empty());
}

}  // namespace
}  // namespace sorvane
