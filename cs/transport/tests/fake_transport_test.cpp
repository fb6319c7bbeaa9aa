// The scripted fake transport as the dispatcher's fault tests use it: loaded
// under the dispatcher's file name, played through the table.
#include <gtest/gtest.h>

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cstring>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "transport_library.h"

namespace qel::transport::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const char* kDefinition = "HOST=peer\nPORT=1445\nIDLE_TIMEOUT=1\n";

std::atomic<int> g_yields{0};
int CountingYield() {
    ++g_yields;
    return 0;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

class FakeTransport : public ::testing::Test {
protected:
    void SetUp() override {
        static int serial = 0;
        base_ = ::testing::TempDir() + "fake-transport-" + std::to_string(getpid()) + "-" +
                std::to_string(++serial);
        logPath_ = base_ + ".log";
        std::remove(logPath_.c_str());
        ArcOS_PutEnv(("QEL_FAKE_TRANSPORT_LOG=" + logPath_).c_str());
        t_->init();
    }
    void TearDown() override {
        for (auto* c : open_) t_->clientDisconnect(c);
        ArcOS_PutEnv("QEL_FAKE_TRANSPORT_SCRIPT=");
        ArcOS_PutEnv("QEL_FAKE_TRANSPORT_LOG=");
    }
    void UseScript(const std::string& text) {
        std::string path = base_ + ".script";
        std::ofstream(path, std::ios::binary) << text;
        ArcOS_PutEnv(("QEL_FAKE_TRANSPORT_SCRIPT=" + path).c_str());
    }
    ArcCOM_Connection* Connect(const std::string& script, ArcCOM_YieldFn yield = nullptr) {
        UseScript(script);
        ArcCOM_Connection* c = nullptr;
        EXPECT_EQ(t_->clientConnect(&c, kDefinition, yield), 0) << script;
        if (c) open_.push_back(c);
        return c;
    }
    int LastError(ArcCOM_Connection* c) {
        char text[16];
        return t_->info(&c, text, nullptr, ARCCOM_INFO_LAST_ERROR, sizeof text);
    }
    std::string Log() {
        std::ifstream in(logPath_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    TransportLibrary t_{QEL_FAKE_TRANSPORT_DIR "/libqelscknt.so"};
    std::string base_;
    std::string logPath_;
    std::vector<ArcCOM_Connection*> open_;
};

TEST_F(FakeTransport, PlaysAnExchangeAndLogsIt) {
    std::ofstream(base_ + "-reply.bin", std::ios::binary) << "file!";
    std::string file = base_.substr(base_.rfind('/') + 1) + "-reply.bin";  // beside the script
    ArcCOM_Connection* c = Connect(
        "send hex 00000001 0000000c 41424344\n"
        "reply 00000001 0000000a 4546\n"
        "reply-repeat 3 47\n"
        "send prefix 0000000200\n"
        "reply-file " +
        file + "\n");
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(t_->flags(c, 0x50100000, 0x145, CountingYield), 0);
    std::string request = Bytes({0, 0, 0, 1, 0, 0, 0, 12, 'A', 'B', 'C', 'D'});
    ASSERT_EQ(t_->send(c, request.data(), 12), 12);
    char buffer[16] = {};
    ASSERT_EQ(t_->recv(c, buffer, 8), 8);  // header, as the stream reads it
    ASSERT_EQ(t_->recv(c, buffer + 8, 5), 5);
    EXPECT_EQ(std::string(buffer, 13), Bytes({0, 0, 0, 1, 0, 0, 0, 10, 'E', 'F', 'G', 'G', 'G'}));
    std::string second = Bytes({0, 0, 0, 2, 0, 9, 9});
    ASSERT_EQ(t_->send(c, second.data(), 7), 7);
    ASSERT_EQ(t_->recv(c, buffer, 5), 5);
    EXPECT_EQ(std::string(buffer, 5), "file!");
    EXPECT_EQ(t_->recv(c, buffer, 1), 0) << "the script has ended: the peer is gone";
    EXPECT_EQ(LastError(c), 2);

    char host[64];
    EXPECT_EQ(t_->info(&c, host, nullptr, ARCCOM_INFO_HOST, sizeof host), 0);
    EXPECT_STREQ(host, "peer(fake):1445");
    t_->clientDisconnect(c);
    open_.clear();
    const std::string log = Log();
    for (const char* line :
         {"connect 0\n", "flags 50100000 00000145\n", "send 12 12 0 000000010000000c41424344\n",
          "recv 8 8 0\n", "recv 5 5 0\n", "send 7 7 0 00000002000909\n", "recv 1 0 2\n", "disconnect\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << " missing from:\n" << log;
    }
}

TEST_F(FakeTransport, FaultsFireWhereTheScriptPutsThem) {
    struct Call {
        char kind;         // 's' send, 'r' recv
        std::string data;  // send: the bytes; recv: as many bytes as asked
        int moved;
        int error;
    };
    struct Case {
        const char* name;
        const char* script;
        std::vector<Call> calls;
    };
    const std::string ten(10, 'x');
    const Case cases[] = {
        {"short send", "send short 3\n", {{'s', ten, 3, 2}}},
        {"short send never reports the full count", "send short 99\n", {{'s', ten, 9, 2}}},
        {"failing send", "send fail\nsend\n", {{'s', ten, 0, 2}, {'s', ten, 10, 0}}},
        {"wrong length", "send 4\n", {{'s', ten, 0, 6}}},
        {"wrong bytes", "send hex 0102\n", {{'s', Bytes({1, 3}), 0, 6}}},
        {"wrong prefix", "send prefix 0102\n", {{'s', Bytes({1}), 0, 6}}},
        {"short receive, then the script goes on",
         "reply 010203\nrecv-fail\nreply 04\n",
         {{'r', "12345", 3, 2}, {'r', "1", 1, 0}}},
        {"peer closes mid-frame",
         "reply 0102\nclose\n",
         {{'r', "1234", 2, 2}, {'r', "1", 0, 2}, {'s', ten, 0, 2}}},
        {"script ends", "send\n", {{'s', ten, 10, 0}, {'r', "1", 0, 2}, {'s', ten, 0, 2}}},
        {"reply sent before the client reads", "reply 0a\nsend\n", {{'s', ten, 10, 0}, {'r', "1", 1, 0}}},
        {"send where the script expects a read", "hang\n", {{'s', ten, 0, 6}}},
        {"missing send: the peer waits, the client times out",
         "send\nsend\nreply 01\n",
         {{'s', ten, 10, 0}, {'r', "1", 0, 15}}},
        {"hang until the idle time-out", "hang\nreply 05\n", {{'r', "1", 0, 15}, {'r', "1", 1, 0}}},
    };
    for (const auto& c : cases) {
        t_->init();
        ArcCOM_Connection* conn = Connect(c.script);
        ASSERT_NE(conn, nullptr) << c.name;
        for (size_t i = 0; i < c.calls.size(); ++i) {
            const Call& call = c.calls[i];
            std::vector<char> buffer(call.data.begin(), call.data.end());
            int n = static_cast<int>(buffer.size());
            int moved =
                call.kind == 's' ? t_->send(conn, buffer.data(), n) : t_->recv(conn, buffer.data(), n);
            EXPECT_EQ(moved, call.moved) << c.name << ", call " << i;
            EXPECT_EQ(LastError(conn), call.error) << c.name << ", call " << i;
        }
    }
}

TEST_F(FakeTransport, DelaysCallTheYieldCallbackAndCancelBreaksThem) {
    ArcCOM_Connection* c = Connect("delay 350\nreply 07\nhang\nsend hex 02\nreply 08\n", CountingYield);
    g_yields = 0;
    char b = 0;
    auto start = Clock::now();
    ASSERT_EQ(t_->recv(c, &b, 1), 1);
    EXPECT_EQ(b, 7);
    EXPECT_GE(SecondsSince(start), 0.34);
    EXPECT_GE(g_yields.load(), 3);

    std::thread canceller([&] {
        std::this_thread::sleep_for(200ms);
        t_->cancel(c);
    });
    start = Clock::now();
    EXPECT_EQ(t_->recv(c, &b, 1), 0);
    canceller.join();
    EXPECT_EQ(LastError(c), ARCCOM_CANCELLED);
    EXPECT_LT(SecondsSince(start), 0.9) << "broken off by the cancel, not the idle time-out";

    // The cancel exchange that follows plays on.
    t_->cancel(c);  // the dispatcher breaking off in its own thread
    ASSERT_EQ(t_->send(c, "\x02", 1), 1);
    ASSERT_EQ(t_->recv(c, &b, 1), 1);
    EXPECT_EQ(b, 8);
    EXPECT_NE(Log().find("cancel\n"), std::string::npos);
}

TEST_F(FakeTransport, IgnoredCancelLeavesTheWaitToItsTimeOut) {
    ArcCOM_Connection* c = Connect("cancel ignore\nhang\n");
    std::thread canceller([&] {
        std::this_thread::sleep_for(100ms);
        t_->cancel(c);
    });
    char b;
    auto start = Clock::now();
    EXPECT_EQ(t_->recv(c, &b, 1), 0);
    canceller.join();
    EXPECT_EQ(LastError(c), ARCCOM_TIMED_OUT);
    EXPECT_GE(SecondsSince(start), 0.9);
    EXPECT_NE(Log().find("cancel ignored\n"), std::string::npos);
}

TEST_F(FakeTransport, EndlessRepliesKeepComing) {
    ArcCOM_Connection* c = Connect("send\nreply-repeat * 0a0b0c\n");
    ASSERT_EQ(t_->send(c, "q", 1), 1);
    std::vector<unsigned char> chunk(8191);  // not a multiple of the repeated 3 bytes
    size_t offset = 0;
    std::vector<unsigned char> expected(chunk.size());
    for (int round = 0; round < 300; ++round) {
        ASSERT_EQ(t_->recv(c, chunk.data(), static_cast<int>(chunk.size())), 8191);
        for (size_t i = 0; i < chunk.size(); ++i)
            expected[i] = static_cast<unsigned char>(0x0a + (offset + i) % 3);
        ASSERT_TRUE(chunk == expected) << "round " << round;
        offset += chunk.size();
    }
}

TEST_F(FakeTransport, ConnectionsPlayTheirOwnSections) {
    UseScript("send hex 01\nconnection\nconnect 13\nconnection\nconnect 0 delay 250\nsend hex 03\n");
    ArcCOM_Connection* c = nullptr;
    ASSERT_EQ(t_->clientConnect(&c, kDefinition, nullptr), 0);
    EXPECT_EQ(t_->send(c, "\x01", 1), 1);
    t_->clientDisconnect(c);

    c = reinterpret_cast<ArcCOM_Connection*>(1);
    EXPECT_EQ(t_->clientConnect(&c, kDefinition, nullptr), 13) << "the connect result as scripted";
    EXPECT_EQ(c, nullptr);

    g_yields = 0;
    auto start = Clock::now();
    ASSERT_EQ(t_->clientConnect(&c, kDefinition, CountingYield), 0);
    EXPECT_GE(SecondsSince(start), 0.24);
    EXPECT_GE(g_yields.load(), 2);
    EXPECT_EQ(t_->send(c, "\x03", 1), 1);
    t_->clientDisconnect(c);

    EXPECT_EQ(t_->clientConnect(&c, kDefinition, nullptr), 2) << "no section left";
    t_->init();
    ASSERT_EQ(t_->clientConnect(&c, kDefinition, nullptr), 0) << "init starts the script again";
    EXPECT_EQ(t_->send(c, "\x01", 1), 1);
    t_->clientDisconnect(c);
}

TEST_F(FakeTransport, RefusesWhatItCannotPlay) {
    struct Case {
        const char* name;
        const char* script;  // null: the variable is unset
        const char* definition;
        int expected;
    };
    const Case cases[] = {
        {"no script", nullptr, kDefinition, 6},
        {"bad script", "send maybe\n", kDefinition, 6},
        {"port 0", "send\n", "HOST=peer\nPORT=0\n", 2},
        {"no definition", "send\n", nullptr, 2},
    };
    for (const auto& c : cases) {
        if (c.script) {
            UseScript(c.script);
        } else {
            ArcOS_PutEnv("QEL_FAKE_TRANSPORT_SCRIPT=");
        }
        ArcCOM_Connection* conn = reinterpret_cast<ArcCOM_Connection*>(1);
        EXPECT_EQ(t_->clientConnect(&conn, c.definition, nullptr), c.expected) << c.name;
        EXPECT_EQ(conn, nullptr) << c.name;
    }
}

TEST_F(FakeTransport, VersionComesFromTheScript) {
    ArcOS_PutEnv("QEL_FAKE_TRANSPORT_SCRIPT=");
    EXPECT_EQ(t_->version(), 5);
    UseScript("version 4\n");
    EXPECT_EQ(t_->version(), 4);
    UseScript("version 6\nsend\n");
    EXPECT_EQ(t_->version(), 6);
    const char* names[] = {ARCCOM_ENTRY_NAMES};
    auto slots = reinterpret_cast<void* const*>(&*t_);
    for (size_t i = 0; i < std::size(names); ++i) {
        EXPECT_EQ(slots[i + 1], ArcOS_GetProcAddress(t_.library(), names[i])) << names[i];
    }
}

}  // namespace
}  // namespace qel::transport::test
