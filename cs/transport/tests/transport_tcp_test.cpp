// libqelscknt.so against small loopback servers: full counts, slow and broken peers,
// time-outs, cancel from other threads, the host text and the definitions it refuses.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "loopback_server.h"
#include "transport_library.h"

namespace qel::transport::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::atomic<int> g_yields{0};
int CountingYield() {
    ++g_yields;
    return 0;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Echo(int fd, const std::atomic<bool>& stop) {
    char buffer[65536];
    while (!stop) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0 || !WriteAll(fd, buffer, static_cast<size_t>(n))) return;
    }
}

// Never reads and never writes: the peer of every time-out.
void Silent(int, const std::atomic<bool>& stop) {
    while (!stop) std::this_thread::sleep_for(10ms);
}

std::vector<unsigned char> Pattern(size_t size) {
    std::vector<unsigned char> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<unsigned char>((i * 131 + i / 251) & 0xff);
    return data;
}

class TcpTransport : public ::testing::Test {
protected:
    void TearDown() override {
        if (connection_) t_->clientDisconnect(connection_);
    }
    // Connects and expects success.
    void Connect(const std::string& definition, ArcCOM_YieldFn yield = nullptr) {
        ASSERT_EQ(t_->clientConnect(&connection_, definition.c_str(), yield), 0) << definition;
        ASSERT_NE(connection_, nullptr);
    }
    int LastError() {
        char text[16];
        return t_->info(&connection_, text, nullptr, ARCCOM_INFO_LAST_ERROR, sizeof text);
    }

    TransportLibrary t_{QEL_STAGE_DIR "/lib/libqelscknt.so"};
    ArcCOM_Connection* connection_ = nullptr;
};

TEST_F(TcpTransport, OffersTheSixteenEntriesAndNothingElse) {
    ASSERT_NE(t_.library(), nullptr);
    EXPECT_EQ(t_->library, nullptr) << "slot 0 belongs to the loader";
    const char* names[] = {ARCCOM_ENTRY_NAMES};
    auto slots = reinterpret_cast<void* const*>(&*t_);
    for (size_t i = 0; i < std::size(names); ++i) {
        void* byName = ArcOS_GetProcAddress(t_.library(), names[i]);
        EXPECT_NE(byName, nullptr) << names[i];
        EXPECT_EQ(slots[i + 1], byName) << names[i];
    }
    EXPECT_EQ(t_->version(), ARCCOM_VERSION);
    for (const char* hidden : {"ArcOS_MonotonicMs", "ArcOS_LoadLibrary",
                               "_ZN3qel9transport21ParseServerDefinitionESt17basic_string_viewIcSt11char_"
                               "traitsIcEEPNS0_16ServerDefinitionEPNSt7__cxx1112basic_stringIcS3_SaIcEEE"}) {
        EXPECT_EQ(ArcOS_GetProcAddress(t_.library(), hidden), nullptr) << hidden << " is exported";
    }
    EXPECT_EQ(t_->serverInit(), 2);
    ArcCOM_Connection* none = reinterpret_cast<ArcCOM_Connection*>(1);
    EXPECT_EQ(t_->serverConnect(&none), 2);
    EXPECT_EQ(none, nullptr);
}

TEST_F(TcpTransport, MovesLargeBuffersInFullCounts) {
    LoopbackServer server(Echo);
    Connect(server.Definition());
    const auto sent = Pattern(3 * 1024 * 1024 + 17);  // far beyond the socket buffers
    auto sender = std::async(std::launch::async, [&] {
        return t_->send(connection_, sent.data(), static_cast<int>(sent.size()));
    });
    std::vector<unsigned char> received(sent.size());
    EXPECT_EQ(t_->recv(connection_, received.data(), static_cast<int>(received.size())),
              static_cast<int>(received.size()));
    EXPECT_EQ(sender.get(), static_cast<int>(sent.size()));
    EXPECT_TRUE(received == sent);
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(t_->send(connection_, nullptr, 0), 0);
    EXPECT_EQ(t_->recv(connection_, received.data(), -1), -1);
    EXPECT_EQ(t_->send(nullptr, sent.data(), 1), -1);
}

