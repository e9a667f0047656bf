// The update pipeline against a TLS loopback feed and package server, in a
// temporary HOME, with fake package checks (and once with fake pkgutil
// scripts). The client trusts the test's own certificate and nothing else.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <nlohmann/json.hpp>

#include "kit/package/PackageDownload.h"
#include "kit/package/PackageVerifier.h"
#include "kit/package/PkgutilPackageVersionReader.h"
#include "kit/package/PkgutilSignatureChecker.h"
#include "kit/update/UpdatePaths.h"
#include "kit/update/UpdatePipeline.h"
#include "platform/files/FileMove.h"
#include "tests/support/CapturingLogSink.h"
#include "tests/support/TempHome.h"
#include "tests/support/TlsLoopbackServer.h"

namespace sorvane {
namespace {

namespace fs = std::filesystem;
using testing::ScopedLogCapture;
using testing::TempDir;
using testing::TempHome;
using testing::TlsLoopbackServer;

struct FakeSignature final : PackageSignatureChecking {
    Expected<PackageSignaturePolicy::Report, UpdateVerificationError> check(const fs::path&) const override {
        return PackageSignaturePolicy::Report{"Status: signed", {"leaf", "ca", "root"}, false};
    }
};

// Reads the "version" the test wrote into the package's first line.
struct FakeVersion final : PackageVersionReading {
    Expected<std::string, UpdateVerificationError> productVersion(const fs::path& package) const override {
        std::ifstream in(package);
        std::string line;
        std::getline(in, line);
        return line;
    }
};

std::string packageBytes(const std::string& version, std::size_t size) {
    std::string bytes = version + "\n";
    while (bytes.size() < size) bytes += static_cast<char>('a' + bytes.size() % 26);
    return bytes.substr(0, size);
}

std::string digestOf(const std::string& bytes, const fs::path& scratch) {
    { std::ofstream(scratch, std::ios::binary) << bytes; }
    auto digest = PackageVerifier::sha256(scratch);
    fs::remove(scratch);
    return *digest;
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(UpdateEnvironment, LiveValues) {
    TempHome home;
    const UpdateEnvironment live = UpdateEnvironment::live();
    EXPECT_EQ(live.baseURL, "https://api.sorvane.example/brindor/api");
    EXPECT_EQ(live.currentVersion, "0.0.0") << "the test binary's bundle has no Info.plist";
    EXPECT_EQ(UpdateEnvironment::live("2.0").currentVersion, "2.0");
    EXPECT_EQ(live.stateFile.url, home.path() / "Library/SorvaneIME/update.json");
    EXPECT_EQ(live.updatesDirectory, home.path() / "Library/Caches/SorvaneIME/Updates");
    EXPECT_EQ(std::count(live.osVersion.begin(), live.osVersion.end(), '.'), 2);
    EXPECT_TRUE(live.arch == "x86_64" || live.arch == "arm64");
    const UpdateSessionConfiguration session = live.makeConfiguration();
    EXPECT_EQ(session.client, &CurlHttpClient::shared());
    EXPECT_EQ(session.requestTimeout, std::chrono::seconds(60));
    EXPECT_EQ(session.resourceTimeout, std::chrono::seconds(1800));
    EXPECT_EQ(UpdatePipeline::feedRequest(live).requestTimeout, std::chrono::seconds(20));
}

class UpdatePipelineTest : public ::testing::Test {
protected:
    UpdatePipelineTest() {
        package = packageBytes("1.2.0", 200'000);
        release.version = "1.2.0";
        release.url = server.baseURL() + "/pkg/a.pkg";
        release.sha256 = digestOf(package, temporary.path() / "scratch");
        release.size = static_cast<std::int64_t>(package.size());
        release.notes = "· 修复";

        server->Get("/brindor/api/sorvane/update", [this](const httplib::Request& request,
                                                          httplib::Response& reply) {
            std::lock_guard lock(mutex);
            lastFeedTarget = request.target;
            lastFeedHeaders = {request.get_header_value("X-Client-App"), request.get_header_value("Accept")};
            reply.status = feedStatus;
            reply.set_content(feedBody.empty() ? feedFor(release) : feedBody, "application/json");
        });
        server->Get("/pkg/a.pkg", [this](const httplib::Request& request, httplib::Response& reply) {
            std::lock_guard lock(mutex);
            ++packageRequests;
            packageClientApp = request.get_header_value("X-Client-App");
            reply.status = packageStatus;
            reply.set_content(served.empty() ? package : served, "application/octet-stream");
        });
        server->Get("/to-plain-http", [this](const httplib::Request&, httplib::Response& reply) {
            reply.set_redirect("http://127.0.0.1:" + std::to_string(server.port()) + "/pkg/a.pkg");
        });
        server.start();

        environment.baseURL = server.baseURL() + "/brindor/api";
        environment.makeConfiguration = [this] { return UpdateSessionConfiguration{&client}; };
        environment.stateFile = UpdateStateFile::live();
        environment.updatesDirectory = UpdatePaths::updatesDirectory();
        environment.temporaryDirectory = temporary.path();
        environment.signature = std::make_shared<FakeSignature>();
        environment.packageVersion = std::make_shared<FakeVersion>();
        environment.currentVersion = "1.0.0";
        environment.osVersion = "6.1.0";
        environment.arch = "x86_64";
        environment.now = [] {
            return std::chrono::sys_days{std::chrono::December / 7 / 2026} + std::chrono::hours(9);
        };
    }

    static std::string feedFor(const UpdateRelease& latest, bool available = true) {
        nlohmann::json data{{"updateAvailable", available}, {"latest", latest.toJSON()}};
        return nlohmann::json{{"success", true}, {"data", data}}.dump();
    }

    Expected<UpdateCheckResult, UpdateCheckError> check(std::vector<UpdateEvent>* events = nullptr) {
        return UpdatePipeline::run(environment, [events](const UpdateEvent& event) {
            if (events) events->push_back(event);
        });
    }

    void setFeed(int status, std::string body) {
        std::lock_guard lock(mutex);
        feedStatus = status;
        feedBody = std::move(body);
    }

    fs::path keptPath() const { return environment.updatesDirectory / "SorvaneIME-1.2.0-update.pkg"; }
    bool temporaryLeftovers() const { return !namesIn(temporary.path()).empty(); }

    TempHome home;
    TempDir temporary;
    TlsLoopbackServer server;
    CurlHttpClient client{server.caFile()};
    UpdateEnvironment environment;
    UpdateRelease release;
    std::string package;

    std::mutex mutex;
    int feedStatus = 200;
    std::string feedBody;
    std::string lastFeedTarget;
    std::pair<std::string, std::string> lastFeedHeaders;
    int packageStatus = 200;
    std::string served;
    std::atomic<int> packageRequests = 0;
    std::string packageClientApp;
};

TEST_F(UpdatePipelineTest, FeedRepliesThatFail) {
    struct Case {
        int status;
        std::string body;
        std::string text;
    };
    const std::vector<Case> cases = {
        {404, R"({"error":"gone"})", "检查更新失败：HTTP 404 gone"},
        {404, "<html>", "检查更新失败：HTTP 404"},
        {200, "[1,2]", "检查更新失败：更新源返回的不是预期的 JSON"},
        {200, R"({"items":[]})", "检查更新失败：更新源没有返回 data"},
        {200, "not json", "检查更新失败：更新源返回的不是预期的 JSON"},
        {200, R"({"success":false})", "检查更新失败：更新源没有返回 data"},
        {200, R"({"success":false,"error":"维护中"})", "检查更新失败：维护中"},
        {200,
         R"({"success":true,"data":{"updateAvailable":true,"latest":{"version":"2","url":"u","size":1}}})",
         "检查更新失败：更新源返回的不是预期的 JSON"},
        {200, std::string(1024 * 1024 + 1, ' '), "检查更新失败：更新源的回复太长"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 80));
        setFeed(c.status, c.body);
        std::vector<UpdateEvent> events;
        auto result = check(&events);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().description(), c.text);
        EXPECT_EQ(events.size(), 1u);  // requesting only
        EXPECT_FALSE(fs::exists(environment.stateFile.url));
    }
}

TEST_F(UpdatePipelineTest, FeedRequestAndAnEnvelopeWithoutSuccess) {
    environment.currentVersion = "1.0 beta";
    setFeed(200, R"({"data":{"updateAvailable":false}})");
    std::vector<UpdateEvent> events;
    auto result = check(&events);
    ASSERT_TRUE(result) << result.error().description();
    EXPECT_EQ(*result, UpdateCheckResult::upToDate(std::nullopt));
    EXPECT_EQ(lastFeedTarget, "/brindor/api/sorvane/update?version=1.0%20beta&os=6.1.0&arch=x86_64");
    EXPECT_EQ(lastFeedHeaders, (std::pair<std::string, std::string>{"sorvane", "application/json"}));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], UpdateEvent::requesting(server.baseURL() + lastFeedTarget));
    EXPECT_EQ(events[1].kind, UpdateEvent::Kind::feed);
    EXPECT_EQ(environment.stateFile.load().checkedAt,
              std::chrono::floor<std::chrono::seconds>(environment.now()));

