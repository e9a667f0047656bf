#include "kit/update/UpdatePipeline.h"

#include <cctype>

#include "kit/account/AccountAPI.h"
#include "kit/package/PackageDownload.h"
#include "kit/package/PackageVerifier.h"
#include "kit/update/UpdateFeedClient.h"
#include "kit/update/UpdatePaths.h"
#include "kit/update/UpdateVersion.h"
#include "platform/SorvaneLog.h"
#include "platform/Text.h"
#include "platform/Uuid.h"
#include "platform/files/FileMove.h"
#include "platform/files/Files.h"

namespace sorvane::UpdatePipeline {
namespace fs = std::filesystem;
namespace {

using std::chrono::milliseconds;

constexpr milliseconds feedTimeout{20'000};
constexpr milliseconds packageTimeout{60'000};

// "SorvaneIME-update-<UUID>.pkg": the name of a download in the temporary
// folder.
constexpr std::string_view downloadPrefix = "SorvaneIME-update-";
constexpr std::string_view downloadSuffix = ".pkg";

bool isDownloadName(std::string_view name) {
    static constexpr std::size_t uuidLength = 36;
    if (name.size() != downloadPrefix.size() + uuidLength + downloadSuffix.size() ||
        !name.starts_with(downloadPrefix) || !name.ends_with(downloadSuffix))
        return false;
    const std::string_view uuid = name.substr(downloadPrefix.size(), uuidLength);
    for (std::size_t i = 0; i < uuid.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? uuid[i] != '-' : !std::isxdigit(static_cast<unsigned char>(uuid[i]))) return false;
    }
    return true;
}

// Only a file this run created is ever deleted: the name is fresh, but
// whatever else sits in the shared temporary folder is not ours.
struct TemporaryDownload {
    const PackageDownload& transfer;
    fs::path path;
    ~TemporaryDownload() {
        std::error_code ignored;
        if (transfer.createdDestination()) fs::remove(path, ignored);
    }
};

std::string percentEncoded(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// An absolute address with the https scheme, in any letter case, and a host.
bool isHttpsAddress(std::string_view url) {
    const auto separator = url.find("://");
    if (separator == std::string_view::npos || separator != 5) return false;
    if (Text::asciiLowercased(url.substr(0, separator)) != "https") return false;
    const auto rest = url.substr(separator + 3);
    if (rest.empty() || rest.front() == '/') return false;
    for (unsigned char c : rest) {
        if (c <= 0x20 || c == 0x7F) return false;
    }
    return true;
}

UpdateState::Date today(const UpdateEnvironment& environment) {
    return std::chrono::floor<std::chrono::seconds>(environment.now ? environment.now()
                                                                    : std::chrono::system_clock::now());
}

void deleteQuietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

void forgetPackage(UpdateState& state) {
    state.downloadedPath.reset();
    state.verifiedAt.reset();
}

UpdateSessionConfiguration configuration(const UpdateEnvironment& environment) {
    return environment.makeConfiguration ? environment.makeConfiguration() : UpdateSessionConfiguration{};
}

Expected<UpdateCheckResult, UpdateCheckError> download(const UpdateEnvironment& environment,
                                                       UpdateState& state, const UpdateRelease& release,
                                                       const UpdateEventHandler& send) {
    if (!isHttpsAddress(release.url)) return unexpected(UpdateCheckError::insecureURL(release.url));
    if (release.size <= 0 || release.sha256.size() != 64)
        return unexpected(UpdateCheckError::feed("更新源的 size / sha256 不合法"));

    const fs::path temporary = environment.temporaryDirectory /
                               (std::string(downloadPrefix) + Uuid::random() + std::string(downloadSuffix));
    HttpRequest request;
    request.url = release.url;
    request.headers = {{"X-Client-App", std::string(AccountAPI::clientApp)}};
    request.requestTimeout = packageTimeout;
    request.redirects = RedirectPolicy::httpsOnly;

    send(UpdateEvent::downloading(0, release.size));
    PackageDownload transfer(release.size, temporary, [&](std::int64_t received, std::int64_t total) {
        send(UpdateEvent::downloading(received, total));
    });
    const TemporaryDownload cleanup{transfer, temporary};
    if (auto fetched = transfer.run(request, configuration(environment)); !fetched)
        return unexpected(fetched.error());

    send(UpdateEvent::verifying());
    auto check = verify(temporary, release, environment);
    if (!check) {
        SorvaneLog::log("[Sorvane] update: " + release.version + " rejected: " + check.error().description());
        return unexpected(UpdateCheckError::verificationFailed(check.error()));
    }
    send(UpdateEvent::verified(*check));

    const fs::path kept = environment.updatesDirectory / UpdatePaths::packageFileName(release.version);
    if (auto made = Files::createDirectories(environment.updatesDirectory); !made)
        return unexpected(UpdateCheckError::storage("保存安装包失败：" + made.error().description()));
    deleteQuietly(kept);
    if (auto moved = FileMove::move(temporary, kept); !moved)
        return unexpected(UpdateCheckError::storage("保存安装包失败：" + moved.error().description()));
    removeDownloads(environment.updatesDirectory, kept);

    state.downloadedPath = kept.string();
    state.verifiedAt = today(environment);
    environment.stateFile.save(state);
    SorvaneLog::log("[Sorvane] update: " + release.version + " downloaded and verified → " + kept.string());
    return UpdateCheckResult::ready(release, kept.string(), true);
}

}  // namespace

HttpRequest feedRequest(const UpdateEnvironment& environment) {
    HttpRequest request;
    request.url = AccountAPI::appendingPathComponent(environment.baseURL, "sorvane/update") +
                  "?version=" + percentEncoded(environment.currentVersion) +
                  "&os=" + percentEncoded(environment.osVersion) +
                  "&arch=" + percentEncoded(environment.arch);
    request.headers = {{"X-Client-App", std::string(AccountAPI::clientApp)}, {"Accept", "application/json"}};
    request.requestTimeout = feedTimeout;
    return request;
}

Expected<UpdateCheckResult, UpdateCheckError> run(const UpdateEnvironment& environment,
                                                  const UpdateEventHandler& events) {
    auto send = [&](const UpdateEvent& event) {
        if (events) events(event);
    };
    // A process killed during a download (or while verifying it) cannot
    // delete its file; no transfer runs longer than this.
    Files::removeStaleFiles(environment.temporaryDirectory, isDownloadName,
                            UpdateSessionConfiguration::longestTransfer);
    const HttpRequest request = feedRequest(environment);
    send(UpdateEvent::requesting(request.url));
    auto feed = UpdateFeedClient::fetch(request, configuration(environment));
    if (!feed) return unexpected(feed.error());
    send(UpdateEvent::feedAccepted(*feed));

    UpdateState state = environment.stateFile.load();
    state.checkedAt = today(environment);
    const auto remembered = state.downloadedPath;
    state.adopt(feed->latest);
    if (remembered && !state.downloadedPath && isKeptPackage(*remembered, environment.updatesDirectory))
        deleteQuietly(*remembered);
    if (state.downloadedPath && !isKeptPackage(*state.downloadedPath, environment.updatesDirectory))
        forgetPackage(state);

    const bool newer =
        feed->latest && feed->updateAvailable &&
        UpdateVersion::compare(feed->latest->version, environment.currentVersion) == VersionOrder::descending;
    if (!newer) {
        forgetPackage(state);
        environment.stateFile.save(state);
        removeDownloads(environment.updatesDirectory, std::nullopt);
        return UpdateCheckResult::upToDate(feed->latest);
    }
    environment.stateFile.save(state);
    const UpdateRelease& release = *feed->latest;

    if (state.downloadedPath) {
        const std::string path = *state.downloadedPath;
        send(UpdateEvent::reusing(path));
        send(UpdateEvent::verifying());
        auto check = verify(path, release, environment);
        if (check) {
            send(UpdateEvent::verified(*check));
            UpdateState reloaded = environment.stateFile.load();
            if (reloaded.downloadedPath == path) reloaded.verifiedAt = today(environment);
            environment.stateFile.save(reloaded);
            return UpdateCheckResult::ready(release, path, false);
        }
        SorvaneLog::log("[Sorvane] update: kept package failed verification, downloading again: " +
                        check.error().description());
        deleteQuietly(path);
        forgetPackage(state);
        environment.stateFile.save(state);
    }
    return download(environment, state, release, send);
}

Expected<PackageVerification, UpdateVerificationError> verify(const fs::path& package,
                                                              const UpdateRelease& release,
                                                              const UpdateEnvironment& environment) {
    if (!environment.signature || !environment.packageVersion)
        return unexpected(UpdateVerificationError::signatureRejected("no package checker"));
    return PackageVerifier::verify(package, release, environment.currentVersion, *environment.signature,
                                   *environment.packageVersion);
}

Expected<UpdateState::Ready, UpdateCheckError> verifyReadyPackage(const UpdateEnvironment& environment) {
    const auto ready = environment.stateFile.load().readyRelease(
        environment.currentVersion,
        [&](const std::string& path) { return isKeptPackage(path, environment.updatesDirectory); });
    if (!ready) return unexpected(UpdateCheckError::storage("没有已下载的更新，请重新检查更新"));

    auto check = verify(ready->path, ready->release, environment);
    if (check) {
        UpdateState state = environment.stateFile.load();
        state.verifiedAt = today(environment);
        environment.stateFile.save(state);
        return *ready;
    }
    SorvaneLog::log("[Sorvane] update: " + ready->release.version +
                    " failed the pre-install check: " + check.error().description());
    deleteQuietly(ready->path);
    UpdateState state = environment.stateFile.load();
    forgetPackage(state);
    environment.stateFile.save(state);
    return unexpected(UpdateCheckError::verificationFailed(check.error()));
}

void removeDownloads(const fs::path& folder, const std::optional<fs::path>& keep) {
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error) return;
    const auto kept = keep ? std::optional<fs::path>(keep->lexically_normal()) : std::nullopt;
    for (const auto& entry : entries) {
        if (kept && entry.path().lexically_normal() == *kept) continue;
        std::error_code ignored;
        // remove_all deletes a link itself, never what it points at.
        fs::remove_all(entry.path(), ignored);
    }
}

bool isKeptPackage(const std::string& pathText, const fs::path& updatesDirectory) {
    fs::path path(pathText);
    if (!path.is_absolute()) return false;
    path = path.lexically_normal();
    if (!path.has_filename()) return false;
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(path, error)) || error) return false;
    return fs::equivalent(path.parent_path(), updatesDirectory, error) && !error;
}

}  // namespace sorvane::UpdatePipeline
