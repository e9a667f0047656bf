#include "kit/account/AccountRecords.h"

#include <limits>

namespace sorvane {

using nlohmann::json;

namespace json_members {

bool optionalBool(const json& object, const char* key, std::optional<bool>& out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_boolean()) return false;
    out = it->get<bool>();
    return true;
}

bool optionalString(const json& object, const char* key, std::optional<std::string>& out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

bool optionalInt64(const json& object, const char* key, std::optional<std::int64_t>& out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (it->is_number_integer() && !it->is_number_unsigned()) {
        out = it->get<std::int64_t>();
        return true;
    }
    // Large positive literals parse as unsigned; only those that fit are ids.
    if (it->is_number_unsigned()) {
        auto value = it->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
        out = static_cast<std::int64_t>(value);
        return true;
    }
    return false;
}

}  // namespace json_members

namespace {

bool requiredString(const json& object, const char* key, std::string& out) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

}  // namespace

bool decodeJSON(const json&, EmptyData&) {
    return true;
}

bool decodeJSON(const json& j, WeChatOAuthConfig& out) {
    if (!j.is_object()) return false;
    WeChatOAuthConfig config;
    if (!requiredString(j, "appId", config.appId)) return false;
    if (!requiredString(j, "redirectUri", config.redirectUri)) return false;
    out = std::move(config);
    return true;
}

bool decodeJSON(const json& j, AccountUser& out) {
    if (!j.is_object()) return false;
    std::optional<std::int64_t> id;
    if (!json_members::optionalInt64(j, "id", id) || !id) return false;
    AccountUser user;
    user.id = *id;
    if (!json_members::optionalString(j, "nickname", user.nickname)) return false;
    if (!json_members::optionalString(j, "avatarUrl", user.avatarUrl)) return false;
    out = std::move(user);
    return true;
}

bool decodeJSON(const json& j, MeResponse& out) {
    if (!j.is_object()) return false;
    MeResponse me;
    if (!json_members::optionalInt64(j, "id", me.id)) return false;
    if (!json_members::optionalString(j, "nickname", me.nickname)) return false;
    if (!json_members::optionalString(j, "avatarUrl", me.avatarUrl)) return false;
    if (!json_members::optionalBool(j, "tokenExpired", me.tokenExpired)) return false;
    out = std::move(me);
    return true;
}

bool decodeJSON(const json& j, LoginResult& out) {
    if (!j.is_object()) return false;
    LoginResult result;
    if (!requiredString(j, "token", result.token)) return false;
    auto user = j.find("user");
    if (user == j.end() || !decodeJSON(*user, result.user)) return false;
    out = std::move(result);
    return true;
}

json AccountUser::toJSON() const {
    json j = json::object();
    j["id"] = id;
    if (nickname) j["nickname"] = *nickname;
    if (avatarUrl) j["avatarUrl"] = *avatarUrl;
    return j;
}

std::optional<std::string> AccountUser::encoded() const {
    try {
        return toJSON().dump();
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

std::optional<AccountUser> AccountUser::decode(std::string_view body) {
    json j = json::parse(body, nullptr, /*allow_exceptions=*/false);
    AccountUser user;
    if (j.is_discarded() || !decodeJSON(j, user)) return std::nullopt;
    return user;
}

std::optional<AccountUser> MeResponse::user() const {
    if (tokenExpired.value_or(false) || !id) return std::nullopt;
    return AccountUser{*id, nickname, avatarUrl};
}

}  // namespace sorvane
