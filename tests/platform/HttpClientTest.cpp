#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/HttpClient.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TlsLoopbackServer.h"

using namespace std::chrono_literals;
using sorvane::CurlHttpClient;
using sorvane::HttpCancellation;
using sorvane::HttpRequest;
using sorvane::HttpResponse;
using sorvane::RedirectPolicy;
using sorvane::URLError;
using sorvane::testing::LoopbackServer;
using sorvane::testing::waitUntil;

namespace {

HttpRequest at(std::string url, std::chrono::milliseconds requestTimeout = 60s,
               std::chrono::milliseconds resourceTimeout = 600s,
               RedirectPolicy redirects = RedirectPolicy::never) {
    HttpRequest request;
    request.url = std::move(url);
    request.requestTimeout = requestTimeout;
    request.resourceTimeout = resourceTimeout;
    request.redirects = redirects;
    return request;
}

struct Streamed {
    std::vector<std::string> lines;
    int statusAtHead = 0;
    size_t linesAtHead = 99;
};

auto streamFrom(const std::string& url, Streamed& out, std::chrono::milliseconds requestTimeout = 60s,
                std::chrono::milliseconds resourceTimeout = 600s) {
    HttpRequest request = at(url, requestTimeout, resourceTimeout);
    return CurlHttpClient::shared().stream(
        request,
        [&](const HttpResponse& head) {
            out.statusAtHead = head.status;
            out.linesAtHead = out.lines.size();
        },
        [&](std::string_view line) { out.lines.emplace_back(line); });
}

// Sends the pieces as separate chunks, each flushed, then ends (or hangs up).
void serveChunks(httplib::Response& res, std::vector<std::string> pieces, bool hangUp = false) {
    res.set_chunked_content_provider("text/event-stream", [pieces, hangUp](size_t, httplib::DataSink& sink) {
        for (const auto& piece : pieces) {
            if (!sink.write(piece.data(), piece.size())) return false;  // the client has gone
            std::this_thread::sleep_for(5ms);
        }
        if (hangUp) return false;
        sink.done();
        return true;
    });
}

}  // namespace

TEST(HttpClient, WholeBodyCarriesStatusHeadersAndBody) {
    LoopbackServer server;
    std::string seenBody, seenMethod, seenAuth, seenContentType;
    bool sawExpect = true;
    server->Put("/items", [&](const httplib::Request& req, httplib::Response& res) {
        seenMethod = req.method;
        seenBody = req.body;
        seenAuth = req.get_header_value("Authorization");
        seenContentType = req.get_header_value("Content-Type");
        sawExpect = req.has_header("Expect");
        res.status = 201;
        res.set_header("X-Request-Id", "abc");
        res.set_content("created", "text/plain");
    });
    server.start();

    HttpRequest request;
    request.method = "PUT";
    request.url = server.baseURL() + "/items";
    request.headers = {{"Content-Type", "application/json"}, {"Authorization", "Bearer k"}};
    request.body = std::string(4096, 'x');  // large enough that curl would ask for 100-continue
    auto response = CurlHttpClient::shared().send(request);

    ASSERT_TRUE(response) << response.error().description;
    EXPECT_EQ(response->status, 201);
    EXPECT_EQ(response->body, "created");
    EXPECT_EQ(response->header("x-request-id"), "abc");
    EXPECT_EQ(response->header("Content-Type"), "text/plain");
    EXPECT_EQ(response->header("X-Missing"), std::nullopt);
    EXPECT_EQ(seenMethod, "PUT");
    EXPECT_EQ(seenBody, request.body);
    EXPECT_EQ(seenAuth, "Bearer k");
    EXPECT_EQ(seenContentType, "application/json");
    EXPECT_FALSE(sawExpect);
}

TEST(HttpClient, ErrorStatusIsAResponseNotAnError) {
    LoopbackServer server;
    server->Get("/gone", [](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_content("{\"error\":\"x\"}", "application/json");
    });
    server.start();
    auto response = CurlHttpClient::shared().send(at(server.baseURL() + "/gone"));
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 500);
    EXPECT_EQ(response->body, "{\"error\":\"x\"}");
}

