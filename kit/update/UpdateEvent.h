#pragma once
// What an update check reports while it runs, in the order it happens.
// Plain values, handed to the caller's events function from whichever
// thread the check is on.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "kit/package/PackageVerification.h"
#include "kit/update/UpdateRelease.h"

namespace sorvane {

struct UpdateEvent {
    enum class Kind { requesting, feed, reusing, downloading, verified, verifying };
    Kind kind = Kind::requesting;
    std::string text;                          // requesting: the feed address; reusing: the package path
    std::optional<UpdateFeed> feed;            // feed
    std::int64_t received = 0;                 // downloading
    std::int64_t total = 0;                    // downloading: always the feed's declared size
    std::optional<PackageVerification> check;  // verified

    static UpdateEvent requesting(std::string url) {
        return {Kind::requesting, std::move(url), {}, 0, 0, {}};
    }
    static UpdateEvent feedAccepted(UpdateFeed feed) { return {Kind::feed, {}, std::move(feed), 0, 0, {}}; }
    static UpdateEvent reusing(std::string path) { return {Kind::reusing, std::move(path), {}, 0, 0, {}}; }
    static UpdateEvent downloading(std::int64_t received, std::int64_t total) {
        return {Kind::downloading, {}, {}, received, total, {}};
    }
    static UpdateEvent verified(PackageVerification check) {
        return {Kind::verified, {}, {}, 0, 0, std::move(check)};
    }
    static UpdateEvent verifying() { return {Kind::verifying, {}, {}, 0, 0, {}}; }

    bool operator==(const UpdateEvent&) const = default;
};

// Must be safe to call from any thread: progress comes from the transfer.
using UpdateEventHandler = std::function<void(const UpdateEvent&)>;

}  // namespace sorvane
