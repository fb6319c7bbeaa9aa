// Logon operations against the loopback archive peer through our TCP transport:
// results and server texts, the hidden texts on the wire, negotiation fall-backs,
// disconnect and logoff, password change, the group list and the integrated logon.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "logon_test_support.h"
#include "qel_ntlm.h"
#include "qel_ntlm_fake.h"

namespace {

using logontest::HandleGuard;
using qel_peer::JsonValue;
using qel_peer::PeerProcess;

// The codes of the requests the peer received, in order.
std::vector<std::string> Codes(const PeerProcess& peer) {
    std::vector<std::string> codes;
    for (const std::string& line : peer.Events("request")) codes.push_back(JsonValue(line, "code"));
    return codes;
}

class RemoteLogon : public ::testing::Test {
protected:
    explicit RemoteLogon(std::vector<std::string> args = {}) : peer_(qel_peer::Script("basic.json"), args) {}
    void SetUp() override {
        ASSERT_NE(peer_.port(), 0);
        logontest::MakePeerHandle(&handle_, peer_);
    }

    PeerProcess peer_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
};

TEST_F(RemoteLogon, ResultsAndServerTexts) {
    struct Case {
        const char* name;
        const char* user;
        const char* password;
        int expected;
        const char* message;
    };
    const Case cases[] = {
        {"accepted", "ALICE", "SECRET1", CS_OK, ""},
        {"wrong password", "ALICE", "WRONG", CS_NOT_AUTHORISED, "Invalid user id or password"},
        {"unknown user", "NOBODY", "X", CS_NOT_AUTHORISED, "Invalid user id or password"},
        {"expired password: the logon is complete", "BOB", "BOBPASS", CS_PASSWORD_EXPIRED,
         "The password has expired"},
        {"over-long user id refused before the wire", "ABCDEFGHIJKLMNOPQRSTU", "X", CS_NOT_AUTHORISED, ""},
    };
    for (const Case& c : cases) {
        CsHandle handle{};
        HandleGuard guard{&handle};
        logontest::MakePeerHandle(&handle, peer_);
        CsUserRecord record{};
        EXPECT_EQ(CsLogon(&handle, c.user, c.password, &record), c.expected) << c.name;
        EXPECT_STREQ(handle.serverMessage, c.message) << c.name;
        const bool complete = c.expected == CS_OK || c.expected == CS_PASSWORD_EXPIRED;
        EXPECT_EQ(handle.logon != nullptr, complete) << c.name;
        if (!complete) continue;
        EXPECT_STREQ(record.userId, c.user) << c.name;
        EXPECT_STREQ(handle.identity.userId, c.user) << c.name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(handle.serverSessionBlock), 8), "QELPEER1")
            << c.name;
        EXPECT_TRUE(CsIsConnected(&handle)) << c.name;
    }
    const std::vector<std::string> codes = Codes(peer_);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "3"), 4) << "the over-long id never reached the peer";
}

TEST_F(RemoteLogon, RecordLogonRecordAndParameters) {
    CsUserRecord record{};
    ASSERT_EQ(CsLogon(&handle_, "alice", "secret1", &record), CS_OK);
    EXPECT_EQ(record.userNumber, 7u);
    EXPECT_STREQ(record.userName, "Alice Archer");
    EXPECT_EQ(record.logonTimeOut, 600);
    ASSERT_NE(handle_.logon, nullptr);
    EXPECT_EQ(handle_.logon->groupList, "IN (7,100,101)");
    ASSERT_NE(handle_.systemParms, nullptr);
    EXPECT_EQ(handle_.systemParms->passwordExpiryDays, 90);
    EXPECT_EQ(handle_.systemParms->timeOut, 1800);
    EXPECT_EQ(handle_.def.flags1 & CS_F1_LEVEL_BITS, CS_F1_LEVEL_BITS);
    EXPECT_EQ(handle_.def.flags2 & CS_F2_LEVEL_BITS, CS_F2_LEVEL_BITS);
}

TEST_F(RemoteLogon, HiddenTextsOnTheWire) {
    CsUserRecord record{};
    ASSERT_EQ(CsLogon(&handle_, "ABC", "ABC", &record), CS_OK);
    const std::vector<std::string> requests = peer_.Events("request");
    ASSERT_FALSE(requests.empty());
    const std::string hidden = JsonValue(requests.back(), "hidden");
    // Big-endian UCS-2 with every byte inverted, the terminating unit plain.
    EXPECT_EQ(hidden, "{\"password\": \"ffbeffbdffbc0000\", \"userId\": \"ffbeffbdffbc0000\"}");
}

