// `--check-update` with an injected environment against a TLS loopback feed
// and package server (fake package checks), output compared byte for byte;
// and the real executable, cut off from every network.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "kit/package/PackageVerifier.h"
#include "kit/update/UpdateCenterCheckCLI.h"
#include "kit/update/UpdateCenterProgress.h"
#include "kit/update/UpdatePaths.h"
#include "kit/update/UpdatePipeline.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakePackageChecks.h"
#include "tests/support/ManualTaskRunner.h"
#include "tests/support/TempHome.h"
#include "tests/support/TlsLoopbackServer.h"

namespace sorvane::UpdateCenter {
namespace {

namespace fs = std::filesystem;

class UpdateCheckCLITest : public ::testing::Test {
protected:
    UpdateCheckCLITest() {
        package_ = "1.3.0\n" + std::string(94, 'x');
        release_.version = "1.3.0";
        release_.url = server_.baseURL() + "/pkg/a.pkg";
        { std::ofstream(home_.path() / "scratch", std::ios::binary) << package_; }
        release_.sha256 = *PackageVerifier::sha256(home_.path() / "scratch");
        fs::remove(home_.path() / "scratch");
        release_.size = static_cast<std::int64_t>(package_.size());
        server_->Get("/brindor/api/sorvane/update", [this](const httplib::Request&,
                                                           httplib::Response& reply) {
            std::lock_guard lock(mutex_);
            const nlohmann::json data{{"updateAvailable", available_}, {"latest", release_.toJSON()}};
            reply.set_content(nlohmann::json{{"success", true}, {"data", data}}.dump(), "application/json");
        });
        server_->Get("/pkg/a.pkg", [this](const httplib::Request&, httplib::Response& reply) {
            std::lock_guard lock(mutex_);
            reply.set_content(served_.empty() ? package_ : served_, "application/octet-stream");
        });
        server_.start();
    }

    UpdateEnvironment environment(std::optional<std::string> version) {
        UpdateEnvironment e;
        e.baseURL = server_.baseURL() + "/brindor/api";
        e.makeConfiguration = [this] { return UpdateSessionConfiguration{&client_}; };
        e.stateFile = UpdateStateFile::live();
        e.updatesDirectory = UpdatePaths::updatesDirectory();
        e.temporaryDirectory = temporary_.path();
        e.signature = std::make_shared<testing::FakeSignature>();
        e.packageVersion = std::make_shared<testing::FakeVersion>();
        e.currentVersion = version.value_or("1.0.0");
        e.osVersion = "6.1.0";
        e.arch = "x86_64";
        e.now = [] {
            return std::chrono::sys_days{std::chrono::December / 7 / 2026} + std::chrono::hours(9);
        };
        return e;
    }

    struct Run {
        int status;
        std::string out;
        std::string err;
    };
    Run run(const std::vector<std::string>& arguments, std::optional<std::string> bundle = "1.0.0") {
        std::ostringstream out, err;
        const CheckCLIServices services{
            [this](std::optional<std::string> v) { return environment(std::move(v)); },
            bundle,
            [](const UpdateEnvironment& e, const UpdateEventHandler& events) {
                return UpdatePipeline::run(e, events);
            },
            tasks_,
            out,
            err};
        const int status = runCheckCLI(arguments, services);
        return {status, out.str(), err.str()};
    }

    std::string header(const std::string& running) const {
        const fs::path state = home_.path() / "Library" / "SorvaneIME" / "update.json";
        return "api       : " + server_.baseURL() + "/brindor/api\n" + "running   : " + running + "\n" +
               "os / arch : 6.1.0 / x86_64\n" + "state     : " + state.string() + "\n" +
               "packages  : " + UpdatePaths::updatesDirectory().string() + "\n";
    }
    std::string requestLine(const std::string& version) const {
        return "request   : GET " + server_.baseURL() + "/brindor/api/sorvane/update?version=" + version +
               "&os=6.1.0&arch=x86_64\n";
    }
    std::string feedLines() const {
        return "feed      : updateAvailable=" + std::string(available_ ? "true" : "false") +
               " latest=1.3.0 size=100 sha256=" + release_.sha256 + "\n            url=" + release_.url +
               "\n";
    }