// The client socket of a connection, found among this process's descriptors by the
// server port it talks to.
int FindClientSocket(uint16_t serverPort) {
    for (int fd = 0; fd < 1024; ++fd) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) == 0 && peer.sin_family == AF_INET &&
            ntohs(peer.sin_port) == serverPort) {
            return fd;
        }
    }
    return -1;
}

TEST_F(TcpTransport, SocketIsSetForSmallMessagesAndDeadPeers) {
    LoopbackServer server(Echo);
    Connect(server.Definition());
    int fd = FindClientSocket(server.port());
    ASSERT_GE(fd, 0);
    int value = 0;
    socklen_t size = sizeof value;
    ASSERT_EQ(getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, &size), 0);
    EXPECT_NE(value, 0) << "TCP_NODELAY";
    ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &value, &size), 0);
    EXPECT_NE(value, 0) << "SO_KEEPALIVE";
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << "inherited by spawned programs";
}

TEST_F(TcpTransport, SlowPeerIsWaitedForWhileTheYieldCallbackRuns) {
    LoopbackServer server([](int fd, const std::atomic<bool>& stop) {
        char request[4];
        if (!ReadExactly(fd, request, sizeof request, stop)) return;
        for (char c : std::string("slowly")) {
            std::this_thread::sleep_for(60ms);
            if (!WriteAll(fd, &c, 1)) return;
        }
    });
    g_yields = 0;
    Connect(server.Definition("IDLE_TIMEOUT=2\n"));
    ASSERT_EQ(t_->flags(connection_, 0x40000000, 0, CountingYield), 0);
    ASSERT_EQ(t_->send(connection_, "ping", 4), 4);
    char reply[6];
    EXPECT_EQ(t_->recv(connection_, reply, sizeof reply), 6);
    EXPECT_EQ(std::string(reply, 6), "slowly");
    EXPECT_GE(g_yields.load(), 2) << "360 ms of waiting in 100 ms slices";
}

TEST_F(TcpTransport, PeerClosingMidTransferIsAShortReceive) {
    LoopbackServer server([](int fd, const std::atomic<bool>&) { WriteAll(fd, "0123456789", 10); });
    Connect(server.Definition());
    char buffer[100] = {};
    EXPECT_EQ(t_->recv(connection_, buffer, sizeof buffer), 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    EXPECT_EQ(LastError(), 2);
    EXPECT_EQ(t_->recv(connection_, buffer, 1), 0);
}

TEST_F(TcpTransport, SendingToAClosedPeerFailsWithoutASignal) {
    LoopbackServer server([](int, const std::atomic<bool>&) {});
    Connect(server.Definition());
    std::this_thread::sleep_for(50ms);
    const auto data = Pattern(8 * 1024 * 1024);
    int sent = t_->send(connection_, data.data(), static_cast<int>(data.size()));
    EXPECT_LT(sent, static_cast<int>(data.size()));
    EXPECT_GE(sent, 0);
    EXPECT_EQ(LastError(), 2);
}

TEST_F(TcpTransport, IdlePeerTimesOutInBothDirections) {
    LoopbackServer server(Silent);
    g_yields = 0;
    Connect(server.Definition("IDLE_TIMEOUT=1\n"), CountingYield);
    char buffer[8];
    auto start = Clock::now();
    EXPECT_EQ(t_->recv(connection_, buffer, sizeof buffer), 0);
    EXPECT_EQ(LastError(), ARCCOM_TIMED_OUT);
    EXPECT_GE(SecondsSince(start), 0.9);
    EXPECT_LT(SecondsSince(start), 3.0);
    EXPECT_GE(g_yields.load(), 5);

    // A peer that never reads fills the socket buffers: the send stops short.
    const auto data = Pattern(64 * 1024 * 1024);
    start = Clock::now();
    int sent = t_->send(connection_, data.data(), static_cast<int>(data.size()));
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, static_cast<int>(data.size()));
    EXPECT_EQ(LastError(), ARCCOM_TIMED_OUT);
    EXPECT_LT(SecondsSince(start), 4.0);
}

// Each way a cancel can reach the transport, and what the next Recv then does.
ArcCOM_Connection* g_cancelTarget = nullptr;
const ArcCOM_Funcs* g_cancelTable = nullptr;
int CancellingYield() {
    g_cancelTable->cancel(g_cancelTarget);
    return 0;
}

