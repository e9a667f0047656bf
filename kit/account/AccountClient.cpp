#include "kit/account/AccountClient.h"

#include "kit/account/AccountAPI.h"
#include "kit/route/HeaderValue.h"

namespace sorvane {

Expected<HttpRequest, AccountFailure> AccountClient::makeRequest(
    std::string_view method, std::string_view path,
    const std::optional<std::map<std::string, std::string>>& json) const {
    HttpRequest request;
    request.url = AccountAPI::appendingPathComponent(baseURL, path);
    request.method = std::string(method);
    // A limit per call, not per silence: a service trickling a byte now and
    // then must not hold the sign-in screen longer.
    request.requestTimeout = requestTimeout;
    request.resourceTimeout = requestTimeout;
    request.redirects = RedirectPolicy::never;

    request.headers = {
        {"X-Device-ID", deviceID},
        {"X-Client-App", std::string(AccountAPI::clientApp)},
        {"X-Client-Platform", std::string(AccountAPI::clientPlatform)},
        {"Accept", "application/json"},
    };
    if (token) request.headers.emplace_back("Authorization", "Bearer " + *token);
    for (const auto& [name, value] : request.headers) {
        if (!HeaderValue::isSafe(value)) {
            return unexpected(AccountFailure(
                OtherError{"InvalidHeaderValue", "header " + name + " holds a control character"}));
        }
    }

    if (json) {
        request.headers.emplace_back("Content-Type", "application/json");
        try {
            // std::map keeps the members sorted; dump() writes no whitespace.
            request.body = nlohmann::json(*json).dump();
        } catch (const nlohmann::json::exception& e) {
            return unexpected(AccountFailure(OtherError::from(e)));
        }
    }
    return request;
}

template <class Payload>
Expected<AccountClient::Reply<Payload>, AccountFailure> AccountClient::send(
    const Expected<HttpRequest, AccountFailure>& request) const {
    if (!request) return unexpected(request.error());
    auto response = session->send(*request, cancellation);
    if (!response) return unexpected(AccountFailure(response.error()));
    auto renewed = response->header("X-Renewed-Token");
    // An empty renewal would replace a working token with nothing usable, and
    // one that cannot be sent back would fail every later call.
    if (renewed && (renewed->empty() || !HeaderValue::isSafe(*renewed))) renewed.reset();
    return decode<Payload>(response->body, response->status, std::move(renewed));
}

Expected<WeChatOAuthConfig, AccountFailure> AccountClient::oauthConfig() const {
    auto reply = send<WeChatOAuthConfig>(makeRequest("GET", "auth/wechat/config"));
    if (!reply) return unexpected(reply.error());
    return reply->required();
}

Expected<LoginResult, AccountFailure> AccountClient::login(const std::string& code) const {
    auto reply = send<LoginResult>(
        makeRequest("POST", "auth/wechat/login", std::map<std::string, std::string>{{"code", code}}));
    if (!reply) return unexpected(reply.error());
    return reply->required();
}

Expected<AccountClient::MeResult, AccountFailure> AccountClient::me() const {
    auto reply = send<MeResponse>(makeRequest("GET", "auth/me"));
    if (!reply) return unexpected(reply.error());
    MeResult result;
    if (reply->data) result.user = reply->data->user();
    result.renewedToken = std::move(reply->renewedToken);
    return result;
}

Expected<void, AccountFailure> AccountClient::logout() const {
    auto reply = send<EmptyData>(makeRequest("POST", "auth/logout"));
    if (!reply) return unexpected(reply.error());
    return {};
}

}  // namespace sorvane
