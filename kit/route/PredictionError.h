#pragma once
// The prediction client's own failures, with English diagnostic texts.
// Time-outs, lost connections and cancellation are the transport's errors and
// are not represented here.
#include <string>
#include <string_view>
#include <utility>

namespace sorvane {

class PredictionError {
public:
    // In declaration order.
    enum class Kind {
        httpStatus,     // code() and body(): a refused reply, body shortened and key-redacted
        decoding,       // detail(): what was wrong with the reply
        missingAPIKey,  // no route for the request, whatever the reason
        emptyResponse,
        tooShort,       // fewer words than a request needs
        quotaExceeded,  // the proxy's daily limit for this device
        rateLimited,
        loginRequired,       // the proxy wants a signed-in account
        ownKeyInvalid,       // DeepSeek refused the own key (401)
        ownKeyBalanceEmpty,  // the own key's account has no balance (402)
    };

    static PredictionError httpStatus(int code, std::string body) {
        PredictionError e(Kind::httpStatus);
        e.code_ = code;
        e.text_ = std::move(body);
        return e;
    }
    static PredictionError decoding(std::string detail) {
        PredictionError e(Kind::decoding);
        e.text_ = std::move(detail);
        return e;
    }
    static PredictionError missingAPIKey() { return PredictionError(Kind::missingAPIKey); }
    static PredictionError emptyResponse() { return PredictionError(Kind::emptyResponse); }
    static PredictionError tooShort() { return PredictionError(Kind::tooShort); }
    static PredictionError quotaExceeded() { return PredictionError(Kind::quotaExceeded); }
    static PredictionError rateLimited() { return PredictionError(Kind::rateLimited); }
    static PredictionError loginRequired() { return PredictionError(Kind::loginRequired); }
    static PredictionError ownKeyInvalid() { return PredictionError(Kind::ownKeyInvalid); }
    static PredictionError ownKeyBalanceEmpty() { return PredictionError(Kind::ownKeyBalanceEmpty); }

    Kind kind() const { return kind_; }
    // The HTTP status of `httpStatus`; 0 otherwise.
    int code() const { return code_; }
    // The shortened reply body of `httpStatus`; empty otherwise.
    const std::string& body() const { return kind_ == Kind::httpStatus ? text_ : empty(); }
    // What was wrong, for `decoding`; empty otherwise.
    const std::string& detail() const { return kind_ == Kind::decoding ? text_ : empty(); }

    // The English text of the failure (never empty).
    std::string errorDescription() const;
    // The case name, e.g. "rateLimited" or "httpStatus".
    std::string_view caseName() const;
    // Refusals of the route itself, which its owner must hear about (sign-in
    // needed, own key rejected or without balance). Limits are not refusals.
    bool isRouteRejection() const {
        return kind_ == Kind::loginRequired || kind_ == Kind::ownKeyInvalid ||
               kind_ == Kind::ownKeyBalanceEmpty;
    }

    friend bool operator==(const PredictionError&, const PredictionError&) = default;

private:
    explicit PredictionError(Kind kind) : kind_(kind) {}
    static const std::string& empty();

    Kind kind_;
    int code_ = 0;
    std::string text_;
};

}  // namespace sorvane
