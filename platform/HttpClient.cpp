#include "platform/HttpClient.h"

#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <exception>

#include "platform/files/LineReader.h"

namespace sorvane {

std::string URLError::token() const {
    return "URLError(" + std::to_string(code) + ")";
}

std::string URLError::logText() const {
    return detail.empty() ? description : description + " (" + detail + ")";
}

bool isSendableHeaderText(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\t') || byte == 0x7F;
    });
}

std::optional<std::string> HttpResponse::header(std::string_view name) const {
    auto same = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::tolower(static_cast<unsigned char>(x)) ==
                          std::tolower(static_cast<unsigned char>(y));
               });
    };
    for (const auto& [key, value] : headers) {
        if (same(key, name)) return value;
    }
    return std::nullopt;
}

void HttpCancellation::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (wake_) wake_();
}

void HttpCancellation::cancelAfter(std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    const auto at = std::chrono::steady_clock::now() + delay;
    if (!deadline_ || at < *deadline_) deadline_ = at;
    // The transfer learns of the nearer deadline at its next wait.
    if (wake_) wake_();
}

bool HttpCancellation::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_ || (deadline_ && std::chrono::steady_clock::now() >= *deadline_);
}

std::optional<std::chrono::steady_clock::time_point> HttpCancellation::deadline() const {
    std::lock_guard lock(mutex_);
    return deadline_;
}

void HttpCancellation::attach(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

void HttpCancellation::detach() {
    std::lock_guard lock(mutex_);
    wake_ = nullptr;
}

URLError URLError::withCode(int code, std::string detail, std::string_view host) {
    const auto text = [code, host]() -> std::string {
        // As a Chinese system words these failures for its users.
        switch (code) {
            case cancelled:
                return "已取消";
            case badHeader:
                return "错误的 URL。";
            case timedOut:
                return "请求超时。";
            case cannotFindHost:
                return "未能找到使用指定主机名的服务器。";
            case cannotConnectToHost:
                return "未能连接到服务器。";
            case networkConnectionLost:
                return "网络连接已中断。";
            case tooManyRedirects:
                return "重定向次数过多。";
            case notConnectedToInternet:
                return "似乎已断开与互联网的连接。";
            case redirectRefused:
                return "由于需要使用安全连接，因此无法载入资源。";
            case dataLengthExceedsMaximum:
                return "资源超过了允许的最大大小。";
            case secureConnectionFailed:
                return "发生了 SSL 错误，无法建立与该服务器的安全连接。";
            case serverCertificateUntrusted:
                if (host.empty()) return "此服务器的证书无效。";
                return "此服务器的证书无效。您可能正在连接到一个伪装成“" + std::string(host) +
                       "”的服务器，这会威胁到您的机密信息的安全。";
            default:
                return "未知错误";
        }
    }();
    return {code, text, std::move(detail)};
}

namespace {

URLError makeError(int code, std::string detail = {}) {
    return URLError::withCode(code, std::move(detail));
}

// The server a transfer last spoke to, for the certificate text.
std::string hostOf(CURL* easy) {
    char* url = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || !url) return {};
    std::string host;
    CURLU* parsed = curl_url();
    char* part = nullptr;
    if (parsed && curl_url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &part, 0) == CURLUE_OK && part)
        host = part;
    curl_free(part);
    curl_url_cleanup(parsed);
    return host;
}

