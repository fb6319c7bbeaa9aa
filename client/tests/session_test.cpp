// Sessions: creation and logon, the session and server-name lists, logoff, accessors.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "arc_profile.h"
#include "client_test_support.h"

namespace {

using clienttest::ClientTest;
using clienttest::FakeUser;

class SessionTest : public ClientTest {};

TEST_F(SessionTest, ServerKindsBindTheHandle) {
    struct Case {
        char kind;
        uint16_t handleKind;
        const char* host;
        uint16_t port;
    };
    const Case cases[] = {
        {'L', CS_KIND_LOCAL, "LOCAL", 0},
        {'T', CS_KIND_TCP, "archive.example", 1445},
        {'S', CS_KIND_SNA, "archive.example", 1445},
        {'X', 0, "", 0},
    };
    Session_SetOptionBits(nullptr, 0x01, 0x80, 1);
    for (const Case& c : cases) {
        ClientStatus st;
        ClientSession* s = nullptr;
        Session_Logon(&st, "Archive", "archive.example", "ALICE", "SECRET", c.kind, 1445, "/data/archive",
                      &s);
        ASSERT_EQ(st.severity, 0) << c.kind;
        ASSERT_NE(s, nullptr) << c.kind;
        EXPECT_EQ(s->handle.def.kind, c.handleKind) << c.kind;
        EXPECT_STREQ(s->handle.def.host, c.host) << c.kind;
        EXPECT_EQ(s->handle.def.port, c.port) << c.kind;
        EXPECT_STREQ(s->handle.serverName, "Archive");
        EXPECT_EQ(s->handle.callbackContext, s);
        EXPECT_EQ(s->handle.iconv, clienttest::SharedIconv());
        EXPECT_EQ(s->handle.def.flags1, 0x01u) << c.kind;
        EXPECT_EQ(s->handle.def.flags2, 0x80u) << c.kind;
        EXPECT_EQ(s->codePage, 819);
        EXPECT_EQ(s->charKind, 1);
        char directory[256];
        ArcPROF_GetFromImage("@SRV@_Archive", "DIRECTORY", "", directory, sizeof directory,
                             s->handle.def.profile.c_str());
        EXPECT_STREQ(directory, c.kind == 'L' ? "/data/archive" : "") << c.kind;
        EXPECT_TRUE(Session_IsOpen(s));
        Session_Logoff(s, 1);
    }
}

TEST_F(SessionTest, ALocalDirectoryThatBreaksTheProfileLeavesNoImage) {
    ClientStatus st;
    ClientSession* s = nullptr;
    Session_Logon(&st, "LOCALSRV", "x", "ALICE", "SECRET", 'L', 0, "/a\n[@SRV@_OTHER]", &s);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->handle.def.profile.empty());
}

TEST_F(SessionTest, RefusedLogonHandsOutNothingAndFreesTheRecord) {
    server.failureText = "user unknown";
    const size_t before = qelclient::ListSize();
    ClientStatus st;
    ClientSession* s = reinterpret_cast<ClientSession*>(0x1);
    Session_Logon(&st, "ARCHIVE", "h", "ALICE", "WRONG", 'T', 1, nullptr, &s);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(st.severity, 6);
    EXPECT_EQ(st.code, 28);  // 35 is rewritten for a logon
    EXPECT_EQ(qelclient::ListSize(), before);
    // The server's text outlives the freed record.
    ASSERT_NE(st.serverMessage, nullptr);
    EXPECT_STREQ(st.serverMessage, "user unknown");
}

