#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "arc_platform.h"
#include "tcp_connection.h"

ArcCOM_Connection::~ArcCOM_Connection() {
    if (socket >= 0) close(socket);
}

namespace qel::transport {
namespace {

struct AddressList {
    addrinfo* head = nullptr;
    ~AddressList() {
        if (head) freeaddrinfo(head);
    }
};

void SetOptions(int fd) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
}

std::string NumericAddress(const addrinfo& ai) {
    char text[NI_MAXHOST] = {};
    if (getnameinfo(ai.ai_addr, ai.ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0) {
        return "?";
    }
    return text;
}

// One address: 0 connected (fd kept in *fd), 2 this address failed, 15 the deadline passed.
int TryAddress(const addrinfo& ai, CancelGate& gate, int64_t deadline, ArcCOM_YieldFn yield, int* fd) {
    int s = socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai.ai_protocol);
    if (s < 0) return ARCCOM_FAILED;
    int rc = connect(s, ai.ai_addr, ai.ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
        WaitResult w = gate.Wait(s, POLLOUT, deadline, yield);
        if (w == WaitResult::Ready) {
            int error = 0;
            socklen_t size = sizeof error;
            rc = getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0 ? 0 : -1;
        } else {
            close(s);
            return w == WaitResult::TimedOut ? ARCCOM_TIMED_OUT : ARCCOM_FAILED;
        }
    }
    if (rc != 0) {
        close(s);
        return ARCCOM_FAILED;
    }
    *fd = s;
    return ARCCOM_OK;
}

}  // namespace

int ConnectTcp(const ServerDefinition& def, ArcCOM_YieldFn yield, std::unique_ptr<ArcCOM_Connection>* out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    char service[8];
    std::snprintf(service, sizeof service, "%u", static_cast<unsigned>(def.port));
    AddressList addresses;
    int gai = getaddrinfo(def.host.c_str(), service, &hints, &addresses.head);
    if (gai != 0) return gai == EAI_MEMORY ? ARCCOM_NO_MEMORY : ARCCOM_FAILED;

    auto connection = std::make_unique<ArcCOM_Connection>();
    if (!connection->gate.Open()) return ARCCOM_FAILED;
    int64_t deadline = ArcOS_MonotonicMs() + int64_t{def.connectTimeoutSeconds} * 1000;
    connection->gate.StartYieldClock();
    int result = ARCCOM_FAILED;
    for (const addrinfo* ai = addresses.head; ai; ai = ai->ai_next) {
        result = TryAddress(*ai, connection->gate, deadline, yield, &connection->socket);
        if (result == ARCCOM_OK) {
            connection->address = NumericAddress(*ai);
            break;
        }
        if (result == ARCCOM_TIMED_OUT) return result;
    }
    if (result != ARCCOM_OK) return result;
    SetOptions(connection->socket);
    connection->host = def.host;
    connection->port = def.port;
    connection->idleTimeoutMs = int64_t{def.idleTimeoutSeconds} * 1000;
    connection->yield = yield;
    *out = std::move(connection);
    return ARCCOM_OK;
}

}  // namespace qel::transport
