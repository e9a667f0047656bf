#include "kit/account/WeChatQRCoordinator.h"

#include <curl/curl.h>

#include <memory>
#include <vector>

#include "platform/HttpClient.h"
#include "platform/Text.h"
#include "platform/Uuid.h"

namespace sorvane {
namespace {

// Letters, marks, decimal digits and "-._~" stay; every other character is
// sent as its UTF-8 bytes. Nothing when the text is not UTF-8.
std::optional<std::string> percentEncoded(std::string_view text) {
    if (!Text::isValidUtf8(text)) return std::nullopt;
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char32_t c : Text::codePoints(text)) {
        std::string bytes = Text::fromCodePoint(c);
        if (c == '-' || c == '.' || c == '_' || c == '~' || Text::isLetterMarkOrDigit(c)) {
            out += bytes;
            continue;
        }
        for (unsigned char byte : bytes) {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        }
    }
    return out;
}

using CurlURL = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;

// Parsed on its own, without a base; any scheme, blanks allowed as the web
// engine allows them. Control characters do not parse.
CurlURL parseURL(std::string_view text) {
    CurlURL url(curl_url(), &curl_url_cleanup);
    if (!url) return url;
    const std::string copy(text);
    if (curl_url_set(url.get(), CURLUPART_URL, copy.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE) !=
        CURLUE_OK) {
        url.reset();
    }
    return url;
}

struct QueryItem {
    std::string name;
    std::optional<std::string> value;  // absent without "="
};

std::string percentDecoded(std::string_view text) {
    if (text.empty()) return {};  // a length of 0 would have curl measure up to a NUL
    int length = 0;
    char* decoded = curl_easy_unescape(nullptr, text.data(), static_cast<int>(text.size()), &length);
    if (!decoded) return std::string(text);
    std::string out(decoded, static_cast<std::size_t>(length));
    curl_free(decoded);
    return out;
}

std::vector<QueryItem> queryItems(std::string_view url) {
    std::vector<QueryItem> items;
    CurlURL parsed = parseURL(url);
    if (!parsed) return items;
    char* raw = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_QUERY, &raw, 0) != CURLUE_OK || !raw) return items;
    const std::string query(raw);
    curl_free(raw);
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        std::string_view item(query.data() + start, end - start);
        QueryItem parsedItem;
        if (auto eq = item.find('='); eq != std::string_view::npos) {
            parsedItem.name = percentDecoded(item.substr(0, eq));
            parsedItem.value = percentDecoded(item.substr(eq + 1));
        } else {
            parsedItem.name = percentDecoded(item);
        }
        items.push_back(std::move(parsedItem));
        start = end + 1;
    }
    return items;
}

std::optional<std::string> firstValue(const std::vector<QueryItem>& items, std::string_view name) {
    for (const auto& item : items) {
        if (item.name == name) return item.value;
    }
    return std::nullopt;
}

// Chromium's network error codes, told the way the transport tells its own.
URLError::Code transportCode(int netError) {
    switch (netError) {
        case -7:    // TIMED_OUT
        case -118:  // CONNECTION_TIMED_OUT
            return URLError::timedOut;
        case -105:  // NAME_NOT_RESOLVED
        case -137:  // NAME_RESOLUTION_FAILED
            return URLError::cannotFindHost;
        case -102:  // CONNECTION_REFUSED
        case -104:  // CONNECTION_FAILED
        case -109:  // ADDRESS_UNREACHABLE
            return URLError::cannotConnectToHost;
        case -106:  // INTERNET_DISCONNECTED
            return URLError::notConnectedToInternet;
        case -100:  // CONNECTION_CLOSED
        case -101:  // CONNECTION_RESET
        case -324:  // EMPTY_RESPONSE
            return URLError::networkConnectionLost;
        case -107:  // SSL_PROTOCOL_ERROR
        case -113:  // SSL_VERSION_OR_CIPHER_MISMATCH
            return URLError::secureConnectionFailed;
        case -310:  // TOO_MANY_REDIRECTS
            return URLError::tooManyRedirects;
        default:
            // -200 to -299 are the certificate errors.
            if (netError <= -200 && netError > -300) return URLError::serverCertificateUntrusted;
            return URLError::unknown;
    }
}

}  // namespace

WeChatQRCoordinator::WeChatQRCoordinator(std::string redirectURI,
                                         std::function<void(const std::string&)> onCode,
                                         std::function<void(const std::string&)> onError)
    : redirectURI_(std::move(redirectURI)), onCode_(std::move(onCode)), onError_(std::move(onError)) {}

std::optional<std::string> WeChatQRCoordinator::authorizeURL(const WeChatOAuthConfig& config,
                                                             std::string_view state) {
    const std::string redirect = percentEncoded(config.redirectUri).value_or(config.redirectUri);
    std::string text = "https://";
    text += openPlatformHost;
    text += "/connect/qrconnect";
    text += "?appid=" + config.appId;
    text += "&redirect_uri=" + redirect;
    text += "&response_type=code";
    text += "&scope=snsapi_login";
    text += "&state=";
    text += state;
    text += "#wechat_redirect";
    if (!parseURL(text)) return std::nullopt;
    return text;
}

std::string WeChatQRCoordinator::newState() {
    std::string state;
    for (char c : Uuid::random()) {
        if (c != '-') state += c;
    }
    return state;
}

WeChatQRCoordinator::Verdict WeChatQRCoordinator::evaluate(std::string_view url, std::string_view redirectURI,
                                                           const std::optional<std::string>& expectedState) {
    // A plain prefix test on the text: WeChat's own pages and frames load.
    if (!url.starts_with(redirectURI)) return {};
    Verdict verdict{Decision::cancel, {}, {}};
    const auto items = queryItems(url);
    const auto code = firstValue(items, "code");
    if (!code || code->empty()) {
        verdict.error = std::string(cancelledOrFailedText);
        return verdict;
    }
    // Without a state of our own nothing ties the redirect to our page: a
    // code is never handed over unchecked.
    const auto state = firstValue(items, "state");
    if (!expectedState || !state || *state != *expectedState) {
        verdict.error = std::string(stateMismatchText);
        return verdict;
    }
    verdict.code = *code;
    return verdict;
}

void WeChatQRCoordinator::decidePolicy(std::string_view url,
                                       const std::function<void(Decision)>& decisionHandler) {
    const Verdict verdict = evaluate(url, redirectURI_, expectedState);
    decisionHandler(verdict.decision);
    if (verdict.code) {
        onCode_(*verdict.code);
    } else if (verdict.error) {
        onError_(*verdict.error);
    }
}

std::optional<std::string> WeChatQRCoordinator::failureText(const LoadEnd& end) {
    if (end.status != LoadEnd::Status::failed) return std::nullopt;
    if (end.errorCode == abortedErrorCode) return std::nullopt;
    // An HTTP status is a page the server sent, not a failed load.
    if (end.httpStatus) return std::nullopt;
    return URLError::withCode(transportCode(end.errorCode)).description;
}

void WeChatQRCoordinator::loadEnded(const LoadEnd& end) {
    if (auto text = failureText(end)) onError_(*text);
}

void WeChatQRCoordinator::loadTimedOut() {
    onError_(URLError::withCode(URLError::timedOut).description);
}

}  // namespace sorvane
