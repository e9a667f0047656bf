#include "kit/route/KeyCheck.h"

#include <optional>

namespace sorvane {
namespace {

// The transport's sentence goes inside the page's brackets, without its full stop.
std::string asClause(std::string sentence) {
    constexpr std::string_view fullStop = "。";
    if (sentence.ends_with(fullStop)) sentence.resize(sentence.size() - fullStop.size());
    return sentence;
}

}  // namespace

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
            return KeyCheck::unreachable(asClause(result.error().description));
    }
    if (*status < 100 || *status > 599) return KeyCheck::unreachable("无法识别的响应");
    if (*status >= 200 && *status <= 299) return KeyCheck::ok();
    if (*status == 401) return KeyCheck::invalid();
    return KeyCheck::unreachable("DeepSeek 返回 " + std::to_string(*status));
}

}  // namespace sorvane