TEST_F(SessionTest, FailedLogonKeepsItsInsertsReadable) {
    ClientStatus st;
    ClientSession* s = nullptr;
    // A transport failure whose text the handle holds when the record is freed.
    qelclient::ServerOps ops = server.Ops();
    ops.logon = [](ClientSession* session, const char*, const char*) {
        CsSetText(session->handle.serverMessage, CS_SERVER_MESSAGE_SIZE, "host down");
        return 2;
    };
    qelclient::SetOps(ops);
    Session_Logon(&st, "ARCHIVE", "h", "ALICE", "SECRET", 'T', 1, nullptr, &s);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(st.severity, 9);
    EXPECT_EQ(st.code, 4);
    ASSERT_EQ(st.inserts[0].kind, CLIENT_INSERT_TEXT);
    EXPECT_STREQ(static_cast<const char*>(st.inserts[0].value), "host down");
}

TEST_F(SessionTest, ExpiredPasswordStillOpensTheSession) {
    ClientStatus st;
    ClientSession* s = nullptr;
    Session_Logon(&st, "ARCHIVE", "h", "OLD", "PW", 'T', 1, nullptr, &s);
    EXPECT_EQ(st.severity, 3);
    EXPECT_EQ(st.code, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(Session_IsOpen(s));
    EXPECT_EQ(s->userNumber, 9u);
}

TEST_F(SessionTest, OverLongValuesAreRefusedNeverCut) {
    const std::string user20(20, 'U'), user21(21, 'U'), long256(256, 's');
    const std::string dir4096 = "/" + std::string(4095, 'd'), dir4097 = dir4096 + "d";
    server.users[user20] = FakeUser{"PW", 3, 0};
    struct Case {
        const char* name;
        std::string server, host, user, password;
        char kind;
        int port;
        std::string directory;
        int severity, code;
        bool asksServer;
        const char* reason;  // in insert 1
    };
    const Case cases[] = {
        {"user of 20", "S", "h", user20, "PW", 'T', 1, "", 0, 0, true, nullptr},
        {"user of 21", "S", "h", user21, "PW", 'T', 1, "", 6, 28, false, nullptr},
        {"password of 21", "S", "h", "ALICE", std::string(21, 'p'), 'T', 1, "", 6, 28, false, nullptr},
        {"server of 256", long256, "h", "ALICE", "SECRET", 'T', 1, "", 9, 4, false, "server name"},
        {"no server", "", "h", "ALICE", "SECRET", 'T', 1, "", 9, 4, false, "server name"},
        {"host of 256", "S", long256, "ALICE", "SECRET", 'T', 1, "", 9, 4, false, "host name"},
        {"port 65536", "S", "h", "ALICE", "SECRET", 'T', 65536, "", 9, 4, false, "port"},
        {"port -1", "S", "h", "ALICE", "SECRET", 'S', -1, "", 9, 4, false, "port"},
        {"port 65535", "S", "h", "ALICE", "SECRET", 'T', 65535, "", 0, 0, true, nullptr},
        {"directory of 4096", "S", "h", "ALICE", "SECRET", 'L', 0, dir4096, 0, 0, true, nullptr},
        {"directory of 4097", "S", "h", "ALICE", "SECRET", 'L', 0, dir4097, 9, 4, false, "directory"},
    };
    for (const Case& c : cases) {
        const int asked = server.logons;
        ClientStatus st;
        ClientSession* s = nullptr;
        Session_Logon(&st, c.server.c_str(), c.host.c_str(), c.user.c_str(), c.password.c_str(), c.kind,
                      c.port, c.directory.c_str(), &s);
        EXPECT_EQ(st.severity, c.severity) << c.name;
        EXPECT_EQ(st.code, c.code) << c.name;
        EXPECT_EQ(server.logons - asked, c.asksServer ? 1 : 0) << c.name;
        EXPECT_EQ(s != nullptr, c.severity == 0) << c.name;
        if (c.reason) {
            EXPECT_NE(std::string(static_cast<const char*>(st.inserts[0].value)).find(c.reason),
                      std::string::npos)
                << c.name;
        }
        if (s) Session_Logoff(s, 1);
    }
}

TEST_F(SessionTest, IntegratedLogonUsesItsOwnOperation) {
    ClientStatus st;
    ClientSession* s = nullptr;
    Session_Create(&st, "ARCHIVE", "h", nullptr, nullptr, 'T', 1, nullptr, 1, &s);
    EXPECT_EQ(st.severity, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(server.integrated, 1);
    EXPECT_EQ(server.logons, 1);  // the fake's integrated path logs on as ALICE
    EXPECT_STREQ(s->user.userId, "ALICE");
}

TEST_F(SessionTest, ServerNamesAreSharedWithoutRegardToCase) {
    ClientSession* a = LogOn("Archive");
    ClientSession* b = LogOn("ARCHIVE");
    ClientSession* c = LogOn("Other");
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->serverEntry, b->serverEntry);
    EXPECT_NE(a->serverEntry, c->serverEntry);
    EXPECT_EQ(*a->serverEntry, "Archive");
    EXPECT_EQ(qelclient::ServerEntryCount(), 2u);
    Session_Logoff(a, 1);
    Session_Logoff(b, 1);
    // Entries live until Client_Term.
    EXPECT_EQ(qelclient::ServerEntryCount(), 2u);
    Client_Term();
    EXPECT_EQ(qelclient::ServerEntryCount(), 0u);
}

TEST_F(SessionTest, RightsFromThePermissionWord) {
    struct Case {
        uint16_t permissions, rights;
    };
    const Case cases[] = {
        {0x00, 0x00}, {0x01, 0x01}, {0x02, 0x02}, {0x08, 0x08}, {0x10, 0x10}, {0x20, 0x00},  // not carried
        {0x40, 0x20}, {0x80, 0x40}, {0xDB, 0x7B}, {0x04, 0x04}, {0xFF, 0x04},  // 0x04 stands alone
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Session_RightsFromPermissions(c.permissions), c.rights) << std::hex << c.permissions;
    }
    ClientSession* bob = LogOn("ARCHIVE", "BOB", "HUNTER2");
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(bob->rights, 0x04);
    EXPECT_EQ(bob->userNumber, 8u);
}

