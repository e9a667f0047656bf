#include "kit/update/UpdateRelease.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "platform/Text.h"
#include "platform/files/JsonDocument.h"

namespace sorvane {
namespace {

using json = nlohmann::json;
using Kind = UpdateDecodingError::Kind;

Unexpected<UpdateDecodingError> failure(Kind kind, std::string key, std::string message) {
    return unexpected(UpdateDecodingError{kind, std::move(key), std::move(message)});
}

Unexpected<UpdateDecodingError> typeMismatch(const std::string& key, const char* expected) {
    return failure(Kind::typeMismatch, key, "expected " + std::string(expected) + " at \"" + key + "\"");
}

// Null counts as absent for every optional key.
const json* present(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

Expected<std::string, UpdateDecodingError> requiredText(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end())
        return failure(Kind::keyMissing, key, "no value for \"" + std::string(key) + "\"");
    if (!it->is_string()) return typeMismatch(key, "text");
    if (it->get_ref<const std::string&>().size() > UpdateRelease::textLimit)
        return failure(Kind::dataCorrupted, key, "\"" + std::string(key) + "\" is too long");
    return it->get<std::string>();
}

// Absent when it is not text, or when it is text too long to keep.
std::optional<std::string> lenientText(const json& object, const char* key) {
    const json* value = present(object, key);
    if (!value || !value->is_string()) return std::nullopt;
    if (value->get_ref<const std::string&>().size() > UpdateRelease::textLimit) return std::nullopt;
    return value->get<std::string>();
}

// A JSON number that is a whole value within 64 bits (123 and 123.0 alike).
std::optional<std::int64_t> integral(const json& value) {
    if (value.is_number_unsigned()) {
        if (value.get<std::uint64_t>() > std::uint64_t(INT64_MAX)) return std::nullopt;
        return static_cast<std::int64_t>(value.get<std::uint64_t>());
    }
    if (value.is_number_integer()) return value.get<std::int64_t>();
    if (value.is_number_float()) {
        const double d = value.get<double>();
        // 2^63 itself is out of range; every double below it converts exactly.
        if (d >= -9223372036854775808.0 && d < 9223372036854775808.0 &&
            d == static_cast<double>(static_cast<std::int64_t>(d)))
            return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

// A boolean, else an integer (non-zero is true), else unset.
std::optional<bool> lenientFlag(const json& object, const char* key) {
    const json* value = present(object, key);
    if (!value) return std::nullopt;
    if (value->is_boolean()) return value->get<bool>();
    if (auto number = integral(*value)) return *number != 0;
    return std::nullopt;
}

// An optional sign and one or more ASCII digits, nothing else, in range.
std::optional<std::int64_t> decimalInteger(std::string_view text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    // Parse with the sign so that the most negative value fits.
    const std::string signedText = std::string(negative ? "-" : "").append(digits);
    std::int64_t value = 0;
    const auto [end, error] =
        std::from_chars(signedText.data(), signedText.data() + signedText.size(), value);
    if (error != std::errc() || end != signedText.data() + signedText.size()) return std::nullopt;
    return value;
}

Expected<std::int64_t, UpdateDecodingError> releaseSize(const json& object) {
    const auto it = object.find("size");
    if (it == object.end()) return failure(Kind::keyMissing, "size", "no value for \"size\"");
    if (auto number = integral(*it)) return *number;
    if (it->is_string()) {
        if (auto value = decimalInteger(it->get_ref<const std::string&>())) return *value;
    }
    return failure(Kind::dataCorrupted, "size", "size is not an integer");
}

}  // namespace

std::string UpdateDecodingError::description() const {
    return message;
}

Expected<UpdateRelease, UpdateDecodingError> UpdateRelease::fromJSON(const json& value) {
    if (!value.is_object()) return typeMismatch("latest", "an object");
    UpdateRelease release;
    auto version = requiredText(value, "version");
    if (!version) return unexpected(version.error());
    auto url = requiredText(value, "url");
    if (!url) return unexpected(url.error());
    auto sha256 = requiredText(value, "sha256");
    if (!sha256) return unexpected(sha256.error());
    auto size = releaseSize(value);
    if (!size) return unexpected(size.error());
    release.version = std::move(*version);
    release.url = std::move(*url);
    release.sha256 = std::move(*sha256);
    release.size = *size;
    release.minOS = lenientText(value, "minOS");
    if (const json* notes = present(value, "notes"); notes && notes->is_string())
        release.notes = notes->get<std::string>();
    if (release.notes && release.notes->size() > notesLimit)
        release.notes->resize(Text::codePointBoundaryAtOrBefore(*release.notes, notesLimit));
    release.publishedAt = lenientText(value, "publishedAt");
    release.mandatory = lenientFlag(value, "mandatory");
    return release;
}

json UpdateRelease::toJSON() const {
    json object = {{"version", version}, {"url", url}, {"sha256", sha256}, {"size", size}};
    if (minOS) object["minOS"] = *minOS;
    if (notes) object["notes"] = *notes;
    if (publishedAt) object["publishedAt"] = *publishedAt;
    if (mandatory) object["mandatory"] = *mandatory;
    return object;
}

Expected<UpdateFeed, UpdateDecodingError> UpdateFeed::fromJSON(const json& value) {
    if (!value.is_object()) return typeMismatch("data", "an object");
    UpdateFeed feed;
    const auto available = value.find("updateAvailable");
    if (available == value.end())
        return failure(Kind::keyMissing, "updateAvailable", "no value for \"updateAvailable\"");
    if (!available->is_boolean()) return typeMismatch("updateAvailable", "a boolean");
    feed.updateAvailable = available->get<bool>();
    if (const json* latest = present(value, "latest")) {
        auto release = UpdateRelease::fromJSON(*latest);
        if (!release) return unexpected(release.error());
        feed.latest = std::move(*release);
    }
    return feed;
}

Expected<UpdateFeedEnvelope, UpdateDecodingError> UpdateFeedEnvelope::fromJSON(const json& value) {
    if (!value.is_object()) return typeMismatch("", "an object");
    UpdateFeedEnvelope envelope;
    if (const json* success = present(value, "success")) {
        if (!success->is_boolean()) return typeMismatch("success", "a boolean");
        envelope.success = success->get<bool>();
    }
    if (const json* data = present(value, "data")) {
        auto feed = UpdateFeed::fromJSON(*data);
        if (!feed) return unexpected(feed.error());
        envelope.data = std::move(*feed);
    }
    if (const json* error = present(value, "error")) {
        if (!error->is_string()) return typeMismatch("error", "text");
        envelope.error = error->get<std::string>();
    }
    return envelope;
}

Expected<UpdateFeedEnvelope, UpdateDecodingError> UpdateFeedEnvelope::decode(std::string_view body) {
    const auto value = JsonDocument::parse(body);
    if (!value) return failure(Kind::notJSON, "", "the reply is not JSON");
    return fromJSON(*value);
}

}  // namespace sorvane