TEST_F(RemoteLogon, DisconnectKeepsTheLogonAndLogoffEndsIt) {
    CsUserRecord record{};
    ASSERT_EQ(CsLogon(&handle_, "ALICE", "SECRET1", &record), CS_OK);
    ASSERT_EQ(CsDisconnect(&handle_), CS_OK);
    EXPECT_FALSE(CsIsConnected(&handle_));
    EXPECT_NE(handle_.logon, nullptr);
    EXPECT_EQ(CsDisconnect(&handle_), CS_OK) << "nothing to close";

    // The next request connects again and finds the logon by the session block.
    std::vector<CsFolderEntry*> kept;
    handle_.callbackContext = &kept;
    auto keep = [](void* context, CsFolderEntry* entry) {
        static_cast<std::vector<CsFolderEntry*>*>(context)->push_back(entry);
        return 0;
    };
    EXPECT_EQ(CsGetFolderList(&handle_, nullptr, nullptr, nullptr, 0, nullptr, keep), CS_OK);
    EXPECT_EQ(kept.size(), 2u);
    for (CsFolderEntry* entry : kept) CsFreeFolderList(entry);

    EXPECT_EQ(CsLogoff(&handle_), CS_OK);
    EXPECT_EQ(handle_.logon, nullptr);
    EXPECT_EQ(handle_.systemParms, nullptr);
    EXPECT_FALSE(CsIsConnected(&handle_));
    EXPECT_EQ(handle_.def.flags1 & CS_F1_DISCONNECT, 0u);

    // The server ended the session: the old block is worth nothing now.
    kept.clear();
    EXPECT_EQ(CsGetFolderList(&handle_, nullptr, nullptr, nullptr, 0, nullptr, keep), CS_NOT_AUTHORISED);
    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(Codes(peer_), (std::vector<std::string>{"0", "3", "5", "121", "4", "121"}));
}

TEST_F(RemoteLogon, TimedOutHandleStillLogsOff) {
    CsUserRecord record{};
    ASSERT_EQ(CsLogon(&handle_, "ALICE", "SECRET1", &record), CS_OK);
    handle_.def.flags1 |= CS_F1_TIMED_OUT;
    EXPECT_EQ(CsDisconnect(&handle_), CS_OK);
    EXPECT_NE(handle_.def.flags1 & CS_F1_TIMED_OUT, 0u);
    EXPECT_EQ(CsLogoff(&handle_), CS_OK);
    EXPECT_EQ(handle_.def.flags1 & CS_F1_TIMED_OUT, 0u);
    EXPECT_EQ(Codes(peer_).back(), "4");
}

TEST_F(RemoteLogon, PasswordChangeAndGroups) {
    CsUserRecord record{};
    ASSERT_EQ(CsLogon(&handle_, "ALICE", "SECRET1", &record), CS_OK);
    struct Case {
        const char* name;
        const char* old;
        const char* fresh;
        int expected;
        uint32_t reason;
    };
    const Case cases[] = {
        {"too short", "SECRET1", "AB", CS_NOT_AUTHORISED, 1},
        {"wrong old password", "NOPE", "NEWPASS1", CS_NOT_AUTHORISED, 0},
        {"over-long new password refused before the wire", "SECRET1", "123456789012345678901",
         CS_NOT_AUTHORISED, 1},
        {"changed", "SECRET1", "NEWPASS1", CS_OK, 0},
    };
    for (const Case& c : cases) {
        std::strcpy(record.password, c.old);
        uint32_t reason = 99;
        EXPECT_EQ(CsChangePassword(&handle_, &record, c.fresh, &reason), c.expected) << c.name;
        EXPECT_EQ(reason, c.reason) << c.name;
    }
    CsHandle again{};
    HandleGuard guard{&again};
    logontest::MakePeerHandle(&again, peer_);
    CsUserRecord other{};
    EXPECT_EQ(CsLogon(&again, "ALICE", "NEWPASS1", &other), CS_OK);

    std::vector<std::string> groups;
    handle_.callbackContext = &groups;
    auto collect = [](void* context, CsGroupEntry* entry) {
        static_cast<std::vector<std::string>*>(context)->push_back(std::to_string(entry->number) + ":" +
                                                                   entry->name + ":" + entry->description);
        return 1;
    };
    EXPECT_EQ(CsGetUserGroups(&handle_, nullptr, 0, 0, "7", collect), CS_OK);
    EXPECT_EQ(groups, (std::vector<std::string>{"100:CLERKS:Clerks", "101:AUDIT:Auditors"}));
    groups.clear();
    EXPECT_EQ(CsGetUserGroups(&handle_, "audit", 0, 0, nullptr, collect), CS_OK);
    EXPECT_EQ(groups, (std::vector<std::string>{"101:AUDIT:Auditors"}));
}

