#pragma once
// Turns a refused reply of the chat-completion service (or of the account
// proxy in front of it) into a PredictionError.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/route/PredictionError.h"
#include "kit/route/PredictionRoute.h"

namespace sorvane::HttpRefusal {

// The DeepSeek key as the key store resolves it (the environment's
// DEEPSEEK_API_KEY first, then the keychain), or none.
using DeepSeekKeyResolver = std::function<std::optional<std::string>()>;

// Longest reply body kept in an error, in Characters.
inline constexpr std::size_t maximumBodyCharacters = 300;
// The proxy's codes in its JSON error body {"code": "..."}.
inline constexpr std::string_view dailyQuotaCode = "daily_quota";
inline constexpr std::string_view loginRequiredCode = "login_required";

// The string member "code" of a JSON object body; none for anything else.
std::optional<std::string> proxyErrorCode(std::string_view body);

// The body with every key hidden, then cut to maximumBodyCharacters. Hiding
// first means a key that straddles the cut cannot leave half of itself behind.
std::string shortenedBody(std::string_view body, const std::vector<std::string>& keys);

// The error for a non-200 status. Besides the resolved key, the key that the
// route actually sent is hidden too: the two differ when the environment
// overrides the keychain.
PredictionError error(int status, std::string_view body, const PredictionRoute& route,
                      const DeepSeekKeyResolver& resolveKey);

}  // namespace sorvane::HttpRefusal