TEST_F(SessionTest, LogoffKeepsOrEndsTheLogonAndFreesTheRecord) {
    ClientSession* a = LogOn();
    ClientSession* b = LogOn();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(Session_Logoff(a, 1), 0);
    EXPECT_EQ(server.disconnects, 1);
    EXPECT_EQ(server.logoffs, 0);
    EXPECT_FALSE(Session_IsOpen(a));
    EXPECT_EQ(Session_Logoff(b, 0), 0);
    EXPECT_EQ(server.logoffs, 1);
    EXPECT_EQ(qelclient::ListSize(), 0u);
    // A record that is not listed is left alone.
    ClientSession stranger;
    EXPECT_EQ(Session_Logoff(&stranger, 0), -1);
    EXPECT_EQ(Session_Logoff(nullptr, 0), -1);
    EXPECT_EQ(server.logoffs, 1);
}

TEST_F(SessionTest, TermLogsEverySessionOff) {
    for (int i = 0; i < 3; ++i) ASSERT_NE(LogOn(), nullptr);
    Client_Term();
    EXPECT_EQ(server.logoffs, 3);
    EXPECT_EQ(qelclient::ListSize(), 0u);
}

TEST_F(SessionTest, ExitSessionIdZeroMatchesNoSession) {
    ClientSession* a = LogOn();
    ClientSession* b = LogOn();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->exitSessionId, 0u);
    EXPECT_EQ(qelclient::ListFindByExitId(0), nullptr);
    b->exitSessionId = 7;
    EXPECT_EQ(qelclient::ListFindByExitId(7), b);
    EXPECT_EQ(qelclient::ListFindByExitId(8), nullptr);
}

