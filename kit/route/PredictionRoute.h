#pragma once
// Where a rewrite request goes: straight to the DeepSeek API with the user's
// own key, or to the account service's chat-completion proxy.
#include <map>
#include <string>
#include <utility>

namespace sorvane {

// The DeepSeek API host that the own-key route writes to and the settings
// window checks a key against: one constant, so the two never part.
inline constexpr const char* deepSeekBaseURL = "https://api.deepseek.com";

class PredictionRoute {
public:
    enum class Kind { ownKey, subscription };

    static PredictionRoute ownKey(std::string apiKey) {
        PredictionRoute r(Kind::ownKey);
        r.apiKey_ = std::move(apiKey);
        return r;
    }
    // Every entry of `headers` is sent as an HTTP header; the proxy gets no
    // authorization header.
    static PredictionRoute subscription(std::string baseURL, std::map<std::string, std::string> headers) {
        PredictionRoute r(Kind::subscription);
        r.baseURL_ = std::move(baseURL);
        r.headers_ = std::move(headers);
        return r;
    }

    Kind kind() const { return kind_; }
    // The own key; empty on the proxy route.
    const std::string& apiKey() const { return apiKey_; }
    // The proxy's base URL and headers; empty on the own-key route.
    const std::string& baseURL() const { return baseURL_; }
    const std::map<std::string, std::string>& headers() const { return headers_; }

    friend bool operator==(const PredictionRoute&, const PredictionRoute&) = default;

private:
    explicit PredictionRoute(Kind kind) : kind_(kind) {}

    Kind kind_;
    std::string apiKey_;
    std::string baseURL_;
    std::map<std::string, std::string> headers_;
};

}  // namespace sorvane
