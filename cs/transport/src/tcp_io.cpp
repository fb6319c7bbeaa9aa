#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "arc_platform.h"
#include "tcp_connection.h"

namespace qel::transport {
namespace {

int ResultOf(WaitResult w) {
    switch (w) {
        case WaitResult::Cancelled: return ARCCOM_CANCELLED;
        case WaitResult::TimedOut: return ARCCOM_TIMED_OUT;
        default: return ARCCOM_FAILED;
    }
}

// The loop both directions share: move, wait when the socket is not ready, give up on
// close, error, cancel or a stretch of idle time.
template <typename Move>
int MoveAll(ArcCOM_Connection& c, int length, short events, Move move) {
    GateCall call(c.gate);
    if (!call.entered()) {
        c.lastError = ARCCOM_CANCELLED;
        return 0;
    }
    int done = 0;
    int result = ARCCOM_OK;
    int64_t deadline = ArcOS_MonotonicMs() + c.idleTimeoutMs;
    while (done < length) {
        ssize_t n = move(done, length - done);
        if (n > 0) {
            done += static_cast<int>(n);
            deadline = ArcOS_MonotonicMs() + c.idleTimeoutMs;
            continue;
        }
        if (n == 0) {  // only recv answers 0: the peer closed
            result = ARCCOM_FAILED;
            break;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            result = ARCCOM_FAILED;
            break;
        }
        WaitResult w = c.gate.Wait(c.socket, events, deadline, c.yield);
        if (w != WaitResult::Ready) {
            result = ResultOf(w);
            break;
        }
    }
    c.lastError = result;
    return done;
}

}  // namespace

int SendAll(ArcCOM_Connection& c, const unsigned char* data, int length) {
    return MoveAll(c, length, POLLOUT, [&](int offset, int count) {
        return send(c.socket, data + offset, static_cast<size_t>(count), MSG_NOSIGNAL | MSG_DONTWAIT);
    });
}

int RecvAll(ArcCOM_Connection& c, unsigned char* data, int length) {
    return MoveAll(c, length, POLLIN, [&](int offset, int count) {
        return recv(c.socket, data + offset, static_cast<size_t>(count), MSG_DONTWAIT);
    });
}

}  // namespace qel::transport