TEST_F(TcpTransport, CancelBreaksOffOnlyWhatItShould) {
    LoopbackServer server(Echo);
    Connect(server.Definition());
    struct Case {
        const char* name;
        std::function<void()> cancel;  // runs before the Recv below
        bool fromThreadWhileWaiting;   // a thread cancels 200 ms into the Recv
        int expectedReceived;          // of the 4 bytes the Recv asks for
        int expectedError;
    };
    const Case cases[] = {
        {"from another thread while the call waits", [] {}, true, 0, ARCCOM_CANCELLED},
        {"from another thread just before the call",
         [&] { std::thread([&] { t_->cancel(connection_); }).join(); }, false, 0, ARCCOM_CANCELLED},
        {"from the calling thread between calls", [&] { t_->cancel(connection_); }, false, 4, 0},
        {"pending, then dropped by Flags",
         [&] {
             std::thread([&] { t_->cancel(connection_); }).join();
             t_->flags(connection_, 0, 0, nullptr);
         },
         false, 4, 0},
        {"from the yield callback inside the wait", [&] { t_->flags(connection_, 0, 0, CancellingYield); },
         false, 0, ARCCOM_CANCELLED},
    };
    g_cancelTarget = connection_;
    g_cancelTable = &*t_;
    for (const auto& c : cases) {
        c.cancel();
        bool expectEcho = c.expectedReceived > 0;
        if (expectEcho) {
            ASSERT_EQ(t_->send(connection_, "ping", 4), 4) << c.name;
        }
        std::thread canceller;
        if (c.fromThreadWhileWaiting) {
            canceller = std::thread([&] {
                std::this_thread::sleep_for(200ms);
                t_->cancel(connection_);
            });
        }
        char buffer[4] = {};
        auto start = Clock::now();
        EXPECT_EQ(t_->recv(connection_, buffer, 4), c.expectedReceived) << c.name;
        EXPECT_EQ(LastError(), c.expectedError) << c.name;
        EXPECT_LT(SecondsSince(start), 1.0) << c.name;
        if (canceller.joinable()) canceller.join();
        t_->flags(connection_, 0, 0, nullptr);

        // Whatever happened, the connection still carries the next exchange.
        ASSERT_EQ(t_->send(connection_, "pong", 4), 4) << c.name;
        ASSERT_EQ(t_->recv(connection_, buffer, 4), 4) << c.name;
        EXPECT_EQ(std::string(buffer, 4), "pong") << c.name;
    }
    EXPECT_EQ(t_->cancel(nullptr), 0);
}

TEST_F(TcpTransport, CancelWakesABlockedSend) {
    LoopbackServer server(Silent);
    Connect(server.Definition());
    const auto data = Pattern(64 * 1024 * 1024);
    std::thread canceller([&] {
        std::this_thread::sleep_for(300ms);
        t_->cancel(connection_);
    });
    auto start = Clock::now();
    int sent = t_->send(connection_, data.data(), static_cast<int>(data.size()));
    canceller.join();
    EXPECT_LT(sent, static_cast<int>(data.size()));
    EXPECT_EQ(LastError(), ARCCOM_CANCELLED);
    EXPECT_LT(SecondsSince(start), 1.3);
}

