// http_test_server.h - a small HTTP/1.0 server on a loopback port for the host's tests.
//   /doc            200, the document set with SetDocument
//   /echo           200 text/plain: "method=..;cookie=..;type=..;body=.."
//   /same-redirect  302 to /doc on the same host
//   /other-redirect 302 to /doc on "localhost" (another host name)
//   /hang           never answers
//   anything else   404
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class HttpTestServer {
public:
    HttpTestServer();
    ~HttpTestServer();
    int Port() const { return port_; }
    std::string Url(const std::string& path) const;
    void SetDocument(std::string type, std::string body);

private:
    void Accept();
    void Serve(int fd);

    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::string type_ = "image/tiff";
    std::string body_ = "document";
};