TEST(RemoteNegotiation, FallsBackToTheLevelsTheServerOffers) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* skip;  // QEL_QKTARN_SKIP_VERSION, or null for unset
        int expected;
        uint32_t flags1;
        uint32_t flags2;
        std::vector<std::string> probes;
    };
    const Case cases[] = {
        {"newest level", {}, nullptr, CS_OK, 0x50100000, 0x145, {"2219"}},
        {"two refused",
         {"--refuse", "2219", "--refuse", "2210"},
         nullptr,
         CS_OK,
         0x50100000,
         0x005,
         {"2219", "2210", "22014"}},
        {"skip variable 1 starts at 22014", {}, "1", CS_OK, 0x50100000, 0x005, {"22014"}},
        {"skip variable 0 jumps to 2114",
         {"--refuse", "2219", "--refuse", "2210"},
         "0",
         CS_OK,
         0x00100000,
         0,
         {"2219", "2210", "2114"}},
        {"nothing offered",
         {"--refuse", "2219", "--refuse", "2210", "--refuse", "22014", "--refuse", "2209", "--refuse", "2208",
          "--refuse", "2207", "--refuse", "2114", "--refuse", "210"},
         nullptr,
         CS_LEVEL_NOT_SUPPORTED,
         0,
         0,
         {"2219", "2210", "22014", "2209", "2208", "2207", "2114", "210"}},
    };
    for (const Case& c : cases) {
        std::optional<reqtest::EnvSetting> skip;
        if (c.skip)
            skip.emplace("QEL_QKTARN_SKIP_VERSION", c.skip);
        else
            ArcOS_PutEnv("QEL_QKTARN_SKIP_VERSION=");
        PeerProcess peer(qel_peer::Script("basic.json"), c.args);
        ASSERT_NE(peer.port(), 0) << c.name;
        CsHandle handle{};
        HandleGuard guard{&handle};
        logontest::MakePeerHandle(&handle, peer);
        CsUserRecord record{};
        EXPECT_EQ(CsLogon(&handle, "ALICE", "SECRET1", &record), c.expected) << c.name;
        EXPECT_EQ(handle.def.flags1 & CS_F1_LEVEL_BITS, c.flags1) << c.name;
        EXPECT_EQ(handle.def.flags2 & CS_F2_LEVEL_BITS, c.flags2) << c.name;
        std::vector<std::string> probes;
        for (const std::string& line : peer.Events("request"))
            if (JsonValue(line, "code") == "0") probes.push_back(JsonValue(JsonValue(line, "body"), "level"));
        EXPECT_EQ(probes, c.probes) << c.name;
        if (c.expected == CS_OK) {
            EXPECT_EQ(CsLogoff(&handle), CS_OK) << c.name;
        }
    }
}

int CountFolders(void* context, CsFolderEntry*) {
    ++*static_cast<int*>(context);
    return 1;
}