    // Only the test's own client trusts the test's certificate.
    CurlHttpClient untrusting;
    environment.makeConfiguration = [&] { return UpdateSessionConfiguration{&untrusting}; };
    auto refused = check();
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().description(),
              "检查更新失败：此服务器的证书无效。您可能正在连接到一个伪装成“127.0.0.1”的服务器，"
              "这会威胁到您的机密信息的安全。");
}

TEST_F(UpdatePipelineTest, NothingNewerEmptiesTheUpdatesFolder) {
    for (bool available : {false, true}) {
        SCOPED_TRACE(available);
        writeFile(keptPath(), package);
        writeFile(environment.updatesDirectory / ".partial", "x");
        UpdateRelease latest = release;
        if (available) latest.version = "1.0.0";  // the running version
        setFeed(200, feedFor(latest, available));
        auto result = check();
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, UpdateCheckResult::upToDate(latest));
        EXPECT_TRUE(namesIn(environment.updatesDirectory).empty());
        EXPECT_FALSE(environment.stateFile.load().downloadedPath);
        EXPECT_EQ(packageRequests, 0);
    }
}

TEST_F(UpdatePipelineTest, DownloadsVerifiesAndKeepsTheOnePackage) {
    writeFile(environment.updatesDirectory / "SorvaneIME-1.1.0-update.pkg", "old");
    std::vector<UpdateEvent> events;
    auto result = check(&events);
    ASSERT_TRUE(result) << result.error().description();
    EXPECT_EQ(*result, UpdateCheckResult::ready(release, keptPath().string(), true));
    EXPECT_EQ(namesIn(environment.updatesDirectory), std::vector<std::string>{"SorvaneIME-1.2.0-update.pkg"});
    EXPECT_EQ(readFile(keptPath()), package);
    EXPECT_EQ(packageClientApp, "sorvane");
    EXPECT_FALSE(temporaryLeftovers());

    const UpdateState state = environment.stateFile.load();
    EXPECT_EQ(state.downloadedPath, keptPath().string());
    EXPECT_EQ(state.verifiedAt, state.checkedAt);
    EXPECT_EQ(state.latest, release);

    ASSERT_GE(events.size(), 6u);
    EXPECT_EQ(events[2], UpdateEvent::downloading(0, release.size));
    EXPECT_EQ(events[events.size() - 3], UpdateEvent::downloading(release.size, release.size));
    EXPECT_EQ(events[events.size() - 2], UpdateEvent::verifying());
    EXPECT_EQ(events.back().kind, UpdateEvent::Kind::verified);

    // A second check with the same feed reuses the kept package.
    events.clear();
    result = check(&events);
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, UpdateCheckResult::ready(release, keptPath().string(), false));
    EXPECT_EQ(packageRequests, 1);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[2], UpdateEvent::reusing(keptPath().string()));
    EXPECT_EQ(events[3], UpdateEvent::verifying());
    EXPECT_EQ(events[4].kind, UpdateEvent::Kind::verified);
}

