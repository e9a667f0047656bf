#pragma once
// The maker's account service: its address, fixed at build time, and the
// client identifiers every request to it carries. The host sits under the
// reserved .example domain, so no request of ours can reach a third party.
// Nothing at run time overrides the address; code that talks to a test
// server takes its base URL as an argument instead.
#include <string>
#include <string_view>

namespace sorvane::AccountAPI {

// "https://api.sorvane.example/brindor/api".
const std::string& productionBaseURL();
// Always productionBaseURL().
const std::string& baseURL();
// productionBaseURL() + "/sorvane/v1": the chat-completion proxy.
const std::string& predictionBaseURL();

// Value of the "X-Client-App" header.
inline constexpr std::string_view clientApp = "sorvane";
// Value of the "X-Client-Platform" header.
inline constexpr std::string_view clientPlatform = "macos";

// The URL with a path appended below its path, joined by exactly one "/"
// ("https://h/brindor/api" + "auth/me" = "https://h/brindor/api/auth/me").
std::string appendingPathComponent(std::string_view url, std::string_view component);

}  // namespace sorvane::AccountAPI
