// The dispatcher against the scripted fake transport: loading, connecting, every
// result path, windows and acknowledgements, the cancel exchange, cancel from another
// thread, replies to another code, and what a logon reply leaves in the handle.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "arc_platform.h"
#include "dispatch_support.h"
#include "qel_cs.h"
#include "qel_cswire.h"
#include "wire_test_support.h"

namespace {

using namespace dispatch_test;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kFlags1 = kLevel2207Flags1;
constexpr uint32_t kFlags2 = 0x005;  // level 22014: search travels as 112

int Count(const std::vector<std::string>& log, const std::string& word) {
    int n = 0;
    for (const auto& line : log) n += line.rfind(word, 0) == 0;
    return n;
}

std::string HitHex(uint32_t number, int32_t result = 0, bool present = true) {
    static CsXdrHitRow hit{};
    std::strcpy(hit.segment, "SEG1");
    CsReplyRecord reply{};
    reply.result = result;
    reply.code = 112;
    reply.body.hit.hit = present ? &hit : nullptr;
    return ReplyHex(number, reply, kFlags1, kFlags2);
}

std::atomic<int> g_rows{0};
std::atomic<int> g_stopAt{0};
int CountRows(void*, CsXdrHitRow* hit) {
    EXPECT_STREQ(hit->segment, "SEG1");
    int row = ++g_rows;
    return row == g_stopAt ? 0 : 1;
}

CsXdrApplGroup g_group{};

int Search(CsHandle* handle) {
    return CsServerRequest(handle, 112, &g_group, "WHERE A = 1", static_cast<CsXdrCriteria*>(nullptr), 0,
                           static_cast<CsXdrValueItem*>(nullptr), 'N', static_cast<CsXdrValueItem*>(nullptr),
                           CountRows);
}

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override {
        MakeRemoteHandle(&handle_, kFlags1, kFlags2);
        g_rows = 0;
        g_stopAt = 0;
    }
    CsHandle handle_{};
    FakeScript script_;
};

TEST_F(Dispatcher, TransportLibraryOfAnotherVersionIsRefused) {
    for (int version : {4, 6}) {
        FakeScript script;
        script.Line("version " + std::to_string(version)).SendAny().Reply(ResultHex(1, 4, 0));
        script.Install();
        CsHandle handle{};
        MakeRemoteHandle(&handle);
        EXPECT_EQ(CsServerRequest(&handle, 4), CS_TRANSPORT_LIBRARY) << version;
        EXPECT_FALSE(CsIsConnected(&handle)) << version;
        EXPECT_TRUE(handle.def.transportLibrary.empty()) << version;
    }
    // A directory without a transport and an install without one: 4, never a search
    // through the library path.
    ArcCOM_Funcs table{};
    CsServerDef def;
    def.transportLibrary = "/nonexistent/libqelscknt.so";
    EXPECT_EQ(CsLoadTransport(&def, &table), CS_TRANSPORT_LIBRARY);
    EXPECT_EQ(table.library, nullptr);
}

TEST_F(Dispatcher, ConnectResultsAndRefusedDefinitions) {
    script_.Line("connect 15")
        .Connection()
        .Line("connect 2")
        .Connection()
        .SendAny()
        .Reply(ResultHex(1, 4, 0));
    script_.Install();
    EXPECT_EQ(CsServerRequest(&handle_, 4), CS_TIMED_OUT);
    EXPECT_EQ(CsServerRequest(&handle_, 4), CS_NOT_AVAILABLE);
    EXPECT_FALSE(CsIsConnected(&handle_));
    EXPECT_EQ(CsServerRequest(&handle_, 4), CS_OK);
    EXPECT_EQ(handle_.def.transportLibrary, std::string(QEL_FAKE_TRANSPORT_DIR) + "libqelscknt.so");

    struct Case {
        const char* name;
        uint16_t port;
        const char* host;
    } refused[] = {{"port 0", 0, "peer.example"},
                   {"empty host", 1445, ""},
                   {"a host that would add a key", 1445, "peer\nPORT=1"}};
    for (const auto& c : refused) {
        FakeScript script;
        script.SendAny().Reply(ResultHex(1, 4, 0));
        script.Install();
        CsHandle handle{};
        MakeRemoteHandle(&handle);
        handle.def.port = c.port;
        std::strcpy(handle.def.host, c.host);
        EXPECT_EQ(CsServerRequest(&handle, 4), CS_NOT_AVAILABLE) << c.name;
        EXPECT_EQ(Count(script.Log(), "connect"), 0) << c.name;
    }
}

