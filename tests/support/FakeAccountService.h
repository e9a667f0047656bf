#pragma once
// A loopback stand-in for the account service: records every request under
// "/brindor/api/" and answers with the replies a test queues per path.
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kit/route/SecretStore.h"
#include "tests/support/LoopbackServer.h"

namespace sorvane::testing {

struct RecordedRequest {
    std::string method;
    std::string path;  // below the base path, e.g. "auth/me"
    std::string body;
    httplib::Headers headers;

    std::optional<std::string> header(const std::string& name) const {
        auto it = headers.find(name);
        if (it == headers.end()) return std::nullopt;
        return it->second;
    }
};

struct ServiceReply {
    int status = 200;
    std::string body;
    std::map<std::string, std::string> headers;
    std::chrono::milliseconds delay{0};

    ServiceReply() = default;
    ServiceReply(int status, std::string body, std::map<std::string, std::string> headers = {},
                 std::chrono::milliseconds delay = {})
        : status(status), body(std::move(body)), headers(std::move(headers)), delay(delay) {}
};

class FakeAccountService {
public:
    FakeAccountService() {
        auto handler = [this](const httplib::Request& request, httplib::Response& response) {
            ServiceReply reply;
            {
                std::lock_guard lock(mutex_);
                std::string path = request.matches[1];
                requests_.push_back({request.method, path, request.body, request.headers});
                auto& queue = replies_[path];
                if (!queue.empty()) {
                    reply = queue.front();
                    if (queue.size() > 1) queue.pop_front();
                } else {
                    reply = {404, R"({"success":false,"error":"no such endpoint"})", {}, {}};
                }
            }
            if (reply.delay.count() > 0) server_.hold(reply.delay);
            response.status = reply.status;
            for (const auto& [name, value] : reply.headers) response.set_header(name, value);
            response.set_content(reply.body, "application/json");
        };
        server_->Get("/brindor/api/(.*)", handler);
        server_->Post("/brindor/api/(.*)", handler);
        server_.start();
    }

    std::string baseURL() const { return server_.baseURL() + "/brindor/api"; }

    // Replies in turn to requests of `path`; the last one repeats.
    void reply(const std::string& path, ServiceReply reply) {
        std::lock_guard lock(mutex_);
        replies_[path].push_back(std::move(reply));
    }

    // From now on, replies go out without their delay.
    void release() { server_.release(); }

    std::vector<RecordedRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    std::size_t count(const std::string& path) const {
        std::lock_guard lock(mutex_);
        std::size_t n = 0;
        for (const auto& r : requests_) n += r.path == path;
        return n;
    }

private:
    mutable std::mutex mutex_;
    std::vector<RecordedRequest> requests_;
    std::map<std::string, std::deque<ServiceReply>> replies_;
    LoopbackServer server_;  // last: stopped before the state its handlers use
};

// Secrets in memory, with writes that can be made to fail.
class FakeSecretStore final : public SecretStore {
public:
    std::optional<std::string> read(std::string_view account) override {
        std::lock_guard lock(mutex_);
        auto it = values_.find(std::string(account));
        if (it == values_.end()) return std::nullopt;
        return it->second;
    }
    Expected<void, Secrets::KeychainError> write(std::string_view value, std::string_view account) override {
        std::lock_guard lock(mutex_);
        if (failWrites_) return unexpected(Secrets::KeychainError{failWrites_});
        values_[std::string(account)] = std::string(value);
        return {};
    }
    void remove(std::string_view account) override {
        std::lock_guard lock(mutex_);
        values_.erase(std::string(account));
    }
    void failWrites(KeychainStatus status) {
        std::lock_guard lock(mutex_);
        failWrites_ = status;
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::string> values_;
    KeychainStatus failWrites_ = 0;
};

}  // namespace sorvane::testing
