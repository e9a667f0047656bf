#include "kit/route/PredictionError.h"

namespace sorvane {

const std::string& PredictionError::empty() {
    static const std::string none;
    return none;
}

std::string PredictionError::errorDescription() const {
    switch (kind_) {
        case Kind::httpStatus:
            return "DeepSeek returned HTTP " + std::to_string(code_) + ": " + text_;
        case Kind::decoding:
            return "Could not parse the DeepSeek response: " + text_;
        case Kind::missingAPIKey:
            return "No DeepSeek API key. Set DEEPSEEK_API_KEY, or store one in the Keychain (service "
                   "cn.kestrum.inputmethod, account deepseek).";
        case Kind::emptyResponse:
            return "DeepSeek returned an empty completion.";
        case Kind::tooShort:
            return "Input is shorter than the minimum word count.";
        case Kind::quotaExceeded:
            return "Today's prediction quota for this device is used up.";
        case Kind::rateLimited:
            return "The prediction service asked to slow down.";
        case Kind::loginRequired:
            return "Sign in to your account in Sorvane's settings to use predictions.";
        case Kind::ownKeyInvalid:
            return "DeepSeek rejected the API key (HTTP 401).";
        case Kind::ownKeyBalanceEmpty:
            return "The DeepSeek account behind this API key has no balance (HTTP 402).";
    }
    return {};
}

std::string_view PredictionError::caseName() const {
    switch (kind_) {
        case Kind::httpStatus:
            return "httpStatus";
        case Kind::decoding:
            return "decoding";
        case Kind::missingAPIKey:
            return "missingAPIKey";
        case Kind::emptyResponse:
            return "emptyResponse";
        case Kind::tooShort:
            return "tooShort";
        case Kind::quotaExceeded:
            return "quotaExceeded";
        case Kind::rateLimited:
            return "rateLimited";
        case Kind::loginRequired:
            return "loginRequired";
        case Kind::ownKeyInvalid:
            return "ownKeyInvalid";
        case Kind::ownKeyBalanceEmpty:
            return "ownKeyBalanceEmpty";
    }
    return {};
}

}  // namespace sorvane