TEST_F(UpdatePipelineTest, PackageAddressAndSizeChecks) {
    const std::string plain = "http://127.0.0.1:" + std::to_string(server.port()) + "/pkg/a.pkg";
    struct Case {
        std::string url;
        std::int64_t size;
        std::string text;  // empty: ready
    };
    const std::vector<Case> cases = {
        {"HTTPS://127.0.0.1:" + std::to_string(server.port()) + "/pkg/a.pkg", release.size, ""},
        {plain, release.size, "更新地址不是 https：" + plain},
        {plain, 0, "更新地址不是 https：" + plain},
        {release.url, 0, "检查更新失败：更新源的 size / sha256 不合法"},
        {server.baseURL() + "/to-plain-http", release.size, "下载失败："},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        fs::remove_all(environment.updatesDirectory);
        UpdateRelease latest = release;
        latest.url = c.url;
        latest.size = c.size;
        setFeed(200, feedFor(latest));
        auto result = check();
        if (c.text.empty()) {
            ASSERT_TRUE(result) << result.error().description();
            EXPECT_TRUE(result->downloaded);
        } else {
            ASSERT_FALSE(result);
            EXPECT_TRUE(result.error().description().starts_with(c.text)) << result.error().description();
        }
        EXPECT_FALSE(temporaryLeftovers());
    }
}

