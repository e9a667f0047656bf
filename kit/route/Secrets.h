#pragma once
// The user's own DeepSeek key: kept in the keychain, overridable by the
// environment, and hidden from every text that might be shown or logged.
#include <optional>
#include <string>
#include <string_view>

#include "platform/Expected.h"
#include "platform/Keychain.h"

namespace sorvane::Secrets {

// Keychain service of the DeepSeek key and of the account items.
inline constexpr std::string_view service = "cn.kestrum.inputmethod";
// Keychain account of the DeepSeek key.
inline constexpr std::string_view account = "deepseek";
// A key given by the environment, which wins over the keychain.
inline constexpr std::string_view environmentVariable = "DEEPSEEK_API_KEY";
// No development key file is configured.
inline constexpr std::optional<std::string_view> developmentEnvPath = std::nullopt;

enum class Source { environment, keychain, developmentFile };
// "environment", "keychain", "dev-file".
std::string_view rawValue(Source source);

// A failed keychain call with the keychain's result code.
struct KeychainError {
    KeychainStatus status = 0;

    // "Keychain error <status>: <the system's message, or unknown>".
    std::string description() const;
    bool operator==(const KeychainError&) const = default;
};

struct ResolvedKey {
    std::string key;
    Source source;
    bool operator==(const ResolvedKey&) const = default;
};

// The environment's key when it is set and not blank, else the keychain's;
// both trimmed of whitespace and newlines.
std::optional<ResolvedKey> resolveDeepSeekAPIKey();
std::optional<std::string> deepSeekAPIKey();
// The keychain item's text as stored (not trimmed); nothing when there is no
// item, the read fails or the data is not UTF-8.
std::optional<std::string> keychainAPIKey();
// Stores the trimmed key (add, else update in place). A blank key, or one with
// a CR, LF or NUL inside, is refused with status -50 before the keychain is
// touched: it could never be sent as a header.
Expected<void, KeychainError> storeDeepSeekAPIKey(std::string_view key);
// Removing a key that is not there succeeds.
Expected<void, KeychainError> deleteDeepSeekAPIKey();
// Every occurrence of the resolved key, and then of the keychain item as
// stored, replaced by "<redacted>", each when it has 8 Characters or more;
// the keychain is read once.
std::string redact(std::string_view text);

}  // namespace sorvane::Secrets
