#include "tests/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "tests/support/PumpUntil.h"

namespace {

// Calls `use` with every socket of this process bound to the port, each
// through a duplicate, so that a descriptor closed and reused meanwhile is
// never touched.
template <class Use>
void forEachSocketOn(int port, Use use) {
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds) return;
    while (dirent* entry = ::readdir(fds)) {
        char* end = nullptr;
        long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == ::dirfd(fds)) continue;
        int copy = ::fcntl(static_cast<int>(fd), F_DUPFD_CLOEXEC, 0);
        if (copy < 0) continue;
        sockaddr_in local{};
        socklen_t size = sizeof local;
        if (::getsockname(copy, reinterpret_cast<sockaddr*>(&local), &size) == 0 &&
            local.sin_family == AF_INET && ntohs(local.sin_port) == port) {
            use(copy);
        }
        ::close(copy);
    }
    ::closedir(fds);
}

// cpp-httplib's workers wait out their keep-alive time (seconds) on idle
// connections before a stopped server can finish, and a client that pools
// connections keeps them idle. Shutting down every socket on the port hangs
// up on the clients as a server going down would.
void hangUpOnClients(int port) {
    forEachSocketOn(port, [](int socket) { ::shutdown(socket, SHUT_RDWR); });
}

}  // namespace

namespace sorvane::testing {

LoopbackServer::LoopbackServer() : LoopbackServer(std::make_unique<httplib::Server>(), "http") {}

LoopbackServer::LoopbackServer(std::unique_ptr<httplib::Server> server, std::string scheme)
    : server_(std::move(server)), scheme_(std::move(scheme)) {
    // Streaming services send each frame at once; without this, a frame
    // written behind unacknowledged data waits for the client's delayed ACK
    // (tens of ms) on a connection the client reuses. Accepted sockets inherit
    // the option from the listening one.
    server_->set_socket_options([](int sock) {
        httplib::default_socket_options(sock);
        int on = 1;
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
}

LoopbackServer::~LoopbackServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    released_.notify_all();
    server_->stop();
    if (thread_.joinable()) {
        hangUpOnClients(port_);
        thread_.join();
    }
}

void LoopbackServer::start() {
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    if (!waitUntil([this] { return server_->is_running(); }))
        throw std::runtime_error("loopback server not running");
}

void LoopbackServer::hangUp() {
    forEachSocketOn(port_, [](int socket) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        // Not the listening socket: it has no peer.
        if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &size) == 0)
            ::shutdown(socket, SHUT_RDWR);
    });
}

std::string LoopbackServer::baseURL() const {
    return scheme_ + "://127.0.0.1:" + std::to_string(port_);
}

bool LoopbackServer::hold(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    released_.wait_for(lock, duration, [this] { return stopping_ || releasing_; });
    return !stopping_;
}

void LoopbackServer::release() {
    {
        std::lock_guard lock(mutex_);
        releasing_ = true;
    }
    released_.notify_all();
}

int LoopbackServer::closedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    // Bound but never listening: connections to it are refused.
    ::close(fd);
    return port;
}

}  // namespace sorvane::testing