TEST_F(Dispatcher, UnsupportedCodesNeverReachTheServer) {
    script_.SendAny().Reply(ResultHex(1, 4, 0));
    script_.Install();
    for (int code : {1, 2, 94, 98, 122, -1, 6, 110})
        EXPECT_EQ(CsServerRequest(&handle_, code), CS_FAILED) << code;
    EXPECT_EQ(Count(script_.Log(), "connect"), 0);
    CsHandle local{};
    local.def.kind = CS_KIND_LOCAL;
    EXPECT_EQ(CsServerRequest(&local, 4), CS_FAILED);
}

// The request table is looked up by code: codes outside it must neither index past its
// ends nor reach the server, and their entries are plain allocations.
TEST_F(Dispatcher, CodesOutsideTheTableAreRefused) {
    script_.SendAny().Reply(ResultHex(1, 4, 0));
    script_.Install();
    for (int code : {INT_MIN, -122, static_cast<int>(CS_CODE_MAX) + 1, 255, 256, 65536, INT_MAX})
        EXPECT_EQ(CsServerRequest(&handle_, code), CS_FAILED) << code;
    EXPECT_EQ(Count(script_.Log(), "connect"), 0);
    // A leak or a record procedure run on it shows under the sanitizers.
    for (int code : {INT_MIN, -1, static_cast<int>(CS_CODE_MAX) + 1, INT_MAX})
        CsFreeReplyEntry(code, std::calloc(1, sizeof(CsXdrFolder)));
}

TEST_F(Dispatcher, FailuresDropTheConnection) {
    struct Case {
        const char* name;
        std::string section;  // what the peer does after the request arrives
        int expected;
    } cases[] = {
        {"answer to another code", "reply " + ResultHex(1, 5, 0), CS_FAILED},
        {"peer closes", "close", CS_NOT_AVAILABLE},
        {"reply cut short", "reply " + ResultHex(1, 4, 0).substr(0, 20) + "\nrecv-fail", CS_NOT_AVAILABLE},
        {"frame length 7", "reply 0000000100000007", CS_NOT_AVAILABLE},
        {"frame of a later message", "reply " + ResultHex(2, 4, 0), CS_NOT_AVAILABLE},
        {"server stops answering (idle time-out)", "hang", CS_NOT_AVAILABLE},
        {"server asks to drop", "reply " + ResultHex(1, 4, 0, CS_REPLY_DROP_CONNECTION), CS_OK},
        {"server's own result", "reply " + ResultHex(1, 4, 13), 13},
    };
    for (const auto& c : cases) {
        FakeScript script;
        script.SendAny().Line(c.section).Connection().SendAny().Reply(ResultHex(1, 4, 0));
        script.Install();
        CsHandle handle{};
        MakeRemoteHandle(&handle);
        EXPECT_EQ(CsServerRequest(&handle, 4), c.expected) << c.name;
        bool dropped = c.expected != 13;
        EXPECT_EQ(CsIsConnected(&handle), !dropped) << c.name;
        if (dropped) {
            // The next request connects again (the script's second section).
            EXPECT_EQ(CsServerRequest(&handle, 4), CS_OK) << c.name;
            EXPECT_EQ(Count(script.Log(), "connect 0"), 2) << c.name;
        }
    }
}

TEST_F(Dispatcher, DisconnectBitDropsAfterTheRequest) {
    script_.SendAny().Reply(ResultHex(1, 5, 0));
    script_.Install();
    handle_.def.flags1 |= CS_F1_DISCONNECT;
    EXPECT_EQ(CsServerRequest(&handle_, 5), CS_OK);
    EXPECT_FALSE(CsIsConnected(&handle_));
    EXPECT_EQ(Count(script_.Log(), "disconnect"), 1);
}

