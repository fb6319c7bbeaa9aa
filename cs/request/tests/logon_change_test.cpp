// Password and attribute changes and the group list on the local server. New (SHA-512)
// hashes are checked with Python's crypt; a refused change must leave the user table as it was.
#include <algorithm>
#include <string>
#include <vector>

#include "logon_test_support.h"

namespace {

using logontest::HandleGuard;
using logontest::LogonCase;
using logontest::TestArchive;
using logontest::User;

constexpr int64_t kNow = 1800000000;

class LocalChange : public ::testing::Test {
protected:
    void SetUp() override { ArcOS_SetTestClock(kNow); }
    void TearDown() override { ArcOS_SetTestClock(std::nullopt); }

    // Logs a fresh handle on as the caller.
    void LogonAs(const char* user, const char* password, uint32_t extraFlags = 0) {
        guard_.Renew(archive_);
        handle_.def.flags1 |= extraFlags;
        CsUserRecord ignored{};
        ASSERT_EQ(CsLogon(&handle_, user, password, &ignored), CS_OK) << user;
    }
    // The user's full record, as a logon of that user returns it.
    CsUserRecord RecordOf(const char* user, const char* password) {
        CsHandle other{};
        HandleGuard guard{&other};
        archive_.Prepare(&other);
        other.def.flags1 |= CS_F1_NO_LOGON_MSG;
        CsUserRecord record{};
        EXPECT_EQ(CsLogon(&other, user, password, &record), CS_OK) << user;
        return record;
    }
    int LogonResult(const char* user, const char* password) {
        CsHandle other{};
        HandleGuard guard{&other};
        archive_.Prepare(&other);
        CsUserRecord record{};
        return CsLogon(&other, user, password, &record);
    }

    TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
};

TEST_F(LocalChange, OwnPasswordChange) {
    LogonAs("ALICE", "Secret-1");
    CsUserRecord record = RecordOf("ALICE", "Secret-1");
    std::strcpy(record.password, "Secret-1");
    uint32_t reason = 99;
    ASSERT_EQ(CsChangePassword(&handle_, &record, "New-Pass9", &reason), CS_OK);
    EXPECT_EQ(reason, 0u);
    const std::string hash = archive_.UserValue("ALICE", "PASSWD");
    EXPECT_EQ(hash.rfind("$6$", 0), 0u) << "SHA-512";
    EXPECT_EQ(hash.size(), 106u) << "a 16-character salt, the default rounds";
    EXPECT_TRUE(logontest::PythonVerifies("New-Pass9", hash));
    EXPECT_EQ(archive_.UserValue("ALICE", "LAST_UPDATE"), std::to_string(kNow));
    EXPECT_EQ(archive_.UserValue("ALICE", "DESCRIPTION"), "user ALICE") << "the other texts stay";
    EXPECT_STREQ(record.password, "") << "wiped";
    EXPECT_EQ(record.passwordChanged, kNow);
    EXPECT_EQ(LogonResult("ALICE", "New-Pass9"), CS_OK);
    EXPECT_EQ(LogonResult("ALICE", "Secret-1"), CS_NOT_AUTHORISED);
    EXPECT_EQ(archive_.LoggedStartingWith("User Update with new Password: Userid(ALICE) Id(1)"), 1);
}

TEST_F(LocalChange, KeepPasswordFlagKeepsTheGivenTextNeverTheHash) {
    LogonAs("BOB", "Bob.Pass", CS_F1_KEEP_PASSWORD);
    CsUserRecord record = RecordOf("BOB", "Bob.Pass");
    std::strcpy(record.password, "Bob.Pass");
    ASSERT_EQ(CsChangePassword(&handle_, &record, "Bob.Pass2", nullptr), CS_OK);
    EXPECT_STREQ(record.password, "Bob.Pass");
    EXPECT_STREQ(record.description, "user BOB") << "the rest is the stored row";
    EXPECT_EQ(archive_.UserValue("BOB", "PASSWD").rfind("$6$", 0), 0u);
}

// The sample archive as shipped: DES rows (ALICE wonder1, BOB builder2).
TEST_F(LocalChange, ChangedPasswordsAreSha512AndEveryCharacterCounts) {
    const std::string sample = std::string(QEL_TESTDATA_DIR) + "/archive/table/";
    for (const char* table : {"user", "group", "system"})
        archive_.WriteTable(table, localtest::ReadFile(sample + table + ".tbl"));
    ASSERT_EQ(LogonResult("BOB", "builder2"), CS_OK) << "a DES row";

    // Two changes to the same password: both SHA-512, each with its own salt.
    std::vector<std::string> hashes;
    const char* old = "builder2";
    for (int i = 0; i < 2; ++i) {
        LogonAs("BOB", old);
        CsUserRecord record = RecordOf("BOB", old);
        std::strcpy(record.password, old);
        ASSERT_EQ(CsChangePassword(&handle_, &record, "builder3zzzz", nullptr), CS_OK) << i;
        hashes.push_back(archive_.UserValue("BOB", "PASSWD"));
        old = "builder3zzzz";
    }
    auto salt = [](const std::string& hash) { return hash.substr(3, hash.find('$', 3) - 3); };
    for (const std::string& hash : hashes) {
        EXPECT_EQ(hash.rfind("$6$", 0), 0u) << hash;
        EXPECT_EQ(salt(hash).size(), 16u) << hash;
        EXPECT_TRUE(logontest::PythonVerifies("builder3zzzz", hash)) << hash;
        EXPECT_FALSE(logontest::PythonVerifies("builder3", hash)) << hash;
    }
    EXPECT_NE(salt(hashes[0]), salt(hashes[1]));
    EXPECT_NE(hashes[0], hashes[1]);

    const LogonCase cases[] = {
        {"the new password", "BOB", "builder3zzzz", CS_OK},
        {"its first eight characters", "BOB", "builder3", CS_NOT_AUTHORISED},
        {"eight characters and another", "BOB", "builder3x", CS_NOT_AUTHORISED},
        {"one more character", "BOB", "builder3zzzzz", CS_NOT_AUTHORISED},
        {"the old password", "BOB", "builder2", CS_NOT_AUTHORISED},
        {"an unchanged DES row", "ALICE", "wonder1", CS_OK},
        {"an unchanged DES row, wrong password", "ALICE", "wonder2", CS_NOT_AUTHORISED},
    };
    for (const LogonCase& c : cases) EXPECT_EQ(LogonResult(c.user, c.password), c.expected) << c.name;
    EXPECT_EQ(archive_.UserValue("ALICE", "PASSWD"), "alDmLU/d4Adno");
}

TEST_F(LocalChange, RefusedChangesLeaveTheTable) {
    archive_.InstallSecurityExit();
    struct Case {
        const char* name;
        const char* caller;
        const char* callerPassword;
        const char* target;
        const char* oldPassword;
        const char* newPassword;
        uint32_t flags;
        int expected;
        uint32_t reason;
    };
    const Case cases[] = {
        {"wrong old password", "ALICE", "Secret-1", "ALICE", "Secret-9", "New-Pass9", 0, CS_NOT_AUTHORISED,
         0},
        {"shorter than the minimum", "ALICE", "Secret-1", "ALICE", "Secret-1", "abc", 0, CS_NOT_AUTHORISED,
         1},
        {"longer than 20 bytes", "ALICE", "Secret-1", "ALICE", "Secret-1", "123456789012345678901", 0,
         CS_NOT_AUTHORISED, 1},
        {"a plain user on another's record", "BOB", "Bob.Pass", "ALICE", "Secret-1", "New-Pass9", 0,
         CS_NOT_AUTHORISED, 0},
        {"the exit refuses the update", "ALICE", "Secret-1", "ALICE", "Secret-1", "EXIT-REFUSE",
         CS_F1_SECURITY_EXIT, CS_NOT_AUTHORISED, 2},
        {"the exit answers what it may not", "ALICE", "Secret-1", "ALICE", "Secret-1", "EXIT-WEIRD",
         CS_F1_SECURITY_EXIT, CS_NOT_AUTHORISED, 2},
    };
    const std::string before = archive_.Table("user");
    for (const Case& c : cases) {
        LogonAs(c.caller, c.callerPassword, c.flags);
        CsUserRecord record = RecordOf(c.target, c.target == std::string("ALICE") ? "Secret-1" : "Bob.Pass");
        std::strcpy(record.password, c.oldPassword);
        uint32_t reason = 99;
        EXPECT_EQ(CsChangePassword(&handle_, &record, c.newPassword, &reason), c.expected) << c.name;
        EXPECT_EQ(reason, c.reason) << c.name;
        EXPECT_EQ(archive_.Table("user"), before) << c.name;
        EXPECT_STREQ(record.password, "") << c.name << ": the old password does not linger";
    }
    EXPECT_EQ(archive_.LoggedStartingWith("User Failed Update with new Password: Userid(ALICE) Id(1)"), 6);
}

TEST_F(LocalChange, PasswordsOutsideCodePage819AreRefusedAndNeverStored) {
    const char* cyrillic =
        "\xd0\x9f\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c"
        "1";  // UTF-8
    EXPECT_EQ(LogonResult("ALICE", cyrillic), CS_TRANSPORT);
    LogonAs("ALICE", "Secret-1");
    const std::string before = archive_.Table("user");
    CsUserRecord record = RecordOf("ALICE", "Secret-1");
    std::strcpy(record.password, "Secret-1");
    EXPECT_EQ(CsChangePassword(&handle_, &record, cyrillic, nullptr), CS_TRANSPORT);
    EXPECT_EQ(archive_.Table("user"), before);
}

TEST_F(LocalChange, RowsAreNeverWrittenUnderAnotherId) {
    LogonAs("ROOT", "RootPw1");
    const std::string before = archive_.Table("user");
    CsUserRecord record = RecordOf("ALICE", "Secret-1");
    std::strcpy(record.userId, "BOB");
    EXPECT_EQ(CsChangePassword(&handle_, &record, "Fresh-Pw1", nullptr), CS_FAILED);
    EXPECT_EQ(archive_.Table("user"), before);

    // A plain user's own record keeps its stored id whatever the record says.
    LogonAs("BOB", "Bob.Pass");
    CsUserRecord own = RecordOf("BOB", "Bob.Pass");
    std::strcpy(own.userId, "ALICE");
    std::strcpy(own.password, "Bob.Pass");
    EXPECT_EQ(CsChangePassword(&handle_, &own, "Bob.Pass2", nullptr), CS_OK);
    EXPECT_STREQ(own.userId, "BOB");
    EXPECT_TRUE(logontest::PythonVerifies("Secret-1", archive_.UserValue("ALICE", "PASSWD")));
    EXPECT_TRUE(logontest::PythonVerifies("Bob.Pass2", archive_.UserValue("BOB", "PASSWD")));
    EXPECT_EQ(archive_.LoggedStartingWith("User Update with new Password: Userid(BOB) Id(2)"), 1);
}

TEST_F(LocalChange, AdministratorSetsAnotherUsersPasswordWhichThenCountsAsExpired) {
    ArcOS_SetTestClock(1700000000 + 86400);  // a day after the users' last change
    archive_.WriteSystem(30, 2, 4);
    LogonAs("ROOT", "RootPw1");
    CsUserRecord record = RecordOf("BOB", "Bob.Pass");
    std::memset(record.password, 0, sizeof record.password);  // no old password needed
    ASSERT_EQ(CsChangePassword(&handle_, &record, "Fresh-Pw1", nullptr), CS_OK);
    EXPECT_TRUE(logontest::PythonVerifies("Fresh-Pw1", archive_.UserValue("BOB", "PASSWD")));
    EXPECT_EQ(archive_.UserValue("BOB", "LAST_UPDATE"), "0");
    EXPECT_EQ(LogonResult("BOB", "Fresh-Pw1"), CS_PASSWORD_EXPIRED);
}

TEST_F(LocalChange, SecurityExitVetsInsteadOfTheOldPassword) {
    archive_.InstallSecurityExit();
    LogonAs("ALICE", "Secret-1", CS_F1_SECURITY_EXIT);
    CsUserRecord record = RecordOf("ALICE", "Secret-1");
    std::strcpy(record.password, "not-the-old-one");
    ASSERT_EQ(CsChangePassword(&handle_, &record, "New-Pass9", nullptr), CS_OK);
    EXPECT_STREQ(handle_.serverMessage, "f3|ALICE|ALICE|not-the-old-one|ALICE|New-Pass9");
    EXPECT_TRUE(logontest::PythonVerifies("New-Pass9", archive_.UserValue("ALICE", "PASSWD")));
}

TEST_F(LocalChange, UserTypeAndTimeOutOnlyAsTheCallerMayGrant) {
    const std::vector<User> users = {{"ALICE", 1, "Secret-1", 0, kNow, 600},
                                     {"ROOT", 4, "RootPw1", 0x04, kNow},
                                     {"OPER", 8, "OperPw1", 0x08, kNow},
                                     {"BOB", 2, "Bob.Pass", 0x10, kNow, 0}};
    struct Case {
        const char* name;
        const char* caller;
        const char* callerPassword;
        const char* target;
        const char* targetPassword;
        uint16_t wantedType;
        const char* storedType;
        const char* storedTimeOut;
    };
    const Case cases[] = {
        {"a plain user keeps the own type and time-out", "ALICE", "Secret-1", "ALICE", "Secret-1", 0x04, "0",
         "600"},
        {"0x04 grants anything", "ROOT", "RootPw1", "BOB", "Bob.Pass", 0x20 | 0x08, "40", "77"},
        {"0x08 may not grant 0x04 or 0x20", "OPER", "OperPw1", "BOB", "Bob.Pass", 0x04 | 0x20 | 0x08, "24",
         "77"},
        {"0x08 may not touch a 0x04 user", "OPER", "OperPw1", "ROOT", "RootPw1", 0, "4", "77"},
    };
    for (const Case& c : cases) {
        archive_.WriteUsers(users);
        LogonAs(c.caller, c.callerPassword);
        CsUserRecord record = RecordOf(c.target, c.targetPassword);
        record.userType = c.wantedType;
        record.logonTimeOut = 77;
        std::strcpy(record.description, "changed");
        EXPECT_EQ(CsChangePassword(&handle_, &record, nullptr, nullptr), CS_OK) << c.name;
        EXPECT_EQ(archive_.UserValue(c.target, "ADMIN"), c.storedType) << c.name;
        EXPECT_EQ(archive_.UserValue(c.target, "TIMEOUT"), c.storedTimeOut) << c.name;
        EXPECT_EQ(archive_.UserValue(c.target, "DESCRIPTION"), "changed") << c.name;
        EXPECT_EQ(archive_.UserValue(c.target, "LAST_UPDATE"), std::to_string(kNow)) << c.name;
    }
    // A 0x08 administrator changing a 0x04 user's password must know the old one.
    LogonAs("OPER", "OperPw1");
    CsUserRecord root = RecordOf("ROOT", "RootPw1");
    std::strcpy(root.password, "guess");
    EXPECT_EQ(CsChangePassword(&handle_, &root, "Taken-Over1", nullptr), CS_NOT_AUTHORISED);
    std::strcpy(root.password, "RootPw1");
    EXPECT_EQ(CsChangePassword(&handle_, &root, "Taken-Over1", nullptr), CS_OK);
    EXPECT_EQ(archive_.LoggedStartingWith("User Update: Userid(ROOT) Id(4)"), 1);
}

// --- the group list --------------------------------------------------------------

struct Collected {
    std::vector<std::string> rows;
    bool keepFirst = false;
    CsGroupEntry* kept = nullptr;
};

int Collect(void* context, CsGroupEntry* entry) {
    auto* c = static_cast<Collected*>(context);
    c->rows.push_back(std::to_string(entry->number) + ":" + std::to_string(entry->owner) + ":" + entry->name);
    if (c->keepFirst && c->kept == nullptr) {
        c->kept = entry;
        return 0;
    }
    return 1;
}

TEST_F(LocalChange, GroupListByCallerAndFilters) {
    struct Case {
        const char* name;
        const char* caller;
        const char* password;
        const char* group;
        uint32_t number;
        uint32_t applGroup;
        const char* user;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"member of both", "ALICE", "Secret-1", nullptr, 0, 0, nullptr, {"10:1:ADMINS", "11:1:STAFF"}},
        {"member of one", "BOB", "Bob.Pass", nullptr, 0, 0, nullptr, {"11:1:STAFF"}},
        {"member of none", "CAROL", "", nullptr, 0, 0, nullptr, {}},
        {"administrator sees all", "ROOT", "RootPw1", nullptr, 0, 0, nullptr, {"10:1:ADMINS", "11:1:STAFF"}},
        {"by name, ignoring case", "ROOT", "RootPw1", "staff", 0, 0, nullptr, {"11:1:STAFF"}},
        {"by number", "ROOT", "RootPw1", nullptr, 10, 0, nullptr, {"10:1:ADMINS"}},
        {"groups of another user", "ROOT", "RootPw1", nullptr, 0, 0, "2", {"11:1:STAFF"}},
        {"with permissions on group 100", "ALICE", "Secret-1", nullptr, 0, 100, nullptr, {"11:1:STAFF"}},
        {"with permissions on group 101", "ALICE", "Secret-1", nullptr, 0, 101, nullptr, {"10:1:ADMINS"}},
        {"nobody has permissions on 999", "ALICE", "Secret-1", nullptr, 0, 999, nullptr, {}},
        {"a name that is no group", "ROOT", "RootPw1", "NONE", 0, 0, nullptr, {}},
    };
    for (const Case& c : cases) {
        LogonAs(c.caller, c.password);
        Collected collected;
        handle_.callbackContext = &collected;
        EXPECT_EQ(CsGetUserGroups(&handle_, c.group, c.number, c.applGroup, c.user, Collect), CS_OK)
            << c.name;
        EXPECT_EQ(collected.rows, c.expected) << c.name;
    }
    // A kept entry is the caller's to free.
    Collected keeping;
    keeping.keepFirst = true;
    handle_.callbackContext = &keeping;
    EXPECT_EQ(CsGetUserGroups(&handle_, nullptr, 0, 0, nullptr, Collect), CS_OK);
    ASSERT_NE(keeping.kept, nullptr);
    EXPECT_STREQ(keeping.kept->description, "group ADMINS");
    CsFreeGroupList(keeping.kept);
}

}  // namespace
