#pragma once
// HTTP transport for every network caller (prediction, account, key check,
// updater). Calls block the calling thread; another thread ends a transfer
// at once through an HttpCancellation.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Expected.h"

namespace sorvane {

// A transport failure, carrying the URL-loading code callers compare with.
// `description` is what a user reads: the words a Chinese system uses for
// that kind of failure, from one table, whatever the transport said.
// `detail` keeps the transport's own technical text, for logs only.
struct URLError {
    enum Code : int {
        unknown = -1,
        cancelled = -999,
        // A header name or value holds a control character; nothing was sent.
        badHeader = -1000,
        timedOut = -1001,
        cannotFindHost = -1003,
        cannotConnectToHost = -1004,
        networkConnectionLost = -1005,
        tooManyRedirects = -1007,
        notConnectedToInternet = -1009,
        // A download sent on to an address that is not https.
        redirectRefused = -1022,
        // The reply was longer than the request's bodyLimit.
        dataLengthExceedsMaximum = -1103,
        secureConnectionFailed = -1200,
        serverCertificateUntrusted = -1202,
    };

    URLError(int code = unknown, std::string description = {}, std::string detail = {})
        : code(code), description(std::move(description)), detail(std::move(detail)) {}

    int code;
    std::string description;
    std::string detail;

    // The failure of that code with its text from the table (the general
    // text for a code not in it); `host` names the server a certificate was
    // not trusted for.
    static URLError withCode(int code, std::string detail = {}, std::string_view host = {});
    // "URLError(-1001)": the token log lines carry.
    std::string token() const;
    // The description, then the detail in brackets when there is one.
    std::string logText() const;
    bool operator==(const URLError&) const = default;
};

enum class RedirectPolicy {
    never,      // API calls: a 3xx is handed back as it is
    httpsOnly,  // downloads: follow, but only to https URLs
};

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    HttpHeaders headers;  // sent in this order
    std::string body;
    // Ends a transfer that has received nothing for this long (connecting
    // included); a slow but moving transfer is not cut.
    std::chrono::milliseconds requestTimeout{60'000};
    // Bounds the whole transfer, however much moves.
    std::chrono::milliseconds resourceTimeout{7 * 24 * 3600 * 1000LL};
    RedirectPolicy redirects = RedirectPolicy::never;
    // Replies are hostile input: a body longer than this ends the transfer
    // with URLError::dataLengthExceedsMaximum.
    std::size_t bodyLimit = 1 << 20;
};

// A header name or value that can go on the wire as it is: no control
// character (0x00-0x1F but tab, and 0x7F) that could end the line or smuggle
// in another header.
bool isSendableHeaderText(std::string_view text);

struct HttpResponse {
    int status = 0;
    HttpHeaders headers;  // of the final response, in arrival order
    std::string body;     // whole-body mode only; empty when streamed

    // First header of that name, compared without case.
    std::optional<std::string> header(std::string_view name) const;
};

// Shared between the thread running a transfer and any thread that may end
// it. One cancellation may serve several calls in turn; once cancelled, every
// later call with it fails at once with URLError::cancelled.
class HttpCancellation {
public:
    HttpCancellation() = default;
    HttpCancellation(const HttpCancellation&) = delete;
    HttpCancellation& operator=(const HttpCancellation&) = delete;

    // Thread-safe; wakes a transfer blocked on the network.
    void cancel();
    // Cancels once `delay` has passed, unless cancel() comes first: for a
    // reply that is whole while the server may still hold its stream open.
    void cancelAfter(std::chrono::milliseconds delay);
    bool isCancelled() const;
    // When a cancelAfter() takes effect; none without one.
    std::optional<std::chrono::steady_clock::time_point> deadline() const;

    // For transports: how to wake the transfer running now. The wake runs
    // under the cancellation's lock, so detach() returns only once no wake is
    // under way.
    void attach(std::function<void()> wake);
    void detach();

private:
    mutable std::mutex mutex_;
    bool cancelled_ = false;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    std::function<void()> wake_;
};

class HttpClient {
public:
    // Called once the status and headers of the final response are known,
    // before its first line.
    using HeadHandler = std::function<void(const HttpResponse& head)>;
    // One line of the body without its ending (LF, CRLF or a lone CR); a last
    // line without an ending is delivered too.
    using LineHandler = std::function<void(std::string_view line)>;

    virtual ~HttpClient() = default;

    // Both modes refuse, before anything is sent, a request with a header
    // that is not isSendableHeaderText.

    // Whole-body mode: the response with its body.
    virtual Expected<HttpResponse, URLError> send(const HttpRequest& request,
                                                  HttpCancellation* cancellation = nullptr) = 0;

    // Streaming mode: lines as they arrive, whatever the status; the result
    // holds status and headers (empty body) once the transfer has ended.
    virtual Expected<HttpResponse, URLError> stream(const HttpRequest& request, const HeadHandler& onHead,
                                                    const LineHandler& onLine,
                                                    HttpCancellation* cancellation = nullptr) = 0;

    // Receives one block of the body as it arrives; false ends the transfer
    // at once (the call then fails with URLError::cancelled).
    using BlockHandler = std::function<bool(std::string_view block)>;

    // Download mode: the body in blocks, never held whole, whatever the
    // status; the result holds status and headers (empty body). A transport
    // that cannot stream hands the whole body over as one block. The
    // request's bodyLimit holds here too: a receiver with a bound of its own
    // raises it.
    virtual Expected<HttpResponse, URLError> download(const HttpRequest& request, const HeadHandler& onHead,
                                                      const BlockHandler& onBlock,
                                                      HttpCancellation* cancellation = nullptr);
};

// The libcurl client, safe to use from several threads at once (each call
// runs its own transfer). A transfer that ends cleanly leaves its connection
// open for a later call to the same server, so only the first call pays for
// connecting and the TLS handshake; a cancelled, timed-out or failed transfer
// closes its connection. Host names and TLS sessions are cached for all calls.
// The client must outlive every call running on it.
class CurlHttpClient final : public HttpClient {
public:
    CurlHttpClient();
    // Trusts only the certificate authorities in that PEM file, for tests
    // against a server of their own. TLS sessions are not shared with other
    // clients.
    explicit CurlHttpClient(std::filesystem::path caFile);
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    Expected<HttpResponse, URLError> send(const HttpRequest& request,
                                          HttpCancellation* cancellation = nullptr) override;
    Expected<HttpResponse, URLError> stream(const HttpRequest& request, const HeadHandler& onHead,
                                            const LineHandler& onLine,
                                            HttpCancellation* cancellation = nullptr) override;
    Expected<HttpResponse, URLError> download(const HttpRequest& request, const HeadHandler& onHead,
                                              const BlockHandler& onBlock,
                                              HttpCancellation* cancellation = nullptr) override;

    // The process's client.
    static CurlHttpClient& shared();

private:
    class Connections;
    std::unique_ptr<Connections> connections_;
    std::string caFile_;
};

}  // namespace sorvane
