// A small TCP server on 127.0.0.1 for the transport tests: one thread per accepted
// connection runs the test's behaviour.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qel::transport::test {

class LoopbackServer {
public:
    // fd: the accepted socket (closed after the behaviour returns); stop: set when the
    // server is being torn down, so behaviours that wait must watch it.
    using Behaviour = std::function<void(int fd, const std::atomic<bool>& stop)>;

    explicit LoopbackServer(Behaviour behaviour, int backlog = 16, bool accept = true);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t port() const { return port_; }
    // "HOST=127.0.0.1\nPORT=<port>\n" followed by extra lines.
    std::string Definition(const std::string& extra = "") const;
    int accepted() const { return accepted_.load(); }

private:
    void AcceptLoop();

    Behaviour behaviour_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> workers_;
};

// Helpers for behaviours; all give up when stop is set.
bool ReadExactly(int fd, void* data, size_t size, const std::atomic<bool>& stop);
bool WriteAll(int fd, const void* data, size_t size);
// Waits until the peer closes or stop is set.
void HoldOpen(int fd, const std::atomic<bool>& stop);

}  // namespace qel::transport::test