TEST(HttpClient, StreamSplitsLinesOnEveryEndingAcrossChunks) {
    struct Case {
        std::vector<std::string> pieces;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {{"a\nb\n"}, {"a", "b"}},
        {{"a\r\nb\r\n"}, {"a", "b"}},
        {{"a\rb\r"}, {"a", "b"}},
        {{"a\r", "\nb"}, {"a", "b"}},  // CRLF split between chunks; last line unterminated
        {{"da", "ta: 1\n\n", "x"}, {"data: 1", "", "x"}},
        {{"\n\r\n\r"}, {"", "", ""}},
        {{"one\r", "\r\ntwo"}, {"one", "", "two"}},
    };
    for (const auto& c : cases) {
        LoopbackServer server;
        server->Get("/s",
                    [&](const httplib::Request&, httplib::Response& res) { serveChunks(res, c.pieces); });
        server.start();
        Streamed out;
        auto result = streamFrom(server.baseURL() + "/s", out);
        ASSERT_TRUE(result) << result.error().description;
        EXPECT_EQ(out.lines, c.lines) << ::testing::PrintToString(c.pieces);
        EXPECT_EQ(out.statusAtHead, 200);
        EXPECT_EQ(out.linesAtHead, 0u);
        EXPECT_TRUE(result->body.empty());
    }
}

TEST(HttpClient, StreamDeliversLinesAsTheyArrive) {
    LoopbackServer server;
    std::atomic<int> delivered{0};
    std::atomic<bool> sawFirstBeforeSecondSent{false};
    server->Get("/s", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [&](size_t, httplib::DataSink& sink) {
            sink.write("first\n", 6);
            waitUntil([&] { return delivered.load() > 0; });
            sawFirstBeforeSecondSent = delivered.load() == 1;
            sink.write("second\n", 7);
            sink.done();
            return true;
        });
    });
    server.start();
    std::vector<std::string> lines;
    auto result =
        CurlHttpClient::shared().stream(at(server.baseURL() + "/s"), nullptr, [&](std::string_view line) {
            lines.emplace_back(line);
            ++delivered;
        });
    ASSERT_TRUE(result);
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(sawFirstBeforeSecondSent);
}

TEST(HttpClient, StalledServerTimesOut) {
    LoopbackServer server;
    server->Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [&](size_t, httplib::DataSink& sink) {
            sink.write("x\n", 2);
            server.hold(10s);
            return false;
        });
    });
    server.start();
    Streamed out;
    auto start = std::chrono::steady_clock::now();
    auto result = streamFrom(server.baseURL() + "/stall", out, 200ms);
    auto took = std::chrono::steady_clock::now() - start;
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, URLError::timedOut);
    EXPECT_EQ(result.error().token(), "URLError(-1001)");
    EXPECT_EQ(out.lines, std::vector<std::string>{"x"});
    EXPECT_GE(took, 190ms);
    EXPECT_LT(took, 1s);
}

TEST(HttpClient, RequestTimeoutIsIdleTimeNotTotal) {
    LoopbackServer server;
    server->Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [&](size_t, httplib::DataSink& sink) {
            for (int i = 0; i < 8; ++i) {
                sink.write("tick\n", 5);
                server.hold(100ms);
            }
            sink.done();
            return true;
        });
    });
    server.start();
    // Ticks 100 ms apart for 800 ms: a limit of 600 ms on the time between
    // two of them holds unless a tick comes half a second late; on the whole
    // transfer it would end it.
    Streamed out;
    auto moving = streamFrom(server.baseURL() + "/slow", out, 600ms);
    ASSERT_TRUE(moving) << moving.error().description;
    EXPECT_EQ(out.lines.size(), 8u);

    Streamed cut;
    auto bounded = streamFrom(server.baseURL() + "/slow", cut, 600ms, 400ms);
    ASSERT_FALSE(bounded);
    EXPECT_EQ(bounded.error().code, URLError::timedOut);
    EXPECT_LT(cut.lines.size(), 8u);
}

