// Logon, logoff and disconnect on the local server: the user row, the comparison
// against DES and SHA-512 hashes made by Python's crypt, the case rules, the expiry
// rule through the test clock, the security exit, the group list and the messages.
#include <algorithm>
#include <cstring>
#include <string>

#include "logon_test_support.h"
#include "qel_exits.h"
#include "qel_ntlm.h"
#include "qel_ntlm_fake.h"

namespace {

using logontest::HandleGuard;
using logontest::LogonCase;
using logontest::TestArchive;
using logontest::User;

constexpr int64_t kDay = 86400;

class LocalLogon : public ::testing::Test {
protected:
    // Logs on with a fresh handle; the user record comes back in *record.
    int Logon(const char* user, const char* password, CsUserRecord* record = nullptr,
              uint32_t extraFlags = 0) {
        Reset();
        handle_.def.flags1 |= extraFlags;
        CsUserRecord scratch{};
        return CsLogon(&handle_, user, password, record ? record : &scratch);
    }
    // A fresh handle on the archive; what a logon left in the old one is freed.
    void Reset() { guard_.Renew(archive_); }
    void TearDown() override { ArcOS_SetTestClock(std::nullopt); }

    TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
};

TEST_F(LocalLogon, PasswordsAndCaseRules) {
    struct Case {
        const char* name;
        int sysMask;
        const char* user;
        const char* password;
        int expected;
    };
    const Case cases[] = {
        {"right password", 2, "ALICE", "Secret-1", CS_OK},
        {"wrong password", 2, "ALICE", "Secret-2", CS_NOT_AUTHORISED},
        {"unknown user", 2, "MALLORY", "Secret-1", CS_NOT_AUTHORISED},
        {"user id in lower case, ids not case sensitive", 2, "alice", "Secret-1", CS_OK},
        {"user id in lower case, ids case sensitive", 3, "alice", "Secret-1", CS_NOT_AUTHORISED},
        {"exact user id, ids case sensitive", 3, "ALICE", "Secret-1", CS_OK},
        {"password in another case, passwords case sensitive", 2, "ALICE", "SECRET-1", CS_NOT_AUTHORISED},
        {"empty stored password takes the empty password", 2, "CAROL", "", CS_OK},
        {"empty stored password refuses any other", 2, "CAROL", "x", CS_NOT_AUTHORISED},
        {"no user id", 2, nullptr, nullptr, CS_NOT_AUTHORISED},
        {"a 20-byte user id", 2, "ABCDEFGHIJKLMNOPQRST", "Twenty1", CS_OK},
        {"a 21-byte user id is refused, not cut to another user", 2, "ABCDEFGHIJKLMNOPQRSTU", "Twenty1",
         CS_NOT_AUTHORISED},
        {"a 21-byte password is refused, not cut", 2, "ALICE", "Secret-1XXXXXXXXXXXXX", CS_NOT_AUTHORISED},
    };
    for (const Case& c : cases) {
        archive_.WriteSystem(-1, c.sysMask, 4);
        CsUserRecord record{};
        EXPECT_EQ(Logon(c.user, c.password, &record), c.expected) << c.name;
        EXPECT_EQ(handle_.logon != nullptr, c.expected == CS_OK) << c.name;
        EXPECT_EQ(handle_.systemParms != nullptr, c.expected == CS_OK)
            << c.name << ": a failed logon drops them";
        EXPECT_EQ(record.password[0], '\0') << c.name << ": the stored hash never leaves";
        CsFreeLogonRecord(&handle_);
    }
}

TEST_F(LocalLogon, HashKindsOfTheUserTable) {
    archive_.WriteUsers({
        {"DES", 1, "Secret-1"},
        {"SHA", 2, "LongPassword-1", 0, 0, 0, {}, "$6$pythonmadesalt"},
        {"ROUNDS", 3, "LongPassword-1", 0, 0, 0, {}, "$6$rounds=1000$pythonmadesalt"},
        {"MD5", 4, "Md5Pass-1", 0, 0, 0, {}, "$1$abcdefgh"},
    });
    const std::string sha = archive_.UserValue("SHA", "PASSWD");
    ASSERT_EQ(sha.rfind("$6$pythonmadesalt$", 0), 0u) << "Python made it";
    const LogonCase cases[] = {
        {"DES", "DES", "Secret-1", CS_OK},
        {"DES counts eight characters", "DES", "Secret-1 and more", CS_OK},
        {"DES, wrong password", "DES", "Secret-2", CS_NOT_AUTHORISED},
        {"SHA-512", "SHA", "LongPassword-1", CS_OK},
        {"SHA-512 counts every character", "SHA", "LongPassword-2", CS_NOT_AUTHORISED},
        {"SHA-512, the first eight characters", "SHA", "LongPass", CS_NOT_AUTHORISED},
        {"SHA-512 with its rounds", "ROUNDS", "LongPassword-1", CS_OK},
        {"SHA-512 with its rounds, wrong password", "ROUNDS", "LongPassword-", CS_NOT_AUTHORISED},
        {"another method verifies nothing", "MD5", "Md5Pass-1", CS_NOT_AUTHORISED},
    };
    for (const LogonCase& c : cases) {
        CsUserRecord record{};
        EXPECT_EQ(Logon(c.user, c.password, &record), c.expected) << c.name;
        EXPECT_EQ(std::string(record.password, sizeof record.password),
                  std::string(sizeof record.password, '\0'))
            << c.name << ": no hash in the record";
    }
    // A damaged hash: cut, or one character changed.
    const std::string cut = sha.substr(0, 60);
    std::string changed = sha;
    changed.back() = changed.back() == 'A' ? 'B' : 'A';
    for (const std::string& damaged : {cut, changed}) {
        std::string table = archive_.Table("user");
        table.replace(table.find(sha), sha.size(), damaged);
        archive_.WriteTable("user", table);
        EXPECT_EQ(Logon("SHA", "LongPassword-1"), CS_NOT_AUTHORISED) << damaged;
        table.replace(table.find(damaged), damaged.size(), sha);
        archive_.WriteTable("user", table);
    }
    // A PASSWD longer than any hash is a broken row, never cut to fit.
    std::string table = archive_.Table("user");
    table.replace(table.find(sha), sha.size(), std::string(128, 'x'));
    archive_.WriteTable("user", table);
    EXPECT_EQ(Logon("SHA", "LongPassword-1"), CS_FAILED);
}

TEST_F(LocalLogon, PasswordsThatAreNotCaseSensitiveAreHashedInUpperCase) {
    archive_.WriteUsers({{"FRED", 8, "UPPER-PW"}});
    archive_.WriteSystem(-1, 0, 4);
    char user[] = "fred";
    char password[] = "upper-pw";
    EXPECT_EQ(Logon(user, password), CS_OK);
    EXPECT_STREQ(user, "fred") << "the caller's buffers stay as they were";
    EXPECT_STREQ(password, "upper-pw");
    EXPECT_STREQ(handle_.identity.userId, "FRED");
}

TEST_F(LocalLogon, RecordLogonRecordAndIdentity) {
    CsUserRecord record{};
    ASSERT_EQ(Logon("alice", "Secret-1", &record), CS_OK);
    EXPECT_EQ(record.userNumber, 1u);
    EXPECT_STREQ(record.userId, "ALICE");
    EXPECT_STREQ(record.userName, "Name of ALICE");
    EXPECT_STREQ(record.description, "user ALICE");
    EXPECT_STREQ(record.info[1], "Demo") << "COMPANY";
    EXPECT_EQ(record.logonState, 3u);
    EXPECT_EQ(record.passwordChanged, 1700000000);
    ASSERT_NE(handle_.logon, nullptr);
    EXPECT_EQ(handle_.logon->userNumber, 1u);
    EXPECT_EQ(handle_.logon->groupList, "IN (1,10,11)");
    EXPECT_EQ(handle_.logon->timeOut, 600);
    EXPECT_STREQ(handle_.identity.userId, "ALICE");
    EXPECT_STREQ(handle_.identity.userName, "Name of ALICE");
    EXPECT_EQ(handle_.identity.processId, static_cast<uint32_t>(ArcOS_GetProcessId()));
    ASSERT_NE(handle_.systemParms, nullptr);
    EXPECT_EQ(handle_.systemParms->timeOut, 3600);
    EXPECT_EQ(handle_.systemParms->flags, 2u);
    EXPECT_EQ(handle_.nesting, 0u) << "the bracket is closed again";

    ASSERT_EQ(Logon("CAROL", ""), CS_OK);
    EXPECT_EQ(handle_.logon->groupList, "IN (3)") << "a user in no group";
}

TEST_F(LocalLogon, GroupListGrowsPastAnyFixedBuffer) {
    // 1500 groups of ten digits each: a list of more than 16 KiB.
    User many{"MANY", 9, "ManyPw1"};
    std::string expected = "IN (9";
    for (int i = 0; i < 1500; ++i) {
        many.groups.push_back(1000000000 + i);
        expected += "," + std::to_string(1000000000 + i);
    }
    archive_.WriteUsers({many});
    ASSERT_EQ(Logon("MANY", "ManyPw1"), CS_OK);
    EXPECT_EQ(handle_.logon->groupList, expected + ")");
}

TEST_F(LocalLogon, PasswordExpiresExactlyAfterItsDays) {
    const int64_t changed = 1700000000;
    struct Case {
        const char* name;
        int days;
        int64_t lastUpdate;
        int64_t now;
        int expected;
    };
    const Case cases[] = {
        {"never expires", -1, changed, changed + 9999 * kDay, CS_OK},
        {"a second before the day", 30, changed, changed + 30 * kDay - 1, CS_OK},
        {"exactly at the day", 30, changed, changed + 30 * kDay, CS_PASSWORD_EXPIRED},
        {"0 days: always expired", 0, changed, changed, CS_PASSWORD_EXPIRED},
        {"never changed counts as expired", 30, 0, changed, CS_PASSWORD_EXPIRED},
        {"past the calendar: never", 2000000000, changed, changed + 9999 * kDay, CS_OK},
    };
    for (const Case& c : cases) {
        archive_.WriteUsers({{"ALICE", 1, "Secret-1", 0, c.lastUpdate, 0, {10}}});
        archive_.WriteSystem(c.days, 2, 4);
        ArcOS_SetTestClock(c.now);
        EXPECT_EQ(Logon("ALICE", "Secret-1"), c.expected) << c.name;
        EXPECT_NE(handle_.logon, nullptr) << c.name << ": an expired logon is complete";
        EXPECT_STREQ(handle_.identity.userId, "ALICE") << c.name;
        EXPECT_EQ(Logon("ALICE", "wrong"), CS_NOT_AUTHORISED)
            << c.name << ": expiry never lets a wrong password in";
    }
    archive_.WriteSystem(0, 2, 4);
    EXPECT_EQ(Logon("ALICE", "Secret-1", nullptr, CS_F1_INTEGRATED), CS_OK) << "integrated: no expiry";
}

TEST_F(LocalLogon, SecurityExitVerdicts) {
    archive_.InstallSecurityExit();
    const LogonCase cases[] = {
        {"accepted: the password is not compared", "ALICE", "EXIT-ACCEPT", CS_OK},
        {"expired", "ALICE", "EXIT-EXPIRED", CS_PASSWORD_EXPIRED},
        {"refused", "ALICE", "EXIT-REFUSE", CS_NOT_AUTHORISED},
        {"check here, right password", "EVE", "EXIT-CHECK", CS_OK},
        {"check here, wrong password", "ALICE", "EXIT-CHECK", CS_NOT_AUTHORISED},
        {"an answer the exit may not give", "ALICE", "EXIT-WEIRD", CS_FAILED},
        {"accepted, but the user is unknown", "MALLORY", "EXIT-ACCEPT", CS_NOT_AUTHORISED},
    };
    for (const LogonCase& c : cases) {
        EXPECT_EQ(Logon(c.user, c.password, nullptr, CS_F1_SECURITY_EXIT), c.expected) << c.name;
        EXPECT_NE(handle_.def.flags1 & CS_F1_SECURITY_EXIT, 0u) << c.name << ": the exit stays on";
        EXPECT_EQ(std::string(handle_.serverMessage),
                  std::string("f1|") + c.user + "|" + c.password + "|-|-|-")
            << c.name;
    }
    // The exempt client (type 6 with flag word 2 bit 0x80) skips exit, password and expiry.
    archive_.WriteSystem(0, 2, 4);
    Reset();
    handle_.def.flags1 |= CS_F1_SECURITY_EXIT;
    handle_.clientType = 6;
    handle_.def.flags2 |= CS_F2_UNIFIED_TXMON;
    CsUserRecord record{};
    EXPECT_EQ(CsLogon(&handle_, "ALICE", "EXIT-REFUSE", &record), CS_OK);
    EXPECT_STREQ(handle_.serverMessage, "") << "the exit was not called";
}

TEST_F(LocalLogon, MissingExitLibraryRefusesTheLogon) {
    EXPECT_EQ(Logon("ALICE", "Secret-1", nullptr, CS_F1_SECURITY_EXIT), CS_FAILED);
    EXPECT_EQ(handle_.logon, nullptr);
}

TEST_F(LocalLogon, LogonWithoutUserRow) {
    CsUserRecord record{};
    EXPECT_EQ(Logon("nobody", "anything", &record, CS_F1_NO_USER_ROW), CS_OK);
    EXPECT_STREQ(record.userId, "NOBODY");
    EXPECT_EQ(record.userType, 4);
    ASSERT_NE(handle_.logon, nullptr);
    EXPECT_EQ(handle_.logon->userType, 4);
}

TEST_F(LocalLogon, BrokenTablesEndTheLogonWithTheirResult) {
    struct Case {
        const char* name;
        const char* table;
        std::string text;
    };
    const Case cases[] = {
        {"system parameters without SYS_MASK", "system", "[SYSTEM]\nCODEPAGE=819\nPASSWD_EXP=-1\n"},
        {"user row without PASSWD", "user", "[USERS]\nUSERS=ALICE\n[ALICE]\nUID=1\nADMIN=0\nPID=0\n"},
    };
    for (const Case& c : cases) {
        archive_.WriteTable(c.table, c.text);
        EXPECT_EQ(Logon("ALICE", "Secret-1"), CS_FAILED) << c.name;
        EXPECT_EQ(handle_.logon, nullptr) << c.name;
        EXPECT_EQ(handle_.systemParms, nullptr) << c.name;
        archive_.WriteUsers(logontest::DefaultUsers());
        archive_.WriteSystem(-1, 2, 4);
    }
}

TEST_F(LocalLogon, MessagesOfLogonLogoffAndDisconnect) {
    ASSERT_EQ(Logon("ALICE", "Secret-1"), CS_OK);
    EXPECT_EQ(Logon("ALICE", "nope"), CS_NOT_AUTHORISED);
    EXPECT_EQ(Logon("MALLORY", "", nullptr, CS_F1_INTEGRATED), CS_NOT_AUTHORISED);
    EXPECT_EQ(archive_.LoggedStartingWith("Login: "), 1);
    EXPECT_EQ(archive_.LoggedStartingWith("Failed login: "), 1) << "not for an integrated logon";
    EXPECT_EQ(Logon("ALICE", "Secret-1", nullptr, CS_F1_NO_LOGON_MSG), CS_OK);
    EXPECT_EQ(archive_.LoggedStartingWith("Login: "), 1);

    EXPECT_EQ(CsDisconnect(&handle_), CS_OK);
    EXPECT_NE(handle_.logon, nullptr) << "disconnect keeps the logon";
    EXPECT_EQ(CsLogoff(&handle_), CS_OK);
    EXPECT_EQ(handle_.logon, nullptr);
    EXPECT_EQ(handle_.systemParms, nullptr);
    EXPECT_EQ(archive_.LoggedStartingWith("Logoff"), 1);
}

TEST_F(LocalLogon, TimedOutHandle) {
    ASSERT_EQ(Logon("ALICE", "Secret-1"), CS_OK);
    handle_.def.flags1 |= CS_F1_TIMED_OUT;
    CsUserRecord record{};
    EXPECT_EQ(CsLogon(&handle_, "ALICE", "Secret-1", &record), CS_TIMED_OUT);
    EXPECT_EQ(CsDisconnect(&handle_), CS_OK);
    EXPECT_NE(handle_.def.flags1 & CS_F1_TIMED_OUT, 0u) << "disconnect leaves it timed out";
    EXPECT_EQ(CsLogoff(&handle_), CS_OK);
    EXPECT_EQ(handle_.def.flags1 & (CS_F1_TIMED_OUT | CS_F1_DISCONNECT), 0u);
    EXPECT_EQ(archive_.LoggedStartingWith("Logoff Timeout"), 1);

    // An idle logon past its time-out can still be ended.
    ASSERT_EQ(Logon("ALICE", "Secret-1"), CS_OK);
    handle_.logon->lastActivity = ArcOS_TimeNow() - 10000;
    EXPECT_EQ(CsLogoff(&handle_), CS_OK);
    EXPECT_EQ(archive_.LoggedStartingWith("Logoff Timeout"), 1);
}

// The System Log is the archive's "System Log" group: a logon message becomes its row.
// Without the group there is no System Log, and the message falls back to the event log.
TEST_F(LocalLogon, SystemLogFollowsTheArchivesGroup) {
    auto events = [this] {
        int n = 0;
        for (const std::string& line : archive_.Sandbox().Events())
            if (line.find("|Login: ") != std::string::npos) ++n;
        return n;
    };
    const std::string groups = archive_.Table("ag");
    struct Case {
        const char* name;
        const char* list;  // APPLICATION_GROUPS of ag.tbl
        int rows, events;  // what one logon adds
    };
    const Case cases[] = {
        {"the sample archive's group", "100,101,102", 1, 0},
        {"no System Log group", "100,101", 0, 1},
    };
    for (const Case& c : cases) {
        std::string table = groups;
        const std::string key = "APPLICATION_GROUPS=100,101,102";
        ASSERT_NE(table.find(key), std::string::npos);
        table.replace(table.find(key), key.size(), std::string("APPLICATION_GROUPS=") + c.list);
        archive_.WriteTable("ag", table);
        const int rowsBefore = archive_.LoggedStartingWith("Login: ");
        const int eventsBefore = events();
        ASSERT_EQ(Logon("ALICE", "Secret-1"), CS_OK) << c.name;
        EXPECT_EQ(archive_.LoggedStartingWith("Login: ") - rowsBefore, c.rows) << c.name;
        EXPECT_EQ(events() - eventsBefore, c.events) << c.name;
        EXPECT_EQ(CsGetSystemLogDef(), nullptr) << c.name << ": the outermost leave frees the definition";
    }
    archive_.WriteTable("ag", groups);
}

// A message issued with data keeps it as its System Log record's document, which only a
// system administrator reads back; a message without data keeps none.
TEST_F(LocalLogon, SystemLogRecordsKeepTheirMessagesData) {
    ASSERT_EQ(Logon("ROOT", "RootPw1"), CS_OK);
    const std::string report = std::string("BULK DOCUMENT RETRIEVAL\n\0\xfe\t", 27) + std::string(9000, 'x');
    size_t handed = 0;
    const CsMessageData data = [&](const unsigned char** piece, size_t* length) {
        *length = std::min<size_t>(report.size() - handed, 4096);
        *piece = reinterpret_cast<const unsigned char*>(report.data()) + handed;
        handed += *length;
    };
    // Message 72 (a bulk run's timing) goes to the System Log; rows are counted from 0.
    auto issue = [&](const CsMessageData* with) {
        const size_t row = size_t(archive_.LoggedStartingWith(""));
        EXPECT_EQ(CsSessionEnter(&handle_), CS_OK);
        const CsMessageArgs args = CsMessageArgs().D(1.5).S("Qelcssm").I(1);
        const int rc = with ? CsIssueMessageArgs(&handle_, 72, args, 'N', *with)
                            : CsIssueMessageArgs(&handle_, 72, args);
        EXPECT_EQ(CsSessionLeave(&handle_, rc), CS_OK);
        EXPECT_EQ(size_t(archive_.LoggedStartingWith("")), row + 1);
        return row;
    };
    const size_t withData = issue(&data);
    const size_t without = issue(nullptr);
    EXPECT_EQ(archive_.LoggedStartingWith("BulkProcess: Time(1.500)"), 2);

    std::string read;
    EXPECT_EQ(CsGetSystemLogDocument(&handle_, withData, &read), CS_OK);
    EXPECT_EQ(read, report);
    EXPECT_EQ(CsGetSystemLogDocument(&handle_, without, &read), CS_NOT_FOUND);
    EXPECT_EQ(CsGetSystemLogDocument(&handle_, without + 1, &read), CS_NOT_FOUND);
    EXPECT_TRUE(read.empty());

    // Other users' ids and the reported documents' values are for administrators only.
    ASSERT_EQ(Logon("ALICE", "Secret-1"), CS_OK);
    EXPECT_EQ(CsGetSystemLogDocument(&handle_, withData, &read), CS_NOT_AUTHORISED);
    EXPECT_TRUE(read.empty());
}

// The client side of a local integrated logon: the fake NTLM backend's client steps,
// driven by the exchange's two callbacks.
struct ClientSide {
    QelNtlmContext* context = nullptr;
    std::string next;  // the client's next token
    bool done = false;
    bool tamper = false;
    bool failSource = false;
};

int NextClientToken(void* context, const unsigned char** token, uint32_t* length) {
    auto* c = static_cast<ClientSide*>(context);
    if (c->failSource) return 1;
    *token = reinterpret_cast<const unsigned char*>(c->next.data());
    *length = static_cast<uint32_t>(c->next.size());
    return 0;
}

int TakeServerAnswer(void* context, const unsigned char* answer, uint32_t length) {
    auto* c = static_cast<ClientSide*>(context);
    if (c->done) return 0;
    const void* out = nullptr;
    size_t outLength = 0;
    int done = 0;
    if (QelNtlm_ClientStep(c->context, answer, length, &out, &outLength, &done) != 0) return 1;
    c->next.assign(static_cast<const char*>(out), outLength);
    if (c->tamper && done) c->next.back() ^= 1;
    c->done = done != 0;
    return 0;
}

TEST_F(LocalLogon, LocalTokenExchangePlaysTheServerSide) {
    QelNtlmFake_Install();
    QelNtlmFake_SetIdentity("TESTDOM\\alice", nullptr);
    struct Case {
        const char* name;
        bool tamper;
        bool failSource;
        bool callbacks;
        int expected;
    };
    const Case cases[] = {
        {"the handshake completes", false, false, true, CS_OK},
        {"a tampered answer is refused", true, false, true, CS_FAILED},
        {"a failing token source", false, true, true, CS_FAILED},
        {"no callbacks", false, false, false, CS_FAILED},
    };
    for (const Case& c : cases) {
        Reset();
        ClientSide client;
        ASSERT_EQ(QelNtlm_Create(&client.context), 0);
        client.tamper = c.tamper;
        client.failSource = c.failSource;
        handle_.callbackContext = &client;
        char outUserId[CS_USER_ID_SIZE] = {};
        EXPECT_EQ(
            CsIntegratedLogonExchange(&handle_, "alice", outUserId, c.callbacks ? NextClientToken : nullptr,
                                      c.callbacks ? TakeServerAnswer : nullptr),
            c.expected)
            << c.name;
        EXPECT_STREQ(outUserId, "alice") << c.name;
        EXPECT_EQ(handle_.nesting, 0u) << c.name;
        QelNtlm_Free(client.context);
    }
    QelNtlmFake_Remove();
    QelNtlmFake_SetIdentity(nullptr, nullptr);
}

}  // namespace