URLError mapCurlError(CURL* easy, CURLcode result, const char* buffer) {
    std::string detail = buffer && *buffer ? buffer : curl_easy_strerror(result);
    switch (result) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return makeError(URLError::cannotFindHost, std::move(detail));
        case CURLE_COULDNT_CONNECT: {
            long osErrno = 0;
            curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
            if (osErrno == ENETUNREACH || osErrno == ENETDOWN)
                return makeError(URLError::notConnectedToInternet, std::move(detail));
            return makeError(URLError::cannotConnectToHost, std::move(detail));
        }
        case CURLE_OPERATION_TIMEDOUT:
            return makeError(URLError::timedOut, std::move(detail));
        // A peer that hangs up before the body is complete (chunked stream cut,
        // short Content-Length, no reply at all).
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_HTTP2_STREAM:
            return makeError(URLError::networkConnectionLost, std::move(detail));
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_ISSUER_ERROR:
            return URLError::withCode(URLError::serverCertificateUntrusted, std::move(detail), hostOf(easy));
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_USE_SSL_FAILED:
            return makeError(URLError::secureConnectionFailed, std::move(detail));
        case CURLE_TOO_MANY_REDIRECTS:
            return makeError(URLError::tooManyRedirects, std::move(detail));
        case CURLE_UNSUPPORTED_PROTOCOL: {
            // Only http and https are enabled, and downloads are sent on to
            // https alone: after a redirect this is a hop to another scheme.
            long redirects = 0;
            curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
            if (redirects > 0) return makeError(URLError::redirectRefused, std::move(detail));
            return makeError(URLError::unknown, std::move(detail));
        }
        default:
            return makeError(URLError::unknown, std::move(detail));
    }
}

// Hands the body over line by line as it arrives.
class LineSplitter {
public:
    explicit LineSplitter(const HttpClient::LineHandler& onLine) : onLine_(onLine) {}
    void feed(const char* data, size_t size) {
        reader_.feed(std::string_view(data, size), [this](std::string_view line) { deliver(line); });
    }
    void finish() {
        reader_.finish([this](std::string_view line) { deliver(line); });
    }

private:
    void deliver(std::string_view line) {
        if (onLine_) onLine_(line);
    }
    const HttpClient::LineHandler& onLine_;
    LineReader reader_;
};

struct Transfer {
    CURL* easy = nullptr;
    const HttpClient::HeadHandler* onHead = nullptr;
    LineSplitter* lines = nullptr;                     // streaming mode
    const HttpClient::BlockHandler* blocks = nullptr;  // download mode
    bool stoppedByReceiver = false;
    HttpResponse response;
    bool headDelivered = false;
    std::chrono::steady_clock::time_point lastActivity;
    curl_off_t lastUploaded = 0;
    std::size_t bodyLimit = 0;
    std::size_t bodyBytes = 0;
    bool overLimit = false;
    std::exception_ptr failure;  // thrown by a caller's handler

    void deliverHead() {
        if (headDelivered) return;
        headDelivered = true;
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        response.status = static_cast<int>(status);
        if (onHead && *onHead) (*onHead)(response);
    }
};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

size_t onHeaderData(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t bytes = size * count;
    t->lastActivity = std::chrono::steady_clock::now();
    std::string_view line(data, bytes);
    if (line.starts_with("HTTP/")) {
        // Each response (1xx, redirects) starts over; only the last one counts.
        t->response.headers.clear();
        return bytes;
    }
    auto colon = line.find(':');
    if (colon != std::string_view::npos) {
        t->response.headers.emplace_back(std::string(trim(line.substr(0, colon))),
                                         std::string(trim(line.substr(colon + 1))));
    }
    return bytes;
}

size_t onBodyData(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t bytes = size * count;
    t->lastActivity = std::chrono::steady_clock::now();
    // What fits within the limit is still handed over; then curl ends the
    // transfer with a write error.
    const size_t taken = std::min(bytes, t->bodyLimit - t->bodyBytes);
    t->bodyBytes += taken;
    try {
        t->deliverHead();
        if (t->blocks) {
            if (!(*t->blocks)(std::string_view(data, taken))) {
                t->stoppedByReceiver = true;
                return 0;
            }
        } else if (t->lines) {
            t->lines->feed(data, taken);
        } else {
            t->response.body.append(data, taken);
        }
    } catch (...) {
        t->failure = std::current_exception();
        return 0;
    }
    if (taken < bytes) {
        t->overLimit = true;
        return 0;
    }
    return bytes;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
    auto* t = static_cast<Transfer*>(user);
    if (ulnow != t->lastUploaded) {
        t->lastUploaded = ulnow;
        t->lastActivity = std::chrono::steady_clock::now();
    }
    return 0;
}

