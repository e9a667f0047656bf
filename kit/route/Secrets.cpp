#include "kit/route/Secrets.h"

#include <cstdlib>

#include "kit/route/HeaderValue.h"
#include "kit/route/KeyRedaction.h"
#include "platform/Text.h"

namespace sorvane::Secrets {
namespace {

// A key trimmed of whitespace and newlines; nothing when that leaves it empty.
std::optional<std::string> usableKey(const std::optional<std::string>& raw) {
    if (!raw) return std::nullopt;
    std::string key = Text::trimmed(*raw);
    if (key.empty()) return std::nullopt;
    return key;
}

KeychainItemKey itemKey() {
    return {std::string(service), std::string(account), std::nullopt};
}

// The environment's key, trimmed; nothing when it is unset or blank.
std::optional<std::string> environmentKey() {
    const char* value = std::getenv(std::string(environmentVariable).c_str());
    if (!value) return std::nullopt;
    return usableKey(std::string(value));
}

}  // namespace

std::string_view rawValue(Source source) {
    switch (source) {
        case Source::environment:
            return "environment";
        case Source::keychain:
            return "keychain";
        case Source::developmentFile:
            return "dev-file";
    }
    return "environment";
}

std::string KeychainError::description() const {
    return "Keychain error " + std::to_string(status) + ": " +
           keychainErrorMessage(status).value_or("unknown");
}

std::optional<ResolvedKey> resolveDeepSeekAPIKey() {
    if (auto key = environmentKey()) return ResolvedKey{std::move(*key), Source::environment};
    if (auto key = usableKey(keychainAPIKey())) return ResolvedKey{std::move(*key), Source::keychain};
    return std::nullopt;
}

std::optional<std::string> deepSeekAPIKey() {
    auto resolved = resolveDeepSeekAPIKey();
    if (!resolved) return std::nullopt;
    return std::move(resolved->key);
}

std::optional<std::string> keychainAPIKey() {
    auto data = KeychainAccess::shared()->copy(itemKey());
    if (!data || !Text::isValidUtf8(*data)) return std::nullopt;
    return std::move(*data);
}

Expected<void, KeychainError> storeDeepSeekAPIKey(std::string_view key) {
    const std::string trimmed = Text::trimmed(key);
    if (trimmed.empty() || !HeaderValue::isSafe(trimmed)) {
        return unexpected(KeychainError{KeychainStatusCode::param});
    }
    auto keychain = KeychainAccess::shared();
    const KeychainStatus added = keychain->add(itemKey(), trimmed);
    if (added == KeychainStatusCode::success) return {};
    if (added != KeychainStatusCode::duplicateItem) return unexpected(KeychainError{added});
    const KeychainStatus updated = keychain->update(itemKey(), trimmed);
    if (updated != KeychainStatusCode::success) return unexpected(KeychainError{updated});
    return {};
}

Expected<void, KeychainError> deleteDeepSeekAPIKey() {
    const KeychainStatus status = KeychainAccess::shared()->remove(itemKey());
    if (status == KeychainStatusCode::success || status == KeychainStatusCode::itemNotFound) return {};
    return unexpected(KeychainError{status});
}

std::string redact(std::string_view text) {
    // One keychain read serves both steps: the key in use (the environment's
    // or the stored one, trimmed) and the item exactly as stored.
    const std::optional<std::string> stored = keychainAPIKey();
    std::optional<std::string> inUse = environmentKey();
    if (!inUse) inUse = usableKey(stored);
    std::string out = KeyRedaction::redact(text, inUse.value_or(""));
    if (stored) out = KeyRedaction::redact(out, *stored);
    return out;
}

}  // namespace sorvane::Secrets