TEST_F(Dispatcher, SearchAcknowledgesEveryTwentyFifthRow) {
    script_.SendNumbered(1).Line("reply-repeat 25 " + HitHex(1));
    script_.SendNumbered(2).Line("reply-repeat 25 " + HitHex(2));
    script_.SendNumbered(3).Line("reply-repeat 10 " + HitHex(3)).Reply(HitHex(3, 0, false));
    script_.SendNumbered(4).Reply(ResultHex(4, 4, 0));
    script_.Install();
    EXPECT_EQ(Search(&handle_), CS_OK);
    EXPECT_EQ(g_rows, 60);
    // The acknowledgements carry code 1 and no body.
    auto sends = script_.Sends();
    ASSERT_GE(sends.size(), 3u);
    EXPECT_EQ(Count(script_.Log(), "connect 0"), 1);
    EXPECT_EQ(CsServerRequest(&handle_, 4), CS_OK) << "the connection is in step after the search";
}

TEST_F(Dispatcher, HitCallbackStopsTheRowsWithACancelExchange) {
    script_.SendNumbered(1).Line("reply-repeat 5 " + HitHex(1));
    script_.SendNumbered(2).Reply(HitHex(1)).Reply(ResultHex(2, 2, 0));
    script_.SendNumbered(3).Reply(ResultHex(3, 4, 0));
    script_.Install();
    g_stopAt = 2;
    EXPECT_EQ(Search(&handle_), CS_OK);
    EXPECT_EQ(g_rows, 2);
    EXPECT_TRUE(CsIsConnected(&handle_));
    EXPECT_EQ(CsServerRequest(&handle_, 4), CS_OK);
    EXPECT_EQ(Count(script_.Log(), "connect 0"), 1);
}

TEST_F(Dispatcher, InterruptBetweenRowsIsCancelled) {
    script_.SendNumbered(1).Line("reply-repeat 3 " + HitHex(1));
    script_.SendNumbered(2).Reply(ResultHex(2, 2, 0));
    script_.Install();
    static CsHandle* target = nullptr;
    target = &handle_;
    auto interruptAtFirst = [](void*, CsXdrHitRow*) -> int {
        CsInterrupt(target);  // from the callback, on the request's own thread
        return 1;
    };
    int rc = CsServerRequest(&handle_, 112, &g_group, "", static_cast<CsXdrCriteria*>(nullptr), 0,
                             static_cast<CsXdrValueItem*>(nullptr), 'N',
                             static_cast<CsXdrValueItem*>(nullptr), static_cast<CsHitFn>(interruptAtFirst));
    EXPECT_EQ(rc, CS_CANCELLED);
    EXPECT_TRUE(CsIsConnected(&handle_)) << "a cancel between replies keeps the connection";
}

TEST_F(Dispatcher, CancelFromAnotherThreadEndsAHangingRequestQuickly) {
    handle_.def.idleTimeout = 30;
    script_.SendAny().Line("reply-repeat 3 " + HitHex(1)).Line("hang");
    script_.Connection().SendAny().Reply(ResultHex(1, 4, 0));
    script_.Install();
    std::thread canceller([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        CsInterrupt(&handle_);
    });
    auto start = Clock::now();
    EXPECT_EQ(Search(&handle_), CS_CANCELLED);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    canceller.join();
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(g_rows, 3);
    CsClearBusy(&handle_);
    EXPECT_EQ(CsServerRequest(&handle_, 4), CS_OK) << "the handle works again";
}

