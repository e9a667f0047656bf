#include "kit/KeyCheck.h"

#include <optional>

namespace sorvane {

KeyCheck DeepSeekKeyCheck::verify(const std::string& key, HttpCancellation* stop) const {
    HttpRequest request;
    request.method = "GET";
    request.url = baseURL + "/user/balance";
    request.headers = {{"Authorization", "Bearer " + key}, {"Accept", "application/json"}};
    request.requestTimeout = timeout;
    request.resourceTimeout = timeout;

    // Only the status matters: the transfer ends as soon as the head is in,
    // so no body, however large, is ever read.
    HttpCancellation own;
    HttpCancellation& cancellation = stop ? *stop : own;
    std::optional<int> status;
    HttpClient& http = client ? *client : CurlHttpClient::shared();
    const auto result = http.stream(
        request,
        [&](const HttpResponse& head) {
            status = head.status;
            cancellation.cancel();
        },
        [](std::string_view) {}, &cancellation);
    if (!status) {
        if (result)
            status = result->status;
        else
            return KeyCheck::unreachable("网络不可用");
    }
    if (*status < 100 || *status > 599) return KeyCheck::unreachable("无法识别的响应");
    if (*status >= 200 && *status <= 299) return KeyCheck::ok();
    if (*status == 401) return KeyCheck::invalid();
    return KeyCheck::unreachable("DeepSeek 返回 " + std::to_string(*status));
}

}  // namespace sorvane