TEST(RemoteFaults, TheFolderListEndsCleanlyAndTheHandleRecovers) {
    struct Case {
        const char* name;
        const char* fault;
        uint32_t idleTimeout;
        int expected;
        int folders;
        bool connected;
    };
    const Case cases[] = {
        {"status word asks for the drop", R"({"code": 121, "kind": "status_drop"})", 0, CS_OK, 2, false},
        {"a reply to another code", R"({"code": 121, "kind": "wrong_reply_code", "value": 53})", 0, CS_FAILED,
         0, false},
        {"the server fails the list", R"({"code": 121, "kind": "result", "value": 6})", 0, CS_FAILED, 0,
         true},
        {"an oversized length", R"({"code": 121, "kind": "oversize_length"})", 0, CS_NOT_AVAILABLE, 0, false},
        {"an oversized frame", R"({"code": 121, "kind": "oversize_frame"})", 0, CS_NOT_AVAILABLE, 0, false},
        {"closed in mid-frame", R"({"code": 121, "kind": "close_mid_frame"})", 0, CS_NOT_AVAILABLE, 0, false},
        {"closed after the first folder", R"({"code": 121, "kind": "drop", "after": 1})", 0, CS_NOT_AVAILABLE,
         1, false},
        {"a server too slow for the idle time-out", R"({"code": 121, "kind": "slow", "ms": 3000})", 1,
         CS_NOT_AVAILABLE, 0, false},
    };
    for (const Case& c : cases) {
        std::string fault = c.fault;
        fault.insert(fault.size() - 1, ", \"times\": 1");
        PeerProcess peer(qel_peer::Script("basic.json"), {"--fault", fault});
        ASSERT_NE(peer.port(), 0) << c.name;
        CsHandle handle{};
        HandleGuard guard{&handle};
        logontest::MakePeerHandle(&handle, peer);
        handle.def.idleTimeout = c.idleTimeout;
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle, "ALICE", "SECRET1", &record), CS_OK) << c.name;
        int folders = 0;
        handle.callbackContext = &folders;
        const int64_t start = ArcOS_MonotonicMs();
        EXPECT_EQ(CsGetFolderList(&handle, nullptr, nullptr, nullptr, 0, nullptr, CountFolders), c.expected)
            << c.name;
        EXPECT_LT(ArcOS_MonotonicMs() - start, 2500) << c.name;
        EXPECT_EQ(folders, c.folders) << c.name;
        EXPECT_EQ(CsIsConnected(&handle), c.connected) << c.name;
        folders = 0;
        EXPECT_EQ(CsGetFolderList(&handle, nullptr, nullptr, nullptr, 0, nullptr, CountFolders), CS_OK)
            << c.name;
        EXPECT_EQ(folders, 2) << c.name << ": the logon survives in the session block";
        EXPECT_EQ(CsLogoff(&handle), CS_OK) << c.name;
    }
}

TEST(RemoteFaults, AnInterruptEndsAListThatNeverEnds) {
    PeerProcess peer(qel_peer::Script("basic.json"),
                     {"--fault", R"({"code": 121, "kind": "endless_list", "times": 1})"});
    ASSERT_NE(peer.port(), 0);
    CsHandle handle{};
    HandleGuard guard{&handle};
    logontest::MakePeerHandle(&handle, peer);
    CsUserRecord record{};
    ASSERT_EQ(CsLogon(&handle, "ALICE", "SECRET1", &record), CS_OK);
    int folders = 0;
    handle.callbackContext = &folders;
    std::thread interrupter([&handle] {
        ArcOS_SleepMs(300);
        CsInterrupt(&handle);
    });
    const int64_t start = ArcOS_MonotonicMs();
    EXPECT_EQ(CsGetFolderList(&handle, nullptr, nullptr, nullptr, 0, nullptr, CountFolders), CS_CANCELLED);
    interrupter.join();
    EXPECT_LT(ArcOS_MonotonicMs() - start, 1300);
    EXPECT_GT(folders, 2);
    folders = 0;
    EXPECT_EQ(CsGetFolderList(&handle, nullptr, nullptr, nullptr, 0, nullptr, CountFolders), CS_OK);
    EXPECT_EQ(folders, 2);
    EXPECT_EQ(CsLogoff(&handle), CS_OK);
}

// The fake NTLM backend's client answers the peer's challenge with its secret.
class IntegratedLogon : public RemoteLogon {
protected:
    void SetUp() override {
        RemoteLogon::SetUp();
        QelNtlmFake_Install();
        QelNtlmFake_SetIdentity("TESTDOM\\alice", nullptr);
    }
    void TearDown() override {
        QelNtlmFake_Remove();
        QelNtlmFake_SetIdentity(nullptr, nullptr);
    }
};

TEST_F(IntegratedLogon, TokenExchangeThenLogonAsTheUserItVouchesFor) {
    CsUserRecord record{};
    ASSERT_EQ(CsIntegratedLogon(&handle_, &record), CS_OK);
    EXPECT_STREQ(record.userId, "ALICE");
    EXPECT_STREQ(handle_.identity.userId, "ALICE");
    EXPECT_EQ(handle_.def.flags1 & CS_F1_INTEGRATED, 0u);
    const std::vector<std::string> codes = Codes(peer_);
    EXPECT_EQ(codes, (std::vector<std::string>{"0", "108", "108", "0", "3"}));
}

TEST_F(IntegratedLogon, WrongSecretIsRefused) {
    QelNtlmFake_SetIdentity("TESTDOM\\alice", "guessed");
    char outUserId[CS_USER_ID_SIZE] = {};
    EXPECT_EQ(CsIntegratedLogonExchange(&handle_, "alice", outUserId, nullptr, nullptr), CS_NOT_AUTHORISED);
    CsUserRecord record{};
    EXPECT_EQ(CsIntegratedLogon(&handle_, &record), CS_NOT_AUTHORISED);
    EXPECT_EQ(handle_.logon, nullptr);
}

}  // namespace