TEST(HttpClient, ClosedPortCannotConnect) {
    auto result = CurlHttpClient::shared().send(
        at("http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort()) + "/"));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, URLError::cannotConnectToHost);
    EXPECT_FALSE(result.error().description.empty());
}

TEST(HttpClient, ServerClosingMidLineLosesTheConnection) {
    LoopbackServer server;
    server->Get("/cut", [](const httplib::Request&, httplib::Response& res) {
        serveChunks(res, {"data: whole\n", "data: hal"}, /*hangUp=*/true);
    });
    server.start();
    Streamed out;
    auto result = streamFrom(server.baseURL() + "/cut", out);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, URLError::networkConnectionLost);
    // The cut line is never handed over as if it were whole.
    EXPECT_EQ(out.lines, std::vector<std::string>{"data: whole"});
}

TEST(HttpClient, CancelFromAnotherThreadEndsAStalledTransferAtOnce) {
    LoopbackServer server;
    server->Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [&](size_t, httplib::DataSink& sink) {
            sink.write("x\n", 2);
            server.hold(10s);
            return false;
        });
    });
    server.start();
    HttpCancellation cancellation;
    std::atomic<bool> started{false};
    std::chrono::steady_clock::time_point cancelledAt;
    std::thread canceller([&] {
        waitUntil([&] { return started.load(); });
        std::this_thread::sleep_for(50ms);
        cancelledAt = std::chrono::steady_clock::now();
        cancellation.cancel();
    });
    auto result = CurlHttpClient::shared().stream(
        at(server.baseURL() + "/stall", 30s), nullptr, [&](std::string_view) { started = true; },
        &cancellation);
    auto endedAt = std::chrono::steady_clock::now();
    canceller.join();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, URLError::cancelled);
    // A cancel that did not wake the transfer would end it at curl's next
    // look, about a second later.
    EXPECT_LT(endedAt - cancelledAt, 500ms);
}

TEST(HttpClient, CancelledBeforehandSendsNothing) {
    LoopbackServer server;
    std::atomic<int> hits{0};
    server->Get("/", [&](const httplib::Request&, httplib::Response& res) {
        ++hits;
        res.set_content("", "text/plain");
    });
    server.start();
    HttpCancellation cancellation;
    cancellation.cancel();
    auto result = CurlHttpClient::shared().send(at(server.baseURL() + "/"), &cancellation);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, URLError::cancelled);
    EXPECT_EQ(hits, 0);
}

