#pragma once
// The HTTPS/JSON client of the account service. A plain value: the caller
// builds a fresh one for each call from the stored device id and token. Every
// call blocks its thread (at most the 15 s request time-out, unless another
// thread cancels it through `cancellation`), so callers on the main thread run
// it on a worker.
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "kit/account/AccountError.h"
#include "kit/account/AccountRecords.h"
#include "platform/Expected.h"
#include "platform/HttpClient.h"

namespace sorvane {

class AccountClient {
public:
    static constexpr std::chrono::milliseconds requestTimeout{15'000};

    std::string deviceID;
    std::optional<std::string> token;
    std::string baseURL;
    HttpClient* session = &CurlHttpClient::shared();
    // Optional: lets another thread end the call at once (URLError -999).
    HttpCancellation* cancellation = nullptr;

    template <class Payload>
    struct Reply {
        std::optional<Payload> data;
        std::optional<std::string> renewedToken;

        Expected<Payload, AccountFailure> required() const {
            if (!data) return unexpected(AccountFailure(AccountError::invalidResponse()));
            return *data;
        }
    };

    struct MeResult {
        std::optional<AccountUser> user;
        std::optional<std::string> renewedToken;
    };

    // Base URL plus path, the client headers, the bearer token when one is
    // held, and for a body "Content-Type" with the object as compact JSON with
    // sorted keys. Fails when the body cannot be serialised or a header value
    // would break the request (CR, LF or NUL).
    Expected<HttpRequest, AccountFailure> makeRequest(
        std::string_view method, std::string_view path,
        const std::optional<std::map<std::string, std::string>>& json = std::nullopt) const;

    // Unwraps the service's envelope: non-2xx is `http` (with the envelope's
    // error when there is one), 2xx without an envelope `invalidResponse`,
    // an envelope without success `server`.
    template <class Payload>
    static Expected<Reply<Payload>, AccountFailure> decode(std::string_view body, int status,
                                                           std::optional<std::string> renewedToken) {
        auto envelope = APIEnvelope<Payload>::decode(body);
        if (status < 200 || status > 299) {
            std::optional<std::string> message;
            if (envelope) message = envelope->error;
            return unexpected(AccountFailure(AccountError::http(status, std::move(message))));
        }
        if (!envelope) return unexpected(AccountFailure(AccountError::invalidResponse()));
        if (envelope->success.value_or(false)) {
            return Reply<Payload>{std::move(envelope->data), std::move(renewedToken)};
        }
        return unexpected(AccountFailure(AccountError::server(envelope->error.value_or("请求失败"))));
    }

    Expected<WeChatOAuthConfig, AccountFailure> oauthConfig() const;
    Expected<LoginResult, AccountFailure> login(const std::string& code) const;
    Expected<MeResult, AccountFailure> me() const;
    Expected<void, AccountFailure> logout() const;

private:
    template <class Payload>
    Expected<Reply<Payload>, AccountFailure> send(const Expected<HttpRequest, AccountFailure>& request) const;
};

}  // namespace sorvane