TEST_F(SessionTest, ServerCapabilities) {
    struct Case {
        uint32_t word;
        int n;
        bool expected;
    };
    const Case cases[] = {
        {0x000, 0, true},  {0x001, 0, false},  {0x002, 1, false},  {0x000, 2, true},   {0x004, 2, false},
        {0x008, 3, true},  {0x000, 3, false},  {0x020, 4, true},   {0x010, 4, false},  {0x040, 5, true},
        {0x080, 6, true},  {0x100, 7, true},   {0x200, 8, true},   {0x000, 8, false},  {0x000, 9, true},
        {0x400, 9, false}, {0xFFF, 10, false}, {0x000, 10, false}, {0xFFF, -1, false},
    };
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    for (const Case& c : cases) {
        s->systemParms->flags = c.word;
        EXPECT_EQ(Session_HasServerCapability(s, c.n), c.expected)
            << std::hex << c.word << " n " << std::dec << c.n;
    }
    s->systemParms.reset();
    EXPECT_FALSE(Session_HasServerCapability(s, 0));
    EXPECT_FALSE(Session_HasServerCapability(nullptr, 0));
}

TEST_F(SessionTest, OptionWordsFlagsAndValues) {
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    // New sessions copy the defaults; a session's own words change alone.
    Session_SetOption(nullptr, 1);
    EXPECT_EQ(Session_GetDefaultOptions(1), 1u);
    EXPECT_EQ(s->handle.def.flags1 & 1u, 0u);
    Session_SetOptionBits(s, 0x30, 0x05, 1);
    Session_SetOptionBits(s, 0x10, 0x04, 0);
    EXPECT_EQ(s->handle.def.flags1, 0x20u);
    EXPECT_EQ(s->handle.def.flags2, 0x01u);
    ClientSession* t = LogOn();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->handle.def.flags1, 1u);
    Session_SetOption(nullptr, 0);
    EXPECT_EQ(Session_GetDefaultOptions(1), 0u);

    s->systemParms->flags = 0x01;
    EXPECT_TRUE(Session_ServerFlag0(s));
    s->systemParms->flags = 0x02;
    EXPECT_FALSE(Session_ServerFlag0(s));

    Session_SetUserValue(s, 42);
    EXPECT_EQ(Session_GetUserValue(s), 42u);
    EXPECT_EQ(Session_GetUserValue(nullptr), 0u);
}

TEST_F(SessionTest, TimeOutAndInterruptAskTheRequestLayer) {
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(Session_IsTimedOut(s));
    server.timeoutResult = 15;
    EXPECT_TRUE(Session_IsTimedOut(s));
    server.timeoutResult = 1;
    EXPECT_FALSE(Session_IsTimedOut(s));

    Session_Interrupt(s);
    EXPECT_EQ(server.interrupts, 0);  // nothing runs
    s->requestRunning = 1;
    Session_Interrupt(s);
    EXPECT_EQ(server.interrupts, 1);
}

TEST_F(SessionTest, EightThreadsLogOnAndOffAtOnce) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    for (int t = 0; t < kThreads; ++t) {
        server.users["USER" + std::to_string(t)] = FakeUser{"PW" + std::to_string(t), uint32_t(100 + t), 0};
    }
    const char* const kServers[] = {"SRV", "srv", "Srv"};
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string user = "USER" + std::to_string(t);
            const std::string password = "PW" + std::to_string(t);
            for (int i = 0; i < kRounds; ++i) {
                ClientStatus st;
                ClientSession* s = nullptr;
                Session_Logon(&st, kServers[i % 3], "h", user.c_str(), password.c_str(), 'T', 1, nullptr, &s);
                if (!s || st.severity != 0 || s->userNumber != uint32_t(100 + t) || !Session_IsOpen(s) ||
                    *s->serverEntry != "SRV") {
                    ++failures;
                    continue;
                }
                if (Session_Logoff(s, i % 2) != 0) ++failures;
            }
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(qelclient::ListSize(), 0u);
    EXPECT_EQ(server.logons, kThreads * kRounds);
    EXPECT_EQ(server.logoffs + server.disconnects, kThreads * kRounds);
    EXPECT_EQ(qelclient::ServerEntryCount(), 1u);
}

}  // namespace
