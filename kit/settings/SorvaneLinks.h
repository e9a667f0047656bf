#pragma once
// The maker's pages and mailbox that the settings window opens: the user
// agreement, the privacy policy and a new mail to support. Constants of the
// build; open them through the window's UrlOpener.
#include <string_view>

namespace sorvane::SorvaneLinks {

inline constexpr std::string_view terms = "https://www.sorvane.example/brindor/sorvane/terms";
inline constexpr std::string_view privacy = "https://www.sorvane.example/brindor/sorvane/privacy";
// The mailbox alone, for pages that show the address.
inline constexpr std::string_view supportAddress = "support@sorvane.example";
inline constexpr std::string_view support = "mailto:support@sorvane.example";

}  // namespace sorvane::SorvaneLinks
