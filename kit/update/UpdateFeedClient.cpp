#include "kit/update/UpdateFeedClient.h"

#include <algorithm>

namespace sorvane::UpdateFeedClient {

Expected<UpdateFeed, UpdateCheckError> fetch(const HttpRequest& request,
                                             const UpdateSessionConfiguration& configuration) {
    if (!configuration.client) return unexpected(UpdateCheckError::feed("没有可用的网络客户端"));
    HttpRequest feed = request;
    feed.requestTimeout = std::min(request.requestTimeout, configuration.requestTimeout);
    feed.resourceTimeout = configuration.resourceTimeout;
    feed.redirects = RedirectPolicy::never;
    feed.bodyLimit = replyLimit;
    auto response = configuration.client->send(feed);
    if (!response && response.error().code == URLError::dataLengthExceedsMaximum)
        return unexpected(UpdateCheckError::feed("更新源的回复太长"));
    if (!response) return unexpected(UpdateCheckError::feed(response.error()));
    return decode(response->body, response->status);
}

Expected<UpdateFeed, UpdateCheckError> decode(std::string_view body, int status) {
    auto envelope = UpdateFeedEnvelope::decode(body);
    if (status != 200) {
        std::string message = "HTTP " + std::to_string(status);
        if (envelope && envelope->error) message += " " + *envelope->error;
        return unexpected(UpdateCheckError::feed(message));
    }
    if (!envelope) return unexpected(UpdateCheckError::feed("更新源返回的不是预期的 JSON"));
    if (envelope->success != false && envelope->data) return *envelope->data;
    return unexpected(UpdateCheckError::feed(envelope->error.value_or("更新源没有返回 data")));
}

}  // namespace sorvane::UpdateFeedClient
