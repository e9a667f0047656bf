#pragma once
// Asking DeepSeek whether a key works: GET "/user/balance" with the key as
// bearer token. The call blocks its thread for up to the time-out; the
// settings window runs it off the main thread (MacBillingStore does).
#include <chrono>
#include <string>

#include "kit/route/PredictionRoute.h"
#include "platform/HttpClient.h"

namespace sorvane {

struct KeyCheck {
    enum class Kind { unreachable, ok, invalid };
    Kind kind = Kind::unreachable;
    // Why DeepSeek could not be asked; shown to the user. unreachable only.
    std::string reason;

    static KeyCheck ok() { return {Kind::ok, {}}; }
    static KeyCheck invalid() { return {Kind::invalid, {}}; }
    static KeyCheck unreachable(std::string reason) { return {Kind::unreachable, std::move(reason)}; }
    bool operator==(const KeyCheck&) const = default;
};

struct DeepSeekKeyCheck {
    HttpClient* client = nullptr;           // none: CurlHttpClient::shared()
    std::string baseURL = deepSeekBaseURL;  // the prediction service's host
    std::chrono::milliseconds timeout{10'000};

    // 2xx ok, 401 invalid; any other status "DeepSeek 返回 <status>", no
    // reply the transport's text for its failure, a reply without an HTTP
    // status "无法识别的响应".
    // Another thread may end the check early with `stop`: it then comes back
    // unreachable.
    KeyCheck verify(const std::string& key, HttpCancellation* stop = nullptr) const;
};

}  // namespace sorvane