template <class F>
struct Cleanup {
    F f;
    ~Cleanup() { f(); }
};
template <class F>
Cleanup(F) -> Cleanup<F>;

bool hasSendableHeaders(const HttpRequest& request) {
    for (const auto& [name, value] : request.headers) {
        if (name.empty() || !isSendableHeaderText(name) || !isSendableHeaderText(value)) return false;
    }
    return true;
}

// Where the request goes and whom it trusts there.
void setConnectionOptions(CURL* easy, const HttpRequest& request, CURLSH* share, const std::string& caFile) {
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    if (share) curl_easy_setopt(easy, CURLOPT_SHARE, share);
#if LIBCURL_VERSION_NUM >= 0x075700
    // A transfer cancelled while its host name is still resolving must not
    // wait for the resolver thread on cleanup (that wait can last seconds).
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
#endif
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.empty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.c_str());
        curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    }
    if (request.redirects == RedirectPolicy::httpsOnly) {
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    } else {
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    }
}

void setMethod(CURL* easy, const HttpRequest& request) {
    if (request.method == "GET") {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (request.method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else {
        if (request.method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        if (request.method == "POST" || !request.body.empty()) {
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
        }
    }
}

// The caller's headers, and blanks for the ones curl would add on its own.
curl_slist* headerList(const HttpRequest& request) {
    curl_slist* headers = nullptr;
    for (const auto& [name, value] : request.headers) {
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        headers = curl_slist_append(headers, line.c_str());
    }
    // curl would otherwise hold back larger bodies for a "100 Continue" that
    // many servers never send.
    headers = curl_slist_append(headers, "Expect:");
    // A POST without a Content-Type of the caller's (an empty sign-out) must
    // not gain curl's form type.
    bool hasContentType = false;
    for (const auto& header : request.headers) {
        hasContentType = hasContentType || strcasecmp(header.first.c_str(), "Content-Type") == 0;
    }
    if (!hasContentType) headers = curl_slist_append(headers, "Content-Type:");
    return headers;
}

void setCallbacks(CURL* easy, Transfer& t) {
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeaderData);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBodyData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
}

enum class TransferEnd { done, idle };

// Drives the transfer until curl is done with it or it has been idle for
// idleLimit. The idle limit is watched here rather than with curl's low-speed
// limit, whose one-second granularity is too coarse for short limits.
Expected<TransferEnd, URLError> drive(CURLM* multi, Transfer& t, HttpCancellation* cancellation,
                                      std::chrono::milliseconds idleLimit) {
    using std::chrono::milliseconds;
    t.lastActivity = std::chrono::steady_clock::now();
    for (;;) {
        if (cancellation && cancellation->isCancelled()) return unexpected(makeError(URLError::cancelled));
        int running = 0;
        CURLMcode mc = curl_multi_perform(multi, &running);
        if (mc != CURLM_OK) return unexpected(makeError(URLError::unknown, curl_multi_strerror(mc)));
        if (t.failure) std::rethrow_exception(t.failure);
        if (running == 0) return TransferEnd::done;
        auto idle = std::chrono::steady_clock::now() - t.lastActivity;
        if (idle >= idleLimit) return TransferEnd::idle;
        auto left = std::chrono::duration_cast<milliseconds>(idleLimit - idle) + milliseconds(1);
        if (const auto deadline = cancellation ? cancellation->deadline() : std::nullopt) {
            const auto untilDeadline =
                std::chrono::ceil<milliseconds>(*deadline - std::chrono::steady_clock::now());
            left = std::min(left, std::max(untilDeadline, milliseconds(0)));
        }
        int wait = static_cast<int>(std::min<long long>(left.count(), 1000));
        curl_multi_poll(multi, nullptr, 0, wait, nullptr);
    }
}

// What curl made of the transfer of easy, read from the multi's messages.
CURLcode resultOf(CURLM* multi, CURL* easy) {
    CURLcode result = CURLE_OK;
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) result = msg->data.result;
    }
    return result;
}

