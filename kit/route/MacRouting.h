#pragma once
// Where the next rewrite request goes, asked before every request: the user's
// own DeepSeek key, the maker's proxy, or nowhere (with a short text for the
// suggestion panel). Also records a refusal of the own key in billing.json.
// Everything is read afresh on each call, so a route, sign-in or key changed
// in the settings process counts from the next request.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "kit/route/MacBillingState.h"
#include "kit/route/PredictionError.h"
#include "kit/route/PredictionRoute.h"

namespace sorvane::MacRouting {

namespace Copy {
inline constexpr std::string_view keyMissing = "还没填写 DeepSeek Key · 见设置";
inline constexpr std::string_view keyInvalid = "DeepSeek Key 无效 · 见设置";
inline constexpr std::string_view keyBalanceEmpty = "DeepSeek 余额不足 · 去 DeepSeek 充值";
inline constexpr std::string_view signInRequired = "请先登录微信 · 见设置";
// Signed in, on the proxy route, but without a usable device id, or with a
// route file that cannot be read.
inline constexpr std::string_view routeUnavailable = "改写服务暂不可用 · 见设置";
}  // namespace Copy

// The route for the live inputs: billing.json (missing counts as the
// default), the account token, the keychain's own key, the device id, and the
// proxy under AccountAPI::predictionBaseURL(). Never throws.
std::optional<PredictionRoute> resolveRoute();
// The same with the proxy at another base URL, for a test server.
std::optional<PredictionRoute> resolveRoute(std::string_view proxyBaseURL);
// Why resolveRoute() gives none, as a panel text.
std::string noRouteReason();
// Records a refused own key in billing.json (401 invalid, 402 balanceEmpty)
// and logs it; other refusals are only logged.
void rejected(const PredictionError& error);
// An account token is stored (an empty one counts).
bool signedIn();

// The route rule over given inputs. The functions are called only when their
// answer is needed. A key or device id holding CR, LF or NUL gives no route:
// it could not be sent as a header.
std::optional<PredictionRoute> decide(const std::optional<MacBillingState>& billing,
                                      const std::function<bool()>& signedIn,
                                      const std::function<std::optional<std::string>()>& ownKey,
                                      const std::function<std::optional<std::string>()>& deviceID,
                                      std::string_view baseURL);
std::string noRouteReason(const std::optional<MacBillingState>& billing, bool signedIn);

}  // namespace sorvane::MacRouting
