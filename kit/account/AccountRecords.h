#pragma once
// Value types of the account service's replies (WeChat sign-in, current user)
// and their JSON coding. Member names are the JSON member names exactly;
// members not listed are ignored. Decoding is strict about types: a present
// member of the wrong JSON type fails the whole value, absent or null gives
// nothing for optional members.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace sorvane {

// Payload of replies whose content is not used; accepts any JSON value.
struct EmptyData {
    bool operator==(const EmptyData&) const = default;
};

struct WeChatOAuthConfig {
    std::string appId;
    std::string redirectUri;
    bool operator==(const WeChatOAuthConfig&) const = default;
};

struct AccountUser {
    std::int64_t id = 0;
    std::optional<std::string> nickname;
    std::optional<std::string> avatarUrl;
    bool operator==(const AccountUser&) const = default;

    // Compact JSON: "id" always, the optional members only when present.
    // Also the form of the cached user.
    nlohmann::json toJSON() const;
    // Nothing when a text is not valid UTF-8.
    std::optional<std::string> encoded() const;
    static std::optional<AccountUser> decode(std::string_view body);
};

struct MeResponse {
    std::optional<std::int64_t> id;
    std::optional<std::string> nickname;
    std::optional<std::string> avatarUrl;
    std::optional<bool> tokenExpired;

    // Nothing when the token expired or no id came; otherwise the user.
    std::optional<AccountUser> user() const;
};

struct LoginResult {
    std::string token;
    AccountUser user;
};

// One decoder per payload type: nothing when the value has the wrong shape.
bool decodeJSON(const nlohmann::json& j, EmptyData& out);
bool decodeJSON(const nlohmann::json& j, WeChatOAuthConfig& out);
bool decodeJSON(const nlohmann::json& j, AccountUser& out);
bool decodeJSON(const nlohmann::json& j, MeResponse& out);
bool decodeJSON(const nlohmann::json& j, LoginResult& out);

namespace json_members {
// Helpers for optional members: absent or null leaves `out` empty and
// succeeds; a value of another JSON type fails.
bool optionalBool(const nlohmann::json& object, const char* key, std::optional<bool>& out);
bool optionalString(const nlohmann::json& object, const char* key, std::optional<std::string>& out);
bool optionalInt64(const nlohmann::json& object, const char* key, std::optional<std::int64_t>& out);
}  // namespace json_members

// The service's reply envelope around every payload.
template <class Payload>
struct APIEnvelope {
    std::optional<bool> success;
    std::optional<Payload> data;
    std::optional<std::string> error;

    // Nothing when the body is not JSON, not an object, a member has the
    // wrong type, or "data" does not decode as the payload.
    static std::optional<APIEnvelope> decode(std::string_view body) {
        nlohmann::json j = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
        if (!j.is_object()) return std::nullopt;
        APIEnvelope envelope;
        if (!json_members::optionalBool(j, "success", envelope.success)) return std::nullopt;
        if (!json_members::optionalString(j, "error", envelope.error)) return std::nullopt;
        if (auto it = j.find("data"); it != j.end() && !it->is_null()) {
            Payload payload{};
            if (!decodeJSON(*it, payload)) return std::nullopt;
            envelope.data = std::move(payload);
        }
        return envelope;
    }
};

}  // namespace sorvane