TEST(HttpClient, RedirectsFollowPolicy) {
    LoopbackServer server;
    std::atomic<int> targetHits{0};
    server->Get("/moved",
                [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/target"); });
    server->Get("/target", [&](const httplib::Request&, httplib::Response& res) {
        ++targetHits;
        res.set_content("here", "text/plain");
    });
    server.start();

    auto api = CurlHttpClient::shared().send(at(server.baseURL() + "/moved"));
    ASSERT_TRUE(api);
    EXPECT_EQ(api->status, 302);
    EXPECT_EQ(api->header("Location"), "/target");

    // A download may only be sent on to https; this plain-http hop is refused.
    auto download =
        CurlHttpClient::shared().send(at(server.baseURL() + "/moved", 60s, 600s, RedirectPolicy::httpsOnly));
    ASSERT_FALSE(download);
    EXPECT_EQ(download.error().code, URLError::redirectRefused);
    EXPECT_EQ(targetHits, 0);
}

TEST(HttpClient, HandlerExceptionEndsTheTransferAndPropagates) {
    LoopbackServer server;
    server->Get("/s", [](const httplib::Request&, httplib::Response& res) {
        serveChunks(res, {"a\n", "b\n"});
    });
    server.start();
    EXPECT_THROW(CurlHttpClient::shared().stream(at(server.baseURL() + "/s"), nullptr,
                                                 [](std::string_view) { throw std::runtime_error("stop"); }),
                 std::runtime_error);
}

namespace {

// The client-side ports the server saw requests come from, in order: one
// port per connection.
class PortLog {
public:
    void add(const httplib::Request& req) {
        std::lock_guard lock(mutex_);
        ports_.push_back(req.remote_port);
    }
    std::vector<int> ports() const {
        std::lock_guard lock(mutex_);
        return ports_;
    }
    int last() const {
        std::lock_guard lock(mutex_);
        return ports_.empty() ? -1 : ports_.back();
    }

private:
    mutable std::mutex mutex_;
    std::vector<int> ports_;
};

}  // namespace

TEST(HttpClient, CallsOneAfterAnotherShareOneConnection) {
    LoopbackServer server;
    PortLog log;
    server->Get("/ok", [&](const httplib::Request& req, httplib::Response& res) {
        log.add(req);
        res.set_content("ok", "text/plain");
    });
    server->Post("/s", [&](const httplib::Request& req, httplib::Response& res) {
        log.add(req);
        serveChunks(res, {"a\n", "b\n"});
    });
    server.start();
    CurlHttpClient client;

    auto first = client.send(at(server.baseURL() + "/ok"));
    ASSERT_TRUE(first) << first.error().description;
    HttpRequest post = at(server.baseURL() + "/s");
    post.method = "POST";
    post.body = "{}";
    std::vector<std::string> lines;
    auto streamed = client.stream(post, nullptr, [&](std::string_view line) { lines.emplace_back(line); });
    ASSERT_TRUE(streamed) << streamed.error().description;
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b"}));
    // A later call from another thread still finds the connection.
    std::optional<sorvane::Expected<HttpResponse, URLError>> third;
    std::thread([&] { third = client.send(at(server.baseURL() + "/ok")); }).join();
    ASSERT_TRUE(third && *third);
    EXPECT_EQ((*third)->body, "ok");

    auto ports = log.ports();
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[1], ports[0]);
    EXPECT_EQ(ports[2], ports[0]);
}

TEST(HttpClient, CallsAtTheSameTimeRunOnTheirOwnConnections) {
    LoopbackServer server;
    PortLog log;
    std::atomic<int> inside{0};
    server->Get("/meet", [&](const httplib::Request& req, httplib::Response& res) {
        log.add(req);
        ++inside;
        // Answers only once both calls are in flight together.
        waitUntil([&] { return inside.load() >= 2; });
        res.set_content(inside.load() >= 2 ? "together" : "alone", "text/plain");
    });
    server.start();
    CurlHttpClient client;

    std::optional<sorvane::Expected<HttpResponse, URLError>> a, b;
    std::thread other([&] { a = client.send(at(server.baseURL() + "/meet")); });
    b = client.send(at(server.baseURL() + "/meet"));
    other.join();
    ASSERT_TRUE(a && *a && b && *b);
    EXPECT_EQ((*a)->body, "together");
    EXPECT_EQ((*b)->body, "together");
    auto ports = log.ports();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_NE(ports[0], ports[1]);

    // Both connections stay open; the next call takes one of them.
    auto next = client.send(at(server.baseURL() + "/meet", 5s));
    ASSERT_TRUE(next);
    EXPECT_TRUE(log.last() == ports[0] || log.last() == ports[1]);
}

TEST(HttpClient, BrokenTransferLeavesNoConnectionForTheNextCall) {
    enum class Break { cancelled, idleTimeout, resourceTimeout, handlerThrew, serverHungUp };
    struct Case {
        const char* name;
        Break how;
        int code;  // none when the handler's exception ends the call
    };
    const std::vector<Case> cases = {
        {"cancelled", Break::cancelled, URLError::cancelled},
        {"idle timeout", Break::idleTimeout, URLError::timedOut},
        {"resource timeout", Break::resourceTimeout, URLError::timedOut},
        {"handler threw", Break::handlerThrew, 0},
        {"server hung up", Break::serverHungUp, URLError::networkConnectionLost},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server;
        PortLog log;
        server->Get("/ok", [&](const httplib::Request& req, httplib::Response& res) {
            log.add(req);
            res.set_content("ok", "text/plain");
        });
        // Sends a line, then stalls, or hangs up halfway through a line.
        server->Get("/broken", [&](const httplib::Request& req, httplib::Response& res) {
            log.add(req);
            if (c.how == Break::serverHungUp) {
                serveChunks(res, {"data: whole\n", "data: hal"}, /*hangUp=*/true);
                return;
            }
            res.set_chunked_content_provider("text/plain", [&](size_t, httplib::DataSink& sink) {
                sink.write("x\n", 2);
                server.hold(10s);
                return false;
            });
        });
        server.start();
        CurlHttpClient client;

        ASSERT_TRUE(client.send(at(server.baseURL() + "/ok")));
        HttpRequest broken = at(server.baseURL() + "/broken", c.how == Break::idleTimeout ? 150ms : 30s,
                                c.how == Break::resourceTimeout ? 150ms : 600s);
        HttpCancellation cancellation;
        std::atomic<bool> gotLine{false};
        std::thread canceller;
        if (c.how == Break::cancelled) {
            canceller = std::thread([&] {
                waitUntil([&] { return gotLine.load(); });
                cancellation.cancel();
            });
        }
        auto onLine = [&](std::string_view) {
            gotLine = true;
            if (c.how == Break::handlerThrew) throw std::runtime_error("stop");
        };
        int code = 0;
        try {
            auto result = client.stream(broken, nullptr, onLine, &cancellation);
            EXPECT_FALSE(result);
            if (!result) code = result.error().code;
        } catch (const std::runtime_error&) {
        }
        if (canceller.joinable()) canceller.join();
        EXPECT_EQ(code, c.code);
        auto ports = log.ports();
        ASSERT_EQ(ports.size(), 2u);
        EXPECT_EQ(ports[1], ports[0]);  // the broken transfer did run on the reused connection

        auto next = client.send(at(server.baseURL() + "/ok", 2s));
        ASSERT_TRUE(next) << next.error().description;
        EXPECT_EQ(next->status, 200);
        EXPECT_EQ(next->body, "ok");
        EXPECT_NE(log.last(), ports[1]);
    }
}

TEST(HttpClient, ServerClosingAnIdleConnectionIsNoFailure) {
    LoopbackServer server;
    PortLog log;
    std::vector<std::string> bodies;
    server->Post("/echo", [&](const httplib::Request& req, httplib::Response& res) {
        log.add(req);
        bodies.push_back(req.body);
        res.set_content(req.body, "text/plain");
    });
    server.start();
    CurlHttpClient client;

    for (const char* body : {"one", "two"}) {
        HttpRequest request = at(server.baseURL() + "/echo");
        request.method = "POST";
        request.body = body;
        auto response = client.send(request);
        ASSERT_TRUE(response) << response.error().description;
        EXPECT_EQ(response->body, body);
        server.hangUp();  // the connection now idles in the client's pool
    }
    EXPECT_EQ(bodies, (std::vector<std::string>{"one", "two"}));
    auto ports = log.ports();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_NE(ports[0], ports[1]);
}

// Nothing leaves with a header that holds a control character: it could end
// the line and smuggle in a header of its own.
TEST(HttpClient, HeaderWithAControlCharacterIsRefusedBeforeSending) {
    LoopbackServer server;
    std::atomic<int> hits{0};
    std::string seenTabbed;
    server->Get("/", [&](const httplib::Request& req, httplib::Response& res) {
        ++hits;
        seenTabbed = req.get_header_value("X-Tabbed");
        res.set_content("ok", "text/plain");
    });
    server.start();
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"X-Token", "a\r\nX-Evil: 1"},
        {"X-Token", "a\nb"},
        {"X-Token", std::string("a\0b", 3)},
        {"X-Token", "a\x01"},
        {"X-Token", "a\x7f"},
        {"X-Bad\x1f", "v"},
        {"", "v"},
    };
    for (const auto& header : refused) {
        HttpRequest request = at(server.baseURL() + "/");
        request.headers = {header};
        auto result = CurlHttpClient::shared().send(request);
        ASSERT_FALSE(result) << ::testing::PrintToString(header);
        EXPECT_EQ(result.error().code, URLError::badHeader);
        auto streamed = CurlHttpClient::shared().stream(request, nullptr, [](std::string_view) {});
        ASSERT_FALSE(streamed);
        EXPECT_EQ(streamed.error().code, URLError::badHeader);
    }
    EXPECT_EQ(hits, 0);
    HttpRequest tabbed = at(server.baseURL() + "/");
    tabbed.headers = {{"X-Tabbed", "a\tb"}};
    ASSERT_TRUE(CurlHttpClient::shared().send(tabbed));
    EXPECT_EQ(seenTabbed, "a\tb");
}