TEST_F(TcpTransport, InfoWritesTheHostTextWithinItsSize) {
    LoopbackServer server(Echo);
    Connect("HOST=localhost\nPORT=" + std::to_string(server.port()) + "\n");
    const std::string full = "localhost(127.0.0.1):" + std::to_string(server.port());
    ArcCOM_Connection* none = nullptr;
    struct Case {
        const char* name;
        ArcCOM_Connection** connection;
        const char* text;
        int what;
        size_t size;
        int expected;
        std::string written;
    };
    const Case cases[] = {
        {"full text", &connection_, nullptr, 1, 256, 0, full},
        {"exactly fits", &connection_, nullptr, 1, full.size() + 1, 0, full},
        {"one byte short is cut", &connection_, nullptr, 1, full.size(), 6, full.substr(0, full.size() - 1)},
        {"room for the terminator only", &connection_, nullptr, 1, 1, 6, ""},
        {"a caller's text does not replace the connection's", &connection_, "other", 1, 256, 0, full},
        {"no connection: the caller's text", &none, "ARCHIVE", 1, 256, 0, "ARCHIVE"},
        {"no connection, no text", &none, nullptr, 1, 256, 2, ""},
        {"null connection word", nullptr, nullptr, 1, 256, 2, ""},
        {"unknown kind of information", &connection_, nullptr, 7, 256, 2, ""},
    };
    for (const auto& c : cases) {
        char out[300];
        std::memset(out, 'X', sizeof out);
        EXPECT_EQ(t_->info(c.connection, out, c.text, c.what, c.size), c.expected) << c.name;
        EXPECT_EQ(std::string(out), c.written) << c.name;
        EXPECT_EQ(out[c.size], 'X') << c.name << ": wrote past its size";
    }
    char untouched = 'X';
    EXPECT_EQ(t_->info(&connection_, &untouched, nullptr, 1, 0), 2);
    EXPECT_EQ(untouched, 'X');
}

TEST_F(TcpTransport, BothRemoteKindsAreTcp) {
    LoopbackServer server(Echo);
    for (const char* kind : {"T", "S", "2", "4"}) {
        ArcCOM_Connection* c = nullptr;
        std::string def = server.Definition("PROTOCOL=" + std::string(kind) + "\n");
        ASSERT_EQ(t_->clientConnect(&c, def.c_str(), nullptr), 0) << kind;
        char buffer[2];
        EXPECT_EQ(t_->send(c, "ok", 2), 2) << kind;
        EXPECT_EQ(t_->recv(c, buffer, 2), 2) << kind;
        t_->clientDisconnect(c);
    }
}

TEST_F(TcpTransport, RefusesDefinitionsAndUnreachableServers) {
    uint16_t closedPort;
    {
        LoopbackServer probe(Echo, 1, false);
        closedPort = probe.port();
    }
    struct Case {
        const char* name;
        const char* definition;
        std::string extra;
        int expected;
    };
    const Case cases[] = {
        {"null definition", nullptr, "", 2},
        {"port 0", "HOST=127.0.0.1\nPORT=0\n", "", 2},
        {"no host", "PORT=80\n", "", 2},
        {"local kind", "HOST=127.0.0.1\nPORT=80\nPROTOCOL=1\n", "", 2},
        {"bad idle time-out", "HOST=127.0.0.1\nPORT=80\nIDLE_TIMEOUT=x\n", "", 2},
        {"nobody listens", nullptr, "HOST=127.0.0.1\nPORT=" + std::to_string(closedPort) + "\n", 2},
        {"host that does not resolve", "HOST=no-such-host.invalid\nPORT=80\n", "", 2},
    };
    for (const auto& c : cases) {
        ArcCOM_Connection* made = reinterpret_cast<ArcCOM_Connection*>(1);
        const char* def = c.definition ? c.definition : (c.extra.empty() ? nullptr : c.extra.c_str());
        EXPECT_EQ(t_->clientConnect(&made, def, nullptr), c.expected) << c.name;
        EXPECT_EQ(made, nullptr) << c.name;
    }
}

TEST_F(TcpTransport, ConnectTimesOutWhenNobodyAnswers) {
    // A listener that never accepts, with its queue full: further handshakes go unanswered.
    LoopbackServer server(Echo, 0, false);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(server.port());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(fd);
    }
    std::this_thread::sleep_for(100ms);
    g_yields = 0;
    ArcCOM_Connection* c = nullptr;
    auto start = Clock::now();
    int rc = t_->clientConnect(&c, server.Definition("CONNECT_TIMEOUT=1\n").c_str(), CountingYield);
    if (rc == 0) {
        t_->clientDisconnect(c);
        for (int fd : fillers) close(fd);
        GTEST_SKIP() << "this kernel answers every handshake on loopback";
    }
    EXPECT_EQ(rc, ARCCOM_TIMED_OUT);
    EXPECT_EQ(c, nullptr);
    EXPECT_GE(SecondsSince(start), 0.9);
    EXPECT_LT(SecondsSince(start), 3.0);
    EXPECT_GE(g_yields.load(), 5);
    for (int fd : fillers) close(fd);
}

}  // namespace
}  // namespace qel::transport::test