TEST_F(UpdatePipelineTest, DownloadFailuresLeaveNoTemporaryFile) {
    struct Case {
        int status;
        std::string served;
        std::string text;
    };
    const std::vector<Case> cases = {
        {200, package + "x", "下载失败：超过更新源声明的大小（" + std::to_string(release.size) + " 字节）"},
        {404, "missing", "下载失败：HTTP 404"},
        {200, package.substr(0, package.size() - 1) + "!", "安装包 SHA-256 与更新源不一致"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        {
            std::lock_guard lock(mutex);
            packageStatus = c.status;
            served = c.served;
        }
        auto result = check();
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().description(), c.text);
        EXPECT_FALSE(temporaryLeftovers());
        EXPECT_TRUE(namesIn(environment.updatesDirectory).empty());
        EXPECT_EQ(environment.stateFile.load().latest, release);
    }
}

// A transport that throws midway (out of memory inside it) leaves the
// exception to the caller and no descriptor open on the half-written file.
TEST(PackageDownload, AThrowingTransferClosesTheFile) {
    struct ThrowingClient final : HttpClient {
        Expected<HttpResponse, URLError> send(const HttpRequest&, HttpCancellation*) override {
            throw std::bad_alloc();
        }
        Expected<HttpResponse, URLError> stream(const HttpRequest&, const HeadHandler&, const LineHandler&,
                                                HttpCancellation*) override {
            throw std::bad_alloc();
        }
        Expected<HttpResponse, URLError> download(const HttpRequest&, const HeadHandler& onHead,
                                                  const BlockHandler& onBlock, HttpCancellation*) override {
            HttpResponse head;
            head.status = 200;
            onHead(head);
            onBlock("half");
            throw std::bad_alloc();
        }
    } client;
    TempDir dir;
    const auto descriptors = namesIn("/proc/self/fd").size();
    PackageDownload transfer(8, dir.path() / "a.pkg", {});
    EXPECT_THROW(transfer.run(HttpRequest{}, UpdateSessionConfiguration{&client}), std::bad_alloc);
    EXPECT_TRUE(transfer.createdDestination());
    EXPECT_EQ(readFile(dir.path() / "a.pkg"), "half");
    EXPECT_EQ(namesIn("/proc/self/fd").size(), descriptors);
}

TEST_F(UpdatePipelineTest, KeptPackageGoneOrCorrupted) {
    ASSERT_TRUE(check());
    fs::remove(keptPath());
    ScopedLogCapture log;
    auto result = check();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->downloaded);
    EXPECT_FALSE(log->contains("kept package failed"));
    EXPECT_TRUE(log->contains("[Sorvane] update: 1.2.0 downloaded and verified → " + keptPath().string()));

    writeFile(keptPath(), packageBytes("1.2.0", package.size() - 1) + "?");
    result = check();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->downloaded);
    EXPECT_EQ(packageRequests, 3);
    EXPECT_TRUE(
        log->contains("[Sorvane] update: kept package failed verification, downloading again: "
                      "安装包 SHA-256 与更新源不一致"));
    EXPECT_EQ(readFile(keptPath()), package);
}