// A reply body is read up to its limit and no further, whole or streamed.
TEST(HttpClient, BodyOverItsLimitEndsTheTransfer) {
    LoopbackServer server;
    const std::size_t limit = 1 << 20;
    server->Get("/exact", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(limit, 'x'), "text/plain");
    });
    server->Get("/over", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(limit + 1, 'x'), "text/plain");
    });
    server->Get("/endless", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/event-stream", [](size_t, httplib::DataSink& sink) {
            const std::string line = std::string(1023, 'y') + "\n";
            for (int i = 0; i < 4096; ++i)
                if (!sink.write(line.data(), line.size())) return false;
            sink.done();
            return true;
        });
    });
    server.start();
    HttpRequest request = at(server.baseURL() + "/exact");
    ASSERT_EQ(request.bodyLimit, limit);
    auto exact = CurlHttpClient::shared().send(request);
    ASSERT_TRUE(exact) << exact.error().description;
    EXPECT_EQ(exact->body.size(), limit);
    auto over = CurlHttpClient::shared().send(at(server.baseURL() + "/over"));
    ASSERT_FALSE(over);
    EXPECT_EQ(over.error().code, URLError::dataLengthExceedsMaximum);
    Streamed out;
    auto endless = streamFrom(server.baseURL() + "/endless", out);
    ASSERT_FALSE(endless);
    EXPECT_EQ(endless.error().code, URLError::dataLengthExceedsMaximum);
    EXPECT_EQ(out.lines.size(), 1024u) << "exactly the lines within the limit";
}