TEST_F(Dispatcher, SecondRequestWhileOneRunsIsBusy) {
    script_.SendAny().Line("delay 600").Reply(ResultHex(1, 4, 0));
    script_.Install();
    std::atomic<int> first{-1};
    std::thread running([&] { first = CsServerRequest(&handle_, 4); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(CsServerRequest(&handle_, 5), CS_BUSY);
    running.join();
    EXPECT_EQ(first, CS_OK) << "the running request was disturbed";
}

TEST_F(Dispatcher, OlderLevelsGetTheOlderCodes) {
    struct Case {
        const char* name;
        uint32_t flags1, flags2;
        int code;
        uint32_t sent;
    } cases[] = {
        {"search, level 2219", 0x50100000, 0x145, 112, 112},
        {"search without 22014", 0x50100000, 0x000, 112, 100},
        {"search before 2114", 0x00000000, 0x005, 112, 59},
        {"document data before 2114", 0x00000000, 0, 101, 60},
        {"index row before 2114", 0x00000000, 0, 103, 57},
        {"folder list without 0x100", 0x50100000, 0x045, 121, 19},
        {"folder list, level 2219", 0x50100000, 0x145, 121, 121},
    };
    for (const auto& c : cases) {
        FakeScript script;
        // Result 11 carries no body: the reply is accepted only when its code matches.
        script.SendAny().Reply(ResultHex(1, c.sent, 11, 0, c.flags1));
        script.Install();
        CsHandle handle{};
        MakeRemoteHandle(&handle, c.flags1, c.flags2);
        void* none = nullptr;
        int rc = 0;
        switch (c.code) {
            case 112:
                rc = CsServerRequest(&handle, 112, &g_group, "", none, 0, none, 'N', none, CountRows);
                break;
            case 101:
                rc = CsServerRequest(&handle, 101, &g_group, none, none, none, none, 0, 0, 0, 0u, none, none,
                                     none, none);
                break;
            case 103: rc = CsServerRequest(&handle, 103, &g_group, none, none, none, none, none); break;
            case 121: rc = CsServerRequest(&handle, 121, "", "", "", 0, none, none); break;
        }
        EXPECT_EQ(rc, CS_NOT_FOUND) << c.name;
    }
}

TEST_F(Dispatcher, LogonReplyFillsTheHandle) {
    CsXdrLogonRecord logon{};
    logon.userNumber = 42;
    logon.groupList = const_cast<char*>("IN (42,7)");
    logon.userType = 4;
    CsXdrSystemParms parms{};
    parms.timeOut = 900;
    parms.flags = 0x02;
    CsReplyRecord reply{};
    reply.result = CS_PASSWORD_EXPIRED;
    reply.code = 3;
    wire_test::Set(reply.body.logon.user.userId, "ALICE");
    reply.body.logon.user.logonTimeOut = 1800;
    wire_test::Set(reply.body.logon.identity.userId, "ALICE");
    wire_test::Set(reply.body.logon.identity.userName, "Alice Example");
    reply.body.logon.identity.processId = 4711;
    reply.body.logon.logon = &logon;
    reply.body.logon.parms = &parms;
    reply.body.logon.session = 99;
    reply.body.logon.words[0] = 5;
    reply.body.logon.words[1] = 6;
    std::memset(reply.body.logon.sessionBlock, 0xAB, sizeof reply.body.logon.sessionBlock);
    const uint32_t f1 = 0x50100000, f2 = 0x045;  // LONG64: the user record's time-out travels
    script_.SendAny().Reply(ReplyHex(1, reply, f1, f2)).SendAny().Reply(ResultHex(2, 3, 13, 0, f1));
    script_.Install();
    MakeRemoteHandle(&handle_, f1, f2);
    CsXdrUserRecord user{};
    EXPECT_EQ(CsServerRequest(&handle_, 3, "ALICE", "ABC", &user), CS_PASSWORD_EXPIRED);
    EXPECT_STREQ(user.userId, "ALICE");
    EXPECT_STREQ(handle_.identity.userName, "Alice Example");
    EXPECT_EQ(handle_.identity.processId, 4711u);
    ASSERT_NE(handle_.logon, nullptr);
    EXPECT_EQ(handle_.logon->userNumber, 42u);
    EXPECT_EQ(handle_.logon->groupList, "IN (42,7)");
    EXPECT_EQ(handle_.logon->timeOut, 1800) << "the time-out comes from the user record";
    ASSERT_NE(handle_.systemParms, nullptr);
    EXPECT_EQ(handle_.systemParms->timeOut, 900);
    EXPECT_EQ(handle_.serverSession, 99u);
    EXPECT_EQ(handle_.serverWords[1], 6u);
    EXPECT_EQ(handle_.serverSessionBlock[63], 0xAB);
    EXPECT_TRUE(CsIsConnected(&handle_)) << "12 keeps the connection";
    EXPECT_EQ(CsServerRequest(&handle_, 3, "ALICE", "WRONG", &user), CS_NOT_AUTHORISED);
    EXPECT_FALSE(CsIsConnected(&handle_)) << "a refused logon drops the connection";
    EXPECT_EQ(CsServerRequest(&handle_, 3, "A-USER-ID-OF-21-CHARS", "", &user), CS_FAILED) << "never cut";
    delete handle_.logon;
    handle_.logon = nullptr;
    handle_.systemParms.reset();
}

// Document data: pieces expanded into the callback, acknowledged every second reply.
std::string g_data;
int Collect(void*, char* buffer, uint32_t length) {
    g_data.append(buffer, length);
    return 1;
}

TEST_F(Dispatcher, DocumentDataArrivesInPiecesWithAcknowledgements) {
    auto piece = [](uint32_t number, const char* text) {
        CsXdrDataPiece p{};
        p.letter = 'N';
        p.length = static_cast<uint32_t>(std::strlen(text));
        p.data = const_cast<char*>(text);
        CsReplyRecord reply{};
        reply.code = 101;
        reply.body.data.piece = &p;
        return ReplyHex(number, reply, kFlags1);
    };
    CsReplyRecord end{};
    end.code = 101;
    end.body.data.location = 2;
    end.body.data.second = 1;
    script_.SendNumbered(1).Reply(piece(1, "hello ")).Reply(piece(1, "wide "));
    script_.SendNumbered(2).Reply(piece(2, "world")).Reply(ReplyHex(2, end, kFlags1));
    script_.Install();
    g_data.clear();
    uint8_t location = 0, second = 0;
    void* none = nullptr;
    int rc = CsServerRequest(&handle_, 101, &g_group, none, none, none, none, 0, 0, 0, 0u,
                             static_cast<CsDataFnC>(Collect), none, &location, &second);
    EXPECT_EQ(rc, CS_OK);
    EXPECT_EQ(g_data, "hello wide world");
    EXPECT_EQ(location, 2);
    EXPECT_EQ(second, 1);
}

// The token exchange: each server token goes through the callback until none follows.
std::vector<std::string> g_tokens;
int TokenStep(CsHandle*, const unsigned char* token, uint32_t length, const unsigned char** next,
              uint32_t* nextLength, int* done) {
    static std::string out;
    g_tokens.emplace_back(
        reinterpret_cast<const char*>(token ? token : reinterpret_cast<const unsigned char*>("")), length);
    out = "C" + std::to_string(g_tokens.size());
    *next = reinterpret_cast<const unsigned char*>(out.data());
    *nextLength = static_cast<uint32_t>(out.size());
    *done = g_tokens.size() == 2;
    return 0;
}

TEST_F(Dispatcher, TokenExchangeRunsUntilTheServerIsSatisfied) {
    auto token = [](uint32_t number, const char* text, const char* user) {
        CsReplyRecord reply{};
        reply.code = 108;
        reply.body.token.length = static_cast<uint32_t>(std::strlen(text));
        reply.body.token.token = const_cast<char*>(text);
        wire_test::Set(reply.body.token.userId, user);
        return ReplyHex(number, reply, kFlags1);
    };
    script_.SendNumbered(1).Reply(token(1, "S1", "")).SendNumbered(2).Reply(token(2, "", "DOM\\ALICE"));
    script_.Install();
    g_tokens.clear();
    char outUser[CS_USER_ID_SIZE] = {};
    EXPECT_EQ(CsServerRequest(&handle_, 108, "ALICE", outUser, TokenStep), CS_OK);
    ASSERT_EQ(g_tokens.size(), 2u);
    EXPECT_EQ(g_tokens[0], "");
    EXPECT_EQ(g_tokens[1], "S1");
    EXPECT_STREQ(outUser, "DOM\\ALICE");
}

int HugeToken(CsHandle*, const unsigned char*, uint32_t, const unsigned char** next, uint32_t* nextLength,
              int*) {
    static std::vector<unsigned char> big(65537, 'x');
    *next = big.data();
    *nextLength = static_cast<uint32_t>(big.size());
    return 0;
}

TEST_F(Dispatcher, TokenAboveSixtyFourKibIsRefused) {
    script_.SendAny().Reply(ResultHex(1, 108, 0));
    script_.Install();
    char outUser[CS_USER_ID_SIZE] = {};
    EXPECT_EQ(CsServerRequest(&handle_, 108, "ALICE", outUser, HugeToken), CS_FAILED);
    EXPECT_EQ(Count(script_.Log(), "send"), 0);
    EXPECT_FALSE(CsIsConnected(&handle_)) << "a failed token exchange drops the connection";
}

}  // namespace