TEST_F(UpdatePipelineTest, VerifyReadyPackageBothWays) {
    auto none = UpdatePipeline::verifyReadyPackage(environment);
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().description(), "没有已下载的更新，请重新检查更新");

    ASSERT_TRUE(check());
    auto ready = UpdatePipeline::verifyReadyPackage(environment);
    ASSERT_TRUE(ready);
    EXPECT_EQ(*ready, (UpdateState::Ready{release, keptPath().string()}));

    writeFile(keptPath(), package.substr(1));
    ScopedLogCapture log;
    auto failed = UpdatePipeline::verifyReadyPackage(environment);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().kind, UpdateCheckError::Kind::verification);
    EXPECT_TRUE(log->contains("[Sorvane] update: 1.2.0 failed the pre-install check: 安装包大小不对"));
    EXPECT_FALSE(fs::exists(keptPath()));
    const UpdateState state = environment.stateFile.load();
    EXPECT_FALSE(state.downloadedPath);
    EXPECT_FALSE(state.verifiedAt);
}

// update.json is another process's file: a path in it that is not a regular
// file directly in the updates folder is never deleted, opened or offered.
TEST_F(UpdatePipelineTest, ForeignPackagePathsAreForgottenNotTouched) {
    const fs::path victim = home.path() / "victim.pkg";
    const fs::path link = environment.updatesDirectory / "SorvaneIME-1.2.0-update.pkg";
    for (bool viaLink : {false, true}) {
        SCOPED_TRACE(viaLink);
        fs::remove_all(environment.updatesDirectory);
        writeFile(victim, package);
        if (viaLink) {
            fs::create_directories(environment.updatesDirectory);
            fs::create_symlink(victim, link);
        }
        UpdateState planted;
        planted.latest = release;
        planted.downloadedPath = (viaLink ? link : victim).string();
        planted.verifiedAt = std::chrono::floor<std::chrono::seconds>(environment.now());
        ASSERT_TRUE(environment.stateFile.save(planted));

        auto offered = UpdatePipeline::verifyReadyPackage(environment);
        ASSERT_FALSE(offered);
        EXPECT_EQ(offered.error().description(), "没有已下载的更新，请重新检查更新");

        std::vector<UpdateEvent> events;
        auto result = check(&events);
        ASSERT_TRUE(result) << result.error().description();
        EXPECT_TRUE(result->downloaded);
        for (const auto& event : events) EXPECT_NE(event.kind, UpdateEvent::Kind::reusing);
        EXPECT_EQ(readFile(victim), package);

        // A changed release clears the path; the file it named stays.
        planted.downloadedPath = victim.string();
        planted.latest->size += 1;
        ASSERT_TRUE(environment.stateFile.save(planted));
        ASSERT_TRUE(check());
        EXPECT_TRUE(fs::exists(victim));
    }
}

TEST_F(UpdatePipelineTest, RemoveDownloadsKeepsOnlyTheKeptEntry) {
    const fs::path folder = environment.updatesDirectory;
    const fs::path outside = home.path() / "notes.txt";
    writeFile(outside, "mine");
    for (const auto& keep : {std::optional<fs::path>(folder / "a.pkg"), std::optional<fs::path>(outside)}) {
        writeFile(folder / "a.pkg", "a");
        writeFile(folder / ".hidden", "h");
        writeFile(folder / "sub" / "b.pkg", "b");
        fs::create_symlink(outside, folder / "link.pkg");
        UpdatePipeline::removeDownloads(folder, keep);
        EXPECT_EQ(namesIn(folder), keep->parent_path() == folder ? std::vector<std::string>{"a.pkg"}
                                                                 : std::vector<std::string>{});
        EXPECT_EQ(readFile(outside), "mine");  // a link goes, never what it points at
        fs::remove_all(folder);
    }
}

