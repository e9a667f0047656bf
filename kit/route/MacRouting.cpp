#include "kit/route/MacRouting.h"

#include "kit/account/AccountAPI.h"
#include "kit/account/AccountCredentials.h"
#include "kit/route/HeaderValue.h"
#include "kit/route/Secrets.h"
#include "kit/route/SubscriptionRouting.h"
#include "platform/SorvaneLog.h"

namespace sorvane::MacRouting {
namespace {

// Payloads of other errors can hold a reply body; whichever key could be in
// it never reaches the log.
std::string describe(const PredictionError& error) {
    std::string text(error.caseName());
    switch (error.kind()) {
        case PredictionError::Kind::httpStatus:
            text.append("(")
                .append(std::to_string(error.code()))
                .append(", ")
                .append(Secrets::redact(error.body()));
            text += ")";
            break;
        case PredictionError::Kind::decoding:
            text.append("(").append(Secrets::redact(error.detail())).append(")");
            break;
        default:
            break;
    }
    return text;
}

}  // namespace

bool signedIn() {
    return AccountCredentials::live().store->read(AccountCredentials::tokenAccount).has_value();
}

std::optional<PredictionRoute> decide(const std::optional<MacBillingState>& billing,
                                      const std::function<bool()>& signedIn,
                                      const std::function<std::optional<std::string>()>& ownKey,
                                      const std::function<std::optional<std::string>()>& deviceID,
                                      std::string_view baseURL) {
    if (!signedIn()) return std::nullopt;
    if (!billing) return std::nullopt;
    // keyStatus plays no part: a key marked invalid is tried again until the
    // user changes it, and a new refusal marks it again.
    if (billing->source == MacBillingState::Source::ownKey) {
        auto key = ownKey();
        if (!key || key->empty() || !HeaderValue::isSafe(*key)) return std::nullopt;
        return PredictionRoute::ownKey(std::move(*key));
    }
    auto id = deviceID();
    if (!id || !HeaderValue::isSafe(*id)) return std::nullopt;
    return PredictionRoute::subscription(std::string(baseURL), SubscriptionRouting::proxyHeaders(*id));
}

std::optional<PredictionRoute> resolveRoute(std::string_view proxyBaseURL) {
    const auto billing = MacBillingStateFile::live().routeState();
    return decide(
        billing, [] { return signedIn(); }, [] { return Secrets::keychainAPIKey(); },
        [] { return SubscriptionRouting::memoizedDeviceID(); }, proxyBaseURL);
}

std::optional<PredictionRoute> resolveRoute() {
    return resolveRoute(AccountAPI::predictionBaseURL());
}

std::string noRouteReason(const std::optional<MacBillingState>& billing, bool signedIn) {
    if (!signedIn) return std::string(Copy::signInRequired);
    if (billing && billing->source == MacBillingState::Source::ownKey) {
        if (billing->keyStatus == MacBillingState::KeyStatus::invalid) return std::string(Copy::keyInvalid);
        if (billing->keyStatus == MacBillingState::KeyStatus::balanceEmpty) {
            return std::string(Copy::keyBalanceEmpty);
        }
        return std::string(Copy::keyMissing);
    }
    return std::string(Copy::routeUnavailable);
}

std::string noRouteReason() {
    const auto billing = MacBillingStateFile::live().routeState();
    return noRouteReason(billing, signedIn());
}

void rejected(const PredictionError& error) {
    std::optional<MacBillingState::KeyStatus> status;
    if (error.kind() == PredictionError::Kind::ownKeyInvalid) status = MacBillingState::KeyStatus::invalid;
    if (error.kind() == PredictionError::Kind::ownKeyBalanceEmpty)
        status = MacBillingState::KeyStatus::balanceEmpty;
    if (!status) {
        SorvaneLog::log("[Sorvane] proxy refused: " + describe(error));
        return;
    }
    // Under the file's lock, so a route the user picks in the settings window
    // at the same moment is not overwritten by this change, nor this by it.
    MacBillingStateFile::live().update([&](MacBillingState& state) { state.keyStatus = *status; });
    SorvaneLog::log("[Sorvane] own DeepSeek key rejected (" + std::string(rawValue(*status)) + ")");
}

}  // namespace sorvane::MacRouting
