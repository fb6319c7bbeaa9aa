#include "http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

namespace {

std::string Header(const std::string& head, const std::string& name) {
    std::string lower;
    for (char c : head) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    size_t at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos) return "";
    size_t start = at + name.size() + 3;
    size_t end = head.find("\r\n", start);
    std::string value = head.substr(start, end - start);
    while (!value.empty() && value[0] == ' ') value.erase(0, 1);
    return value;
}

void SendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

std::string Reply(int status, const std::string& type, const std::string& body,
                  const std::string& extra = "") {
    return "HTTP/1.0 " + std::to_string(status) + " X\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

}  // namespace

HttpTestServer::HttpTestServer() {
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listen_, 16);
    socklen_t length = sizeof address;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
}

HttpTestServer::~HttpTestServer() {
    stopping_ = true;
    shutdown(listen_, SHUT_RDWR);
    acceptor_.join();
    close(listen_);
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& connection : connections_) connection.join();
}

std::string HttpTestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void HttpTestServer::SetDocument(std::string type, std::string body) {
    std::lock_guard<std::mutex> lock(mutex_);
    type_ = std::move(type);
    body_ = std::move(body);
}

void HttpTestServer::Accept() {
    while (!stopping_) {
        int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        std::lock_guard<std::mutex> lock(mutex_);
        connections_.emplace_back([this, fd] { Serve(fd); });
    }
}

void HttpTestServer::Serve(int fd) {
    std::string request;
    char buffer[4096];
    size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos) {
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            close(fd);
            return;
        }
        request.append(buffer, static_cast<size_t>(n));
        headEnd = request.find("\r\n\r\n");
    }
    std::string head = request.substr(0, headEnd + 2);
    size_t length = std::strtoul(Header(head, "content-length").c_str(), nullptr, 10);
    while (request.size() < headEnd + 4 + length) {
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
    }
    std::string method = head.substr(0, head.find(' '));
    size_t pathStart = head.find(' ') + 1;
    std::string path = head.substr(pathStart, head.find(' ', pathStart) - pathStart);
    std::string body = request.substr(headEnd + 4);
    std::string reply;
    if (path == "/doc") {
        std::lock_guard<std::mutex> lock(mutex_);
        reply = Reply(200, type_, body_);
    } else if (path == "/echo") {
        reply = Reply(200, "text/plain",
                      "method=" + method + ";cookie=" + Header(head, "cookie") +
                          ";type=" + Header(head, "content-type") + ";body=" + body);
    } else if (path == "/same-redirect") {
        reply = Reply(302, "text/html", "moved", "Location: " + Url("/doc") + "\r\n");
    } else if (path == "/other-redirect") {
        reply = Reply(302, "text/html", "moved",
                      "Location: http://localhost:" + std::to_string(port_) + "/doc\r\n");
    } else if (path == "/hang") {
        while (!stopping_) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 50) > 0) {
                if (recv(fd, buffer, sizeof buffer, 0) <= 0) break;
            }
        }
    } else {
        reply = Reply(404, "text/html", "<html>not here</html>");
    }
    SendAll(fd, reply);
    close(fd);
}
