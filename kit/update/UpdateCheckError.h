#pragma once
// How an update check ends: a result when it did not fail, else one of five
// failures whose description() is the text users and logs see. Plain values.
#include <optional>
#include <string>

#include "kit/package/UpdateVerificationError.h"
#include "kit/update/UpdateRelease.h"
#include "platform/HttpClient.h"

namespace sorvane {

struct UpdateCheckError {
    enum class Kind { feed, insecureURL, download, verification, storage };
    Kind kind = Kind::feed;
    // feed, download, storage: the message; insecureURL: the package address.
    std::string message;
    UpdateVerificationError verification;  // verification only
    // The transport's own technical text behind a feed or download failure:
    // for logs, never shown.
    std::string detail;

    static UpdateCheckError feed(std::string message) { return {Kind::feed, std::move(message), {}, {}}; }
    static UpdateCheckError feed(const URLError& error) {
        return {Kind::feed, error.description, {}, error.detail};
    }
    static UpdateCheckError insecureURL(std::string url) {
        return {Kind::insecureURL, std::move(url), {}, {}};
    }
    static UpdateCheckError download(std::string message) {
        return {Kind::download, std::move(message), {}, {}};
    }
    static UpdateCheckError download(const URLError& error) {
        return {Kind::download, error.description, {}, error.detail};
    }
    static UpdateCheckError verificationFailed(UpdateVerificationError error) {
        return {Kind::verification, {}, std::move(error), {}};
    }
    static UpdateCheckError storage(std::string message) {
        return {Kind::storage, std::move(message), {}, {}};
    }

    std::string description() const;
    // description() with the detail after it in brackets, for log lines.
    std::string logText() const;
    bool operator==(const UpdateCheckError&) const = default;
};

struct UpdateCheckResult {
    enum class Kind { upToDate, ready };
    Kind kind = Kind::upToDate;
    // upToDate: the feed's latest release, when it named one; ready: the
    // release whose verified package lies at `path`.
    std::optional<UpdateRelease> release;
    std::string path;
    bool downloaded = false;  // false when a kept package was reused

    static UpdateCheckResult upToDate(std::optional<UpdateRelease> latest) {
        return {Kind::upToDate, std::move(latest), {}, false};
    }
    static UpdateCheckResult ready(UpdateRelease release, std::string path, bool downloaded) {
        return {Kind::ready, std::move(release), std::move(path), downloaded};
    }
    bool operator==(const UpdateCheckResult&) const = default;
};

}  // namespace sorvane