TEST_F(UpdatePipelineTest, WithThePackageUtility) {
    const fs::path tool = fs::path(SORVANE_SOURCE_DIR) / "tests/kit/package/pkgutil/package-pkgutil";
    environment.signature = std::make_shared<PkgutilSignatureChecker>(10, tool);
    environment.packageVersion = std::make_shared<PkgutilPackageVersionReader>(temporary.path(), 10, tool);
    auto result = check();
    ASSERT_TRUE(result) << result.error().description();
    EXPECT_TRUE(result->downloaded);

    // The feed announces another version than the package holds.
    fs::remove_all(environment.updatesDirectory);
    UpdateRelease other = release;
    other.version = "1.3.0";
    setFeed(200, feedFor(other));
    result = check();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().description(), "安装包版本是 1.2.0，与更新源声明的 1.3.0 不一致");
    EXPECT_FALSE(temporaryLeftovers());
}

// A process killed while it downloads leaves its file in the shared
// temporary folder; the next check removes it once no transfer could still
// be writing it, and nothing else there.
TEST_F(UpdatePipelineTest, TheNextCheckRemovesOnlyOwnOldLeftovers) {
    const auto now = std::time(nullptr);
    const auto longest = UpdateSessionConfiguration::longestTransfer.count();
    const fs::path dir = temporary.path();
    struct Entry {
        std::string name;
        std::time_t age;
        bool removed;
    };
    std::vector<Entry> entries = {
        {"SorvaneIME-update-0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0.pkg", longest + 60, true},
        {"SorvaneIME-update-1F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0.pkg", longest - 60, false},
        {"SorvaneIME-update-2F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0.pkg.part", longest + 60, false},
        {"SorvaneIME-update-notes.pkg", longest + 60, false},
        {"SorvaneIME-1.2.0-update.pkg", longest + 60, false},
    };
    for (const auto& entry : entries) writeFile(dir / entry.name, "partial");
    // Named like ours, but a link, a folder, or another user's file.
    const std::string uuid = "3F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
    fs::create_symlink(dir / entries[4].name, dir / ("SorvaneIME-update-" + uuid + ".pkg"));
    entries.push_back({"SorvaneIME-update-" + uuid + ".pkg", longest + 60, false});
    fs::create_directory(dir / ("SorvaneIME-update-4" + uuid.substr(1) + ".pkg"));
    entries.push_back({"SorvaneIME-update-4" + uuid.substr(1) + ".pkg", longest + 60, false});
    const std::string foreign = "SorvaneIME-update-5" + uuid.substr(1) + ".pkg";
    writeFile(dir / foreign, "someone else's");
    if (::geteuid() == 0 && ::chown((dir / foreign).c_str(), 65534, 65534) == 0)
        entries.push_back({foreign, longest + 60, false});
    for (const auto& entry : entries) {
        const timespec times[2] = {{now - entry.age, 0}, {now - entry.age, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / entry.name).c_str(), times, AT_SYMLINK_NOFOLLOW), 0)
            << entry.name;
    }

    setFeed(503, "");
    ASSERT_FALSE(check());
    for (const auto& entry : entries)
        EXPECT_EQ(fs::exists(fs::symlink_status(dir / entry.name)), !entry.removed) << entry.name;
}

TEST_F(UpdatePipelineTest, MoveAcrossFilesystemsLandsTheFileWhole) {
    const fs::path from = temporary.path() / "download.pkg";
    const fs::path to = home.path() / "kept.pkg";
    writeFile(from, package);
    ::chmod(from.c_str(), 0600);
    auto crossDevice = [](const char*, const char*) {
        errno = EXDEV;
        return -1;
    };
    ASSERT_TRUE(FileMove::move(from, to, crossDevice));
    EXPECT_EQ(readFile(to), package);
    struct stat st {};
    ASSERT_EQ(::stat(to.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "as private as the download";
    EXPECT_FALSE(fs::exists(from));

    // An existing destination is never written through.
    writeFile(from, "new");
    EXPECT_FALSE(FileMove::move(from, to, crossDevice));
    EXPECT_EQ(readFile(to), package);
    EXPECT_TRUE(fs::exists(from));
}

}  // namespace
}  // namespace sorvane