TEST(HttpClient, EveryTransportFailureReadsAsTheSystemWordsIt) {
    // Whatever libcurl said stays out of what a user reads: only the table's
    // Chinese text, with libcurl's own words kept apart for the log.
    const auto speaksEnglish = [](const std::string& text) {
        int letters = 0;
        for (char c : text) {
            letters = std::isalpha(static_cast<unsigned char>(c)) ? letters + 1 : 0;
            if (letters > 3) return true;  // "SSL" and "URL" are the system's own words
        }
        return false;
    };
    std::set<std::string> texts;
    for (int code : {URLError::unknown, URLError::cancelled, URLError::badHeader, URLError::timedOut,
                     URLError::cannotFindHost, URLError::cannotConnectToHost, URLError::networkConnectionLost,
                     URLError::tooManyRedirects, URLError::notConnectedToInternet, URLError::redirectRefused,
                     URLError::dataLengthExceedsMaximum, URLError::secureConnectionFailed,
                     URLError::serverCertificateUntrusted}) {
        const URLError error = URLError::withCode(code);
        EXPECT_EQ(error.code, code);
        EXPECT_FALSE(speaksEnglish(error.description)) << error.description;
        EXPECT_TRUE(texts.insert(error.description).second) << error.description;
    }
    EXPECT_EQ(URLError::withCode(-1234).description, URLError::withCode(URLError::unknown).description);

    LoopbackServer plain;
    plain->Get("/cut", [](const httplib::Request&, httplib::Response& res) {
        serveChunks(res, {"data: hal"}, /*hangUp=*/true);
    });
    plain->Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [&](size_t, httplib::DataSink&) {
            plain.hold(10s);
            return false;
        });
    });
    plain->Get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/cut"); });
    plain.start();
    sorvane::testing::TlsLoopbackServer tls;
    tls->Get("/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
    tls->Get("/moved", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(plain.baseURL() + "/cut");
    });
    tls.start();
    CurlHttpClient trusting(tls.caFile());
    const std::string closed = "http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort()) + "/";
    HttpCancellation cancelled;
    cancelled.cancel();

    struct Case {
        const char* name;
        CurlHttpClient& client;
        HttpRequest request;
        int code;
        HttpCancellation* cancellation = nullptr;
    };
    Case cases[] = {
        {"closed port", CurlHttpClient::shared(), at(closed), URLError::cannotConnectToHost},
        {"hung up", CurlHttpClient::shared(), at(plain.baseURL() + "/cut"), URLError::networkConnectionLost},
        {"stalled", CurlHttpClient::shared(), at(plain.baseURL() + "/stall", 150ms), URLError::timedOut},
        {"cancelled", CurlHttpClient::shared(), at(plain.baseURL() + "/cut"), URLError::cancelled,
         &cancelled},
        {"untrusted certificate", CurlHttpClient::shared(), at(tls.baseURL() + "/loop"),
         URLError::serverCertificateUntrusted},
        {"TLS to a plain server", trusting, at("https://127.0.0.1:" + std::to_string(plain.port()) + "/cut"),
         URLError::secureConnectionFailed},
        {"sent on to http", trusting, at(tls.baseURL() + "/moved", 60s, 600s, RedirectPolicy::httpsOnly),
         URLError::redirectRefused},
        {"sent on forever", trusting, at(tls.baseURL() + "/loop", 60s, 600s, RedirectPolicy::httpsOnly),
         URLError::tooManyRedirects},
        {"another scheme", CurlHttpClient::shared(), at("ftp://127.0.0.1/"), URLError::unknown},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto result = c.client.send(c.request, c.cancellation);
        ASSERT_FALSE(result);
        const URLError& error = result.error();
        EXPECT_EQ(error.code, c.code);
        const std::string host = c.code == URLError::serverCertificateUntrusted ? "127.0.0.1" : "";
        EXPECT_EQ(error.description, URLError::withCode(c.code, {}, host).description);
        EXPECT_FALSE(speaksEnglish(error.description)) << error.description;
        if (c.code != URLError::cancelled && c.code != URLError::timedOut) {
            EXPECT_FALSE(error.detail.empty());
            EXPECT_EQ(error.logText(), error.description + " (" + error.detail + ")");
        }
    }
}
