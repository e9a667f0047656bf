#pragma once
// The update feed's request and the reading of its reply. The reply is
// hostile input: its body is read up to a bound, and anything but an
// envelope with `data` is a feed failure. Blocking; any background thread.
#include <string_view>

#include "kit/update/UpdateCheckError.h"
#include "kit/update/UpdateEnvironment.h"
#include "kit/update/UpdateRelease.h"
#include "platform/Expected.h"
#include "platform/HttpClient.h"

namespace sorvane::UpdateFeedClient {

// Far above a real reply (a few hundred bytes).
inline constexpr std::size_t replyLimit = 1024 * 1024;

Expected<UpdateFeed, UpdateCheckError> fetch(const HttpRequest& request,
                                             const UpdateSessionConfiguration& configuration);
Expected<UpdateFeed, UpdateCheckError> decode(std::string_view body, int status);

}  // namespace sorvane::UpdateFeedClient
