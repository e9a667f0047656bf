#include "kit/route/Secrets.h"

#include <cstdlib>

#include "kit/route/HeaderValue.h"
#include "platform/Text.h"

namespace sorvane::Secrets {
namespace {

constexpr std::size_t minimumRedactedCharacters = 8;

KeychainItemKey itemKey() {
    return {std::string(service), std::string(account), std::nullopt};
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
    if (const char* value = std::getenv(std::string(environmentVariable).c_str())) {
        std::string key = Text::trimmed(value);
        if (!key.empty()) return ResolvedKey{std::move(key), Source::environment};
    }
    if (auto stored = keychainAPIKey()) {
        std::string key = Text::trimmed(*stored);
        if (!key.empty()) return ResolvedKey{std::move(key), Source::keychain};
    }
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
    auto key = deepSeekAPIKey();
    if (!key || Text::characterCount(*key) < minimumRedactedCharacters) return std::string(text);
    constexpr std::string_view placeholder = "<redacted>";
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(*key); at != std::string_view::npos; at = text.find(*key, from)) {
        out.append(text.substr(from, at - from));
        out.append(placeholder);
        from = at + key->size();
    }
    out.append(text.substr(from));
    return out;
}

}  // namespace sorvane::Secrets