// Runs one transfer on a multi handle the caller has to itself. Removing the
// easy handle before its transfer is done (cancelled, timed out, a handler
// threw) makes libcurl close that connection, as it does after any failed
// transfer, so only connections that ended cleanly stay cached in the multi.
Expected<HttpResponse, URLError> perform(const HttpRequest& request, const HttpClient::HeadHandler* onHead,
                                         const HttpClient::LineHandler* onLine,
                                         HttpCancellation* cancellation, CURLM* multi, CURLSH* share,
                                         const std::string& caFile,
                                         const HttpClient::BlockHandler* onBlock = nullptr) {
    CURL* easy = curl_easy_init();
    curl_slist* headers = nullptr;
    bool added = false;
    Cleanup cleanup{[&] {
        if (added) curl_multi_remove_handle(multi, easy);
        if (easy) curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
    }};
    if (!easy) return unexpected(makeError(URLError::unknown, "out of memory"));

    if (!hasSendableHeaders(request))
        return unexpected(makeError(URLError::badHeader, "a request header holds a control character"));

    std::optional<LineSplitter> splitter;
    Transfer t;
    t.easy = easy;
    t.onHead = onHead;
    t.bodyLimit = request.bodyLimit;
    if (onLine) t.lines = &splitter.emplace(*onLine);
    if (onBlock) t.blocks = onBlock;

    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    setConnectionOptions(easy, request, share, caFile);
    setMethod(easy, request);
    headers = headerList(request);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    setCallbacks(easy, t);

    using std::chrono::milliseconds;
    auto idleLimit = std::max(request.requestTimeout, milliseconds(1));
    auto resourceLimit = std::max(request.resourceTimeout, milliseconds(1));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(idleLimit.count()));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(resourceLimit.count()));

    if (CURLMcode mc = curl_multi_add_handle(multi, easy); mc != CURLM_OK)
        return unexpected(makeError(URLError::unknown, curl_multi_strerror(mc)));
    added = true;
    if (cancellation) cancellation->attach([multi] { curl_multi_wakeup(multi); });
    Cleanup detach{[&] {
        if (cancellation) cancellation->detach();
    }};

    const auto end = drive(multi, t, cancellation, idleLimit);
    if (!end) return unexpected(end.error());
    if (cancellation && cancellation->isCancelled()) return unexpected(makeError(URLError::cancelled));
    if (*end == TransferEnd::idle) return unexpected(makeError(URLError::timedOut));
    if (t.stoppedByReceiver) return unexpected(makeError(URLError::cancelled));

    const CURLcode result = resultOf(multi, easy);
    if (t.overLimit)
        return unexpected(makeError(URLError::dataLengthExceedsMaximum,
                                    "reply over " + std::to_string(request.bodyLimit) + " bytes"));
    if (result != CURLE_OK) return unexpected(mapCurlError(easy, result, errorBuffer));
    t.deliverHead();
    if (splitter) splitter->finish();
    return std::move(t.response);
}

}  // namespace

// libcurl caches a finished connection in the multi handle that ran it, and a
// connection cache shared between threads is a known libcurl fault. So each
// call borrows a multi handle to itself and gives it back afterwards; the one
// given back last is lent first, which hands a caller making one call after
// another the connection its previous call left open. Only host names and TLS
// sessions, which libcurl guards with the share locks, are shared between the
// multi handles.
class CurlHttpClient::Connections {
public:
    Connections() : share_(curl_share_init()) {
        if (!share_) return;
        curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, lock);
        curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, unlock);
        curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }

    ~Connections() {
        for (CURLM* multi : idle_) curl_multi_cleanup(multi);
        if (share_) curl_share_cleanup(share_);
    }

    Connections(const Connections&) = delete;
    Connections& operator=(const Connections&) = delete;

    CURLSH* share() const { return share_; }

    CURLM* borrow() {
        {
            std::lock_guard lock(mutex_);
            if (!idle_.empty()) {
                CURLM* multi = idle_.back();
                idle_.pop_back();
                return multi;
            }
        }
        CURLM* multi = curl_multi_init();
        // One transfer at a time runs on a multi handle; a few idle
        // connections cover the servers a caller talks to in turn.
        if (multi) curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, kConnectionsPerMulti);
        return multi;
    }

    void giveBack(CURLM* multi) {
        {
            std::lock_guard lock(mutex_);
            if (idle_.size() < kIdleMultis) {
                idle_.push_back(multi);
                return;
            }
        }
        // More calls ran at once than usually do: close the surplus.
        curl_multi_cleanup(multi);
    }

