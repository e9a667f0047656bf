#pragma once
// An HTTP server on 127.0.0.1 for tests of the network clients. Register the
// handlers on server(), then start(); the destructor releases any handler
// waiting in hold() and stops the server.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace sorvane::testing {

class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    httplib::Server& server() { return *server_; }
    httplib::Server* operator->() { return server_.get(); }

    void start();
    int port() const { return port_; }
    // "http://127.0.0.1:<port>" ("https" for a TLS server)
    std::string baseURL() const;
    // Hangs up on every client, as a server that drops idle connections does.
    void hangUp();

    // For handlers that stall: waits until the time passes, release() is
    // called or the server goes down. Returns false when it is going down.
    bool hold(std::chrono::milliseconds duration);
    // Ends every hold, under way or to come.
    void release();

    // A loopback port nothing listens on.
    static int closedPort();

protected:
    LoopbackServer(std::unique_ptr<httplib::Server> server, std::string scheme);

private:
    std::unique_ptr<httplib::Server> server_;
    std::string scheme_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable released_;
    bool stopping_ = false;
    bool releasing_ = false;
};

}  // namespace sorvane::testing
