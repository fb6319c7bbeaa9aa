// Plain POSIX sockets: the raw copy is the yardstick, so nothing of ours is in its way.
#include "loopback_copy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

namespace request_bench {

double LoopbackCopySeconds(const std::string& bytes) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(listener);
        return -1;
    }
    std::thread sender([&] {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) return;
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        close(fd);
    });
    const auto start = std::chrono::steady_clock::now();
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    size_t received = 0;
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::vector<char> buffer(1 << 16);
        for (;;) {
            const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
            if (n <= 0) break;
            received += static_cast<size_t>(n);
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (fd >= 0) close(fd);
    sender.join();
    close(listener);
    return received == bytes.size() ? seconds : -1;
}

}  // namespace request_bench