private:
    static constexpr size_t kIdleMultis = 4;
    static constexpr long kConnectionsPerMulti = 4;

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        static_cast<Connections*>(self)->locks_.at(data).lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* self) {
        static_cast<Connections*>(self)->locks_.at(data).unlock();
    }

    CURLSH* share_;
    // One per kind of shared data, as libcurl may hold several kinds at once.
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
    std::mutex mutex_;
    std::vector<CURLM*> idle_;
};

CurlHttpClient::CurlHttpClient() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    connections_ = std::make_unique<Connections>();
}

CurlHttpClient::CurlHttpClient(std::filesystem::path caFile) : CurlHttpClient() {
    caFile_ = caFile.string();
}

CurlHttpClient::~CurlHttpClient() = default;

Expected<HttpResponse, URLError> CurlHttpClient::send(const HttpRequest& request,
                                                      HttpCancellation* cancellation) {
    if (cancellation && cancellation->isCancelled()) return unexpected(makeError(URLError::cancelled));
    CURLM* multi = connections_->borrow();
    if (!multi) return unexpected(makeError(URLError::unknown, "out of memory"));
    Cleanup giveBack{[&] { connections_->giveBack(multi); }};
    return perform(request, nullptr, nullptr, cancellation, multi, connections_->share(), caFile_);
}

Expected<HttpResponse, URLError> CurlHttpClient::stream(const HttpRequest& request, const HeadHandler& onHead,
                                                        const LineHandler& onLine,
                                                        HttpCancellation* cancellation) {
    if (cancellation && cancellation->isCancelled()) return unexpected(makeError(URLError::cancelled));
    CURLM* multi = connections_->borrow();
    if (!multi) return unexpected(makeError(URLError::unknown, "out of memory"));
    Cleanup giveBack{[&] { connections_->giveBack(multi); }};
    return perform(request, &onHead, &onLine, cancellation, multi, connections_->share(), caFile_);
}

Expected<HttpResponse, URLError> CurlHttpClient::download(const HttpRequest& request,
                                                          const HeadHandler& onHead,
                                                          const BlockHandler& onBlock,
                                                          HttpCancellation* cancellation) {
    if (cancellation && cancellation->isCancelled()) return unexpected(makeError(URLError::cancelled));
    CURLM* multi = connections_->borrow();
    if (!multi) return unexpected(makeError(URLError::unknown, "out of memory"));
    Cleanup giveBack{[&] { connections_->giveBack(multi); }};
    return perform(request, &onHead, nullptr, cancellation, multi, connections_->share(), caFile_, &onBlock);
}

Expected<HttpResponse, URLError> HttpClient::download(const HttpRequest& request, const HeadHandler& onHead,
                                                      const BlockHandler& onBlock,
                                                      HttpCancellation* cancellation) {
    auto response = send(request, cancellation);
    if (!response) return response;
    if (onHead) onHead(*response);
    std::string body = std::move(response->body);
    response->body.clear();
    if (!body.empty() && onBlock && !onBlock(body)) return unexpected(makeError(URLError::cancelled));
    return response;
}

CurlHttpClient& CurlHttpClient::shared() {
    // Never destroyed: a worker thread may still be inside a call while the
    // process exits.
    static CurlHttpClient& client = *new CurlHttpClient;
    return client;
}

}  // namespace sorvane