    testing::TempHome home_;
    testing::TempDir temporary_;
    testing::ScopedLogCapture log_;
    testing::TlsLoopbackServer server_;
    CurlHttpClient client_{server_.caFile()};
    DetachedThreadRunner tasks_;
    std::mutex mutex_;
    UpdateRelease release_;
    std::string package_;
    std::string served_;
    bool available_ = true;
};

TEST_F(UpdateCheckCLITest, UsageAndUnknownArguments) {
    const std::string usage = checkUsage() + "\n";
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {{"--help"}, 0, usage, ""},
        {{"--current-version", "2.0", "-h"}, 0, usage, ""},
        {{"--current-version"}, 2, "", "check-update: unknown argument --current-version\n" + usage},
        {{"--current-version", "2.0", "--verbose"},
         2,
         "",
         "check-update: unknown argument --verbose\n" + usage},
    };
    for (const Case& c : cases) {
        const Run r = run(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments.back();
        EXPECT_EQ(r.out, c.out) << c.arguments.back();
        EXPECT_EQ(r.err, c.err) << c.arguments.back();
    }
    EXPECT_EQ(usage,
              "--check-update [--current-version X]\n"
              "  Ask {api}/sorvane/update, download and verify a newer update pkg into\n"
              "  ~/Library/Caches/SorvaneIME/Updates and record it in ~/Library/SorvaneIME/update.json.\n"
              "  --current-version  compare against X instead of the bundle's CFBundleShortVersionString\n"
              "  (an executable outside an application bundle has none). Development builds honour "
              "SORVANE_ACCOUNT_API.\n");
}

TEST_F(UpdateCheckCLITest, ReadyThenKeptThenUpToDate) {
    const fs::path kept = UpdatePaths::updatesDirectory() / "SorvaneIME-1.3.0-update.pkg";
    const std::string verified =
        "verify    : size, SHA-256, pkgutil --check-signature, version inside the pkg (pkgutil "
        "--expand-full)\n"
        "verify    : ok — Status: signed by a developer certificate\n"
        "            chain: leaf → ca → root\n"
        "            notarized: no (not required)\n"
        "            package version: 1.3.0 (Distribution, PackageInfo and Info.plist agree)\n";
    const std::string stateLine =
        "update.json: checkedAt=2026-12-07T09:00:00Z latest=1.3.0 downloadedPath=" + kept.string() +
        " verifiedAt=2026-12-07T09:00:00Z notifiedVersion=-\n";
    Run r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, header("1.0.0 (bundle)") + requestLine("1.0.0") + feedLines() +
                         "download  : 0/100 bytes (0%)\ndownload  : 100/100 bytes (100%)\n" + verified +
                         "result    : ready 1.3.0 (downloaded)\npackage   : " + kept.string() + "\n" +
                         stateLine + "menu title: 安装更新 1.3.0…\n");

    r = run({"--current-version", "0.9", "--current-version", "1.1.0"}, std::nullopt);
    EXPECT_EQ(r.out, header("1.1.0 (--current-version)") + requestLine("1.1.0") + feedLines() +
                         "reuse     : " + kept.string() + " (checking it again)\n" + verified +
                         "result    : ready 1.3.0 (kept the verified download)\npackage   : " +
                         kept.string() + "\n" + stateLine + "menu title: 安装更新 1.3.0…\n");

