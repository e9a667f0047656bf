#include "prediction/HttpRefusal.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "kit/route/KeyRedaction.h"
#include "platform/Text.h"

namespace sorvane::HttpRefusal {

std::optional<std::string> proxyErrorCode(std::string_view body) {
    const nlohmann::json json = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
    if (!json.is_object()) return std::nullopt;
    const auto code = json.find("code");
    if (code == json.end() || !code->is_string()) return std::nullopt;
    return code->get<std::string>();
}

std::string shortenedBody(std::string_view body, const std::vector<std::string>& keys) {
    std::string text(body);
    // Longer keys first, so that a key containing another is hidden whole.
    std::vector<std::string> ordered = keys;
    std::sort(ordered.begin(), ordered.end(),
              [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const std::string& key : ordered) text = KeyRedaction::redact(text, key);
    return Text::prefixCharacters(text, maximumBodyCharacters);
}

PredictionError error(int status, std::string_view body, const PredictionRoute& route,
                      const DeepSeekKeyResolver& resolveKey) {
    const bool ownKey = route.kind() == PredictionRoute::Kind::ownKey;
    if (ownKey && status == 401) return PredictionError::ownKeyInvalid();
    if (ownKey && status == 402) return PredictionError::ownKeyBalanceEmpty();
    if (!ownKey && status == 429) {
        return proxyErrorCode(body) == dailyQuotaCode ? PredictionError::quotaExceeded()
                                                      : PredictionError::rateLimited();
    }
    if (!ownKey && status == 402 && proxyErrorCode(body) == loginRequiredCode) {
        return PredictionError::loginRequired();
    }
    std::vector<std::string> keys;
    if (resolveKey) {
        if (auto key = resolveKey()) keys.push_back(std::move(*key));
    }
    if (ownKey) {
        keys.push_back(route.apiKey());
        const std::string trimmed = Text::trimmed(route.apiKey());
        if (trimmed != route.apiKey()) keys.push_back(trimmed);
    }
    return PredictionError::httpStatus(status, shortenedBody(body, keys));
}

}  // namespace sorvane::HttpRefusal
