#pragma once
// The pieces of the proxy route: its request headers and the device id,
// cached for the life of the process once one has been found.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace sorvane::SubscriptionRouting {

namespace Copy {
inline constexpr std::string_view ownKeyInvalid = "DeepSeek Key 无效 · 见设置";
inline constexpr std::string_view ownKeyBalanceEmpty = "DeepSeek 余额不足 · 去 DeepSeek 充值";
inline constexpr std::string_view signInRequired = "请先登录微信 · 见设置";
}  // namespace Copy

// Exactly "X-Device-ID", "X-Client-App" and "X-Client-Platform": the proxy
// knows the caller by its device id alone and is never sent the account token.
std::map<std::string, std::string> proxyHeaders(std::string_view deviceID);

// The stored device id, read from the live credentials until one is found and
// then kept until the process ends. Never creates one (only the settings
// process does). Thread-safe.
std::optional<std::string> memoizedDeviceID();

// Forgets the memo, as a process starting afresh would have none: for tests
// that stand for several processes in one.
void forgetMemoizedDeviceID();

}  // namespace sorvane::SubscriptionRouting
