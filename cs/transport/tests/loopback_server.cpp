#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace qel::transport::test {

LoopbackServer::LoopbackServer(Behaviour behaviour, int backlog, bool accept)
    : behaviour_(std::move(behaviour)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket");
    int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, backlog) != 0) {
        close(listener_);
        throw std::runtime_error("bind/listen");
    }
    socklen_t size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    if (accept) acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    stop_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& t : workers) t.join();
    close(listener_);
}

std::string LoopbackServer::Definition(const std::string& extra) const {
    return "HOST=127.0.0.1\nPORT=" + std::to_string(port_) + "\n" + extra;
}

void LoopbackServer::AcceptLoop() {
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++accepted_;
        std::lock_guard lock(mutex_);
        workers_.emplace_back([this, fd] {
            behaviour_(fd, stop_);
            close(fd);
        });
    }
}

bool ReadExactly(int fd, void* data, size_t size, const std::atomic<bool>& stop) {
    auto* p = static_cast<unsigned char*>(data);
    size_t done = 0;
    while (done < size && !stop) {
        pollfd w{fd, POLLIN, 0};
        if (poll(&w, 1, 20) <= 0) continue;
        ssize_t n = recv(fd, p + done, size - done, 0);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return done == size;
}

bool WriteAll(int fd, const void* data, size_t size) {
    auto* p = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = send(fd, p + done, size - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void HoldOpen(int fd, const std::atomic<bool>& stop) {
    char sink[4096];
    while (!stop) {
        pollfd w{fd, POLLIN, 0};
        if (poll(&w, 1, 20) <= 0) continue;
        if (recv(fd, sink, sizeof sink, 0) <= 0) return;
    }
}

}  // namespace qel::transport::test