    available_ = false;
    r = run({"--current-version", "1.3.0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, header("1.3.0 (--current-version)") + requestLine("1.3.0") + feedLines() +
                         "result    : up to date (feed latest 1.3.0)\n");
    EXPECT_TRUE(r.err.empty());
}

TEST_F(UpdateCheckCLITest, FailuresAndTheMissingBundleVersion) {
    served_ = "1.3.0\n" + std::string(94, 'y');  // the right size, another digest
    Run r = run({}, std::nullopt);
    EXPECT_EQ(r.status, 1);
    const std::string tail = r.out.substr(r.out.find("result    : "));
    EXPECT_EQ(r.out.substr(0, r.out.find("request")),
              header("1.0.0 (no bundle version; pass --current-version)"));
    EXPECT_TRUE(tail.starts_with("result    : FAILED — ")) << tail;
    EXPECT_TRUE(
        tail.ends_with("\n            (the package was rejected and deleted; update.json offers nothing)\n"))
        << tail;

    // A check that ends without a result.
    std::ostringstream out, err;
    const CheckCLIServices broken{
        [this](std::optional<std::string> v) { return environment(std::move(v)); },
        "1.0.0",
        [](const UpdateEnvironment&, const UpdateEventHandler&)
            -> Expected<UpdateCheckResult, UpdateCheckError> { throw std::runtime_error("gone"); },
        tasks_,
        out,
        err};
    EXPECT_EQ(runCheckCLI({}, broken), 1);
    EXPECT_EQ(out.str(), header("1.0.0 (bundle)") + "result    : FAILED — no result\n");
}

TEST(UpdateCLIProgressTest, OneLinePerDecileFromZero) {
    std::ostringstream out;
    CLIProgressPrinter printer(out);
    for (const auto& [received, total] : std::vector<std::pair<std::int64_t, std::int64_t>>{
             {0, 1000}, {50, 1000}, {100, 1000}, {350, 1000}, {399, 1000}, {1000, 1000}, {1000, 1000}})
        printer.handle(UpdateEvent::downloading(received, total));
    printer.handle(UpdateEvent::feedAccepted(UpdateFeed{false, std::nullopt}));
    CLIProgressPrinter noTotal(out);
    noTotal.handle(UpdateEvent::downloading(5, 0));
    noTotal.handle(UpdateEvent::downloading(INT64_MAX, INT64_MAX));
    EXPECT_EQ(out.str(),
              "download  : 0/1000 bytes (0%)\n"
              "download  : 100/1000 bytes (10%)\n"
              "download  : 350/1000 bytes (30%)\n"
              "download  : 1000/1000 bytes (100%)\n"
              "feed      : updateAvailable=false latest=null\n"
              "download  : 5/0 bytes (0%)\n"
              "download  : 9223372036854775807/9223372036854775807 bytes (100%)\n");
}

// The shipped executable asks the real service address, so it runs where
// no request can leave the machine: a network namespace of its own.
TEST(UpdateCheckExecutableTest, FailsWithoutANetwork) {
    testing::TempHome home;
    std::vector<std::string> unshare;
    for (const auto& flags : {std::vector<std::string>{"-n"}, std::vector<std::string>{"-rn"}}) {
        std::vector<std::string> args = flags;
        args.push_back("true");
        if (testing::ChildProcess::run("/usr/bin/unshare", args).status == 0) {
            unshare = flags;
            break;
        }
    }
    if (unshare.empty()) GTEST_SKIP() << "unshare can make no network namespace here (neither -n nor -rn)";
    unshare.insert(unshare.end(), {SORVANE_EXECUTABLE, "--check-update"});
    const auto result =
        testing::ChildProcess::run("/usr/bin/unshare", unshare, {{"HOME", home.path().string()}});
    EXPECT_EQ(result.status, 1) << result.err;
    std::istringstream lines(result.out);
    std::string line;
    std::vector<std::string> prefixes = {
        "api       : https://api.sorvane.example/brindor/api",
        "running   : ", "os / arch : ", "state     : " + home.path().string(),
        "packages  : " + home.path().string()};
    for (const std::string& prefix : prefixes) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_TRUE(line.starts_with(prefix)) << line;
    }
    EXPECT_NE(result.out.find("\nresult    : FAILED — "), std::string::npos) << result.out;
}

}  // namespace
}  // namespace sorvane::UpdateCenter
