#pragma once
// The update feed's records: one announced release, the feed's payload and
// the whole reply. The reply is hostile input: the required texts are
// decoded strictly (a wrongly typed one fails every record around it),
// `size` may come as a number or as a decimal text, and the display-only
// fields are lenient. Plain values, safe to copy across threads.
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Expected.h"

namespace sorvane {

// Why a reply or a stored record did not decode.
struct UpdateDecodingError {
    enum class Kind { notJSON, keyMissing, typeMismatch, dataCorrupted };
    Kind kind = Kind::notJSON;
    std::string key;  // the key at fault, when there is one
    std::string message;

    std::string description() const;
    bool operator==(const UpdateDecodingError&) const = default;
};

struct UpdateRelease {
    std::string version;
    std::string url;     // judged by the pipeline, not here
    std::string sha256;  // compared case-insensitively by its users
    std::int64_t size = 0;
    std::optional<std::string> minOS;
    std::optional<std::string> notes;
    std::optional<std::string> publishedAt;  // kept as received
    std::optional<bool> mandatory;

    // Notes past this many bytes are cut at a character boundary. The panel
    // shows eight lines and the toast one; uncut, a reply near its own bound
    // would make update.json too large to save, and its package would never
    // be offered.
    static constexpr std::size_t notesLimit = 16 * 1024;
    // Every other text past this many bytes is refused (optional ones are
    // dropped), so that what is accepted always fits the state file.
    static constexpr std::size_t textLimit = 8 * 1024;

    static Expected<UpdateRelease, UpdateDecodingError> fromJSON(const nlohmann::json& value);
    // Unset optional fields have no key at all.
    nlohmann::json toJSON() const;

    bool operator==(const UpdateRelease&) const = default;
};

struct UpdateFeed {
    bool updateAvailable = false;
    std::optional<UpdateRelease> latest;

    static Expected<UpdateFeed, UpdateDecodingError> fromJSON(const nlohmann::json& value);
    bool operator==(const UpdateFeed&) const = default;
};

// The whole reply body; judging it (a failed `success`, a missing `data`)
// is the feed client's business.
struct UpdateFeedEnvelope {
    std::optional<bool> success;
    std::optional<UpdateFeed> data;
    std::optional<std::string> error;

    static Expected<UpdateFeedEnvelope, UpdateDecodingError> decode(std::string_view body);
    static Expected<UpdateFeedEnvelope, UpdateDecodingError> fromJSON(const nlohmann::json& value);
};

}  // namespace sorvane
