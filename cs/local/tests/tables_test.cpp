// Table requests against the sample archive.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "arc_profile.h"
#include "archive_fixture.h"
#include "table_oracle.h"

namespace {

using cstest::ReadWithConfigParser;
using localtest::ArchiveTest;
using localtest::ReadFile;
using localtest::WriteFile;

class TablesTest : public ArchiveTest {
protected:
    void Set(const char* table, const char* section, const char* key, const char* value) {
        ASSERT_EQ(ArcPROF_WriteString(section, key, value, archive_.Table(table).c_str()), 0);
    }
};

// ---------------------------------------------------------------- users

TEST_F(TablesTest, ListUsersBySelection) {
    struct Case {
        const char* name;
        const char* group;
        const char* select;
        int direct;
        int rc;
        std::vector<std::string> users;
    };
    const Case cases[] = {
        {"all users", nullptr, nullptr, 0, 0, {"ALICE", "BOB"}},
        {"users of a group", "10", nullptr, 0, 0, {"ALICE"}},
        {"by user id", nullptr, "2", 0, 0, {"BOB"}},
        {"by quoted name", nullptr, "'BOB'", 0, 0, {"BOB"}},
        {"quoted names match exactly", nullptr, "'bob'", 0, 11, {}},
        {"unknown id", nullptr, "99", 0, 11, {}},
        {"malformed id", nullptr, "x1", 0, 6, {}},
        {"group without a list", "12", nullptr, 0, 11, {}},
        {"direct name", nullptr, "ALICE", 1, 0, {"ALICE"}},
        {"direct name without a row", nullptr, "NOBODY", 1, 11, {}},
    };
    for (const Case& c : cases) {
        QelLocalUser user;
        std::vector<std::string> got;
        int rc = QelLocal_ListUsersFirst(&handle_, c.group, c.select, c.direct, &user);
        EXPECT_EQ(rc, c.rc) << c.name;
        while (rc == 0) {
            got.push_back(user.userId);
            rc = QelLocal_ListUsersNext(&handle_, &user);
        }
        EXPECT_EQ(got, c.users) << c.name;
        if (c.rc == 0) {
            EXPECT_EQ(rc, 11) << c.name << ": the list ends with 11";
        }
    }
}

TEST_F(TablesTest, UserRecordCarriesEveryKey) {
    QelLocalUser user;
    ASSERT_EQ(QelLocal_ReadUser(&handle_, "ALICE", &user), 0);
    EXPECT_EQ(user.uid, 1);
    EXPECT_STREQ(user.passwd, "alDmLU/d4Adno");
    EXPECT_EQ(user.admin, 4);
    EXPECT_STREQ(user.name, "Alice Archer");
    EXPECT_STREQ(user.description, "Archive administrator");
    EXPECT_STREQ(user.phone, "555-0101");
    ASSERT_EQ(QelLocal_ReadUser(&handle_, "bob", &user), 0) << "rows are found ignoring case";
    EXPECT_EQ(user.timeout, 900);
    EXPECT_STREQ(user.userId, "bob");
}

const std::string kLongName(61, 'n');
const std::string kLongPassword(QELLOCAL_PASSWORD_SIZE, 'p');

TEST_F(TablesTest, UserRowFailures) {
    struct Case {
        const char* name;
        const char* key;
        const char* value;  // null removes the key
        int rc;
    };
    const Case cases[] = {
        {"no UID", "UID", nullptr, 11},
        {"no PASSWD", "PASSWD", nullptr, 6},
        {"no ADMIN", "ADMIN", nullptr, 6},
        {"no PID", "PID", nullptr, 6},
        {"malformed UID", "UID", "one", 6},
        {"user type out of range", "ADMIN", "70000", 6},
        {"name longer than its field", "NAME", kLongName.c_str(), 6},
        {"password longer than its field", "PASSWD", kLongPassword.c_str(), 6},
    };
    std::string original = ReadFile(archive_.Table("user"));
    for (const Case& c : cases) {
        WriteFile(archive_.Table("user"), original);
        Set("user", "BOB", c.key, c.value);
        QelLocalUser user;
        EXPECT_EQ(QelLocal_ReadUser(&handle_, "BOB", &user), c.rc) << c.name;
    }
}

TEST_F(TablesTest, UpdateUserRewritesTheRow) {
    QelLocalUser bob;
    ASSERT_EQ(QelLocal_ReadUser(&handle_, "BOB", &bob), 0);
    std::strcpy(bob.userId, "bob");  // matched ignoring case
    std::strcpy(bob.passwd, "xyZZZZZZZZZZZ");
    std::strcpy(bob.description, "Senior clerk");
    std::strcpy(bob.room, "B 12");
    bob.lastUpdate = 1700000000;
    bob.admin = 0x10;
    ASSERT_EQ(QelLocal_UpdateUserRow(&handle_, &bob), 0);

    QelLocalUser back;
    ASSERT_EQ(QelLocal_ReadUser(&handle_, "BOB", &back), 0);
    EXPECT_STREQ(back.passwd, "xyZZZZZZZZZZZ");
    EXPECT_STREQ(back.description, "Senior clerk");
    EXPECT_EQ(back.lastUpdate, 1700000000);
    EXPECT_EQ(back.admin, 0x10);
    auto table = ReadWithConfigParser(archive_.Table("user"));
    EXPECT_EQ((table[{"BOB", "ROOM"}]), "B 12");
    EXPECT_EQ((table[{"BOB", "PASSWD"}]), "xyZZZZZZZZZZZ");
    EXPECT_EQ((table[{"BOB", "LAST_UPDATE"}]), "1700000000");
    EXPECT_EQ((table[{"ALICE", "PASSWD"}]), "alDmLU/d4Adno");
}

TEST_F(TablesTest, UserRowKeepsSha512Hashes) {
    // The longest SHA-512 form: an explicit rounds text, a 16-character salt.
    const std::string hash = "$6$rounds=999999999$0123456789abcdef$" + std::string(86, 'h');
    ASSERT_EQ(hash.size(), 123u);
    QelLocalUser bob;
    ASSERT_EQ(QelLocal_ReadUser(&handle_, "BOB", &bob), 0);
    std::strcpy(bob.passwd, hash.c_str());
    ASSERT_EQ(QelLocal_UpdateUserRow(&handle_, &bob), 0);
    QelLocalUser back;
    ASSERT_EQ(QelLocal_ReadUser(&handle_, "BOB", &back), 0);
    EXPECT_EQ(std::string(back.passwd), hash);
    EXPECT_EQ((ReadWithConfigParser(archive_.Table("user"))[{"BOB", "PASSWD"}]), hash);
}

TEST_F(TablesTest, UpdateUserRefusals) {
    std::string before = ReadFile(archive_.Table("user"));
    QelLocalUser user;
    ASSERT_EQ(QelLocal_ReadUser(&handle_, "BOB", &user), 0);
    QelLocalUser unlisted = user;
    std::strcpy(unlisted.userId, "CAROL");
    EXPECT_EQ(QelLocal_UpdateUserRow(&handle_, &unlisted), 6);
    QelLocalUser broken = user;
    std::strcpy(broken.description, "two\nlines");
    EXPECT_EQ(QelLocal_UpdateUserRow(&handle_, &broken), 6);
    QelLocalUser unterminated = user;
    std::memset(unterminated.fax, 'f', sizeof unterminated.fax);
    EXPECT_EQ(QelLocal_UpdateUserRow(&handle_, &unterminated), 6);
    EXPECT_EQ(QelLocal_UpdateUser(&handle_, nullptr, nullptr), 6);
    EXPECT_EQ(ReadFile(archive_.Table("user")), before) << "a refused update writes nothing";
}

TEST_F(TablesTest, UpdateGroup) {
    QelLocalGroup group;
    ASSERT_EQ(QelLocal_ReadGroup(&handle_, 11, &group), 0);
    std::strcpy(group.description, "Everybody");
    group.uid = 2;
    ASSERT_EQ(QelLocal_UpdateUser(&handle_, nullptr, &group), 0);
    auto table = ReadWithConfigParser(archive_.Table("group"));
    EXPECT_EQ((table[{"11", "DESCRIPTION"}]), "Everybody");
    EXPECT_EQ((table[{"11", "UID"}]), "2");
    group.gid = 99;
    EXPECT_EQ(QelLocal_UpdateUser(&handle_, nullptr, &group), 6);
}

// ---------------------------------------------------------------- groups

TEST_F(TablesTest, ListGroupsBySelection) {
    struct Case {
        const char* name;
        const char* user;
        const char* select;
        int rc;
        std::vector<std::string> groups;
    };
    const Case cases[] = {
        {"all groups", nullptr, nullptr, 0, {"ADMINS", "STAFF"}},
        {"groups of user 2", "2", nullptr, 0, {"STAFF"}},
        {"groups of user 1", "1", nullptr, 0, {"ADMINS", "STAFF"}},
        {"by quoted name", nullptr, "'STAFF'", 0, {"STAFF"}},
        {"quoted name of no group", nullptr, "'NOPE'", 11, {}},
        {"number of no group", nullptr, "99", 6, {}},
        {"by number", nullptr, "10", 0, {"ADMINS"}},
        {"user without groups", "7", nullptr, 11, {}},
    };
    for (const Case& c : cases) {
        QelLocalGroup group;
        std::vector<std::string> got;
        int rc = QelLocal_ListGroupsFirst(&handle_, c.user, c.select, &group);
        EXPECT_EQ(rc, c.rc) << c.name;
        while (rc == 0) {
            got.push_back(group.name);
            rc = QelLocal_ListGroupsNext(&handle_, &group);
        }
        EXPECT_EQ(got, c.groups) << c.name;
    }
    QelLocalGroup group;
    ASSERT_EQ(QelLocal_ReadGroup(&handle_, 10, &group), 0);
    EXPECT_STREQ(group.description, "Archive administrators");
    EXPECT_EQ(group.uid, 1);
}

TEST_F(TablesTest, QuotedNameSearchNeedsEveryRowNamed) {
    Set("group", "GROUPS", "GROUPS", "12,10,11");
    QelLocalGroup group;
    EXPECT_EQ(QelLocal_ListGroupsFirst(&handle_, nullptr, "'STAFF'", &group), 6);
}

TEST_F(TablesTest, ListsHoldAtMost2048Ids) {
    for (int count : {2048, 2049}) {
        std::string list = "10";
        for (int i = 1; i < count; ++i) list += "," + std::to_string(1000 + i);
        Set("group", "GROUPS", "GROUPS", list.c_str());
        QelLocalGroup group;
        EXPECT_EQ(QelLocal_ListGroupsFirst(&handle_, nullptr, nullptr, &group), count == 2048 ? 0 : 6)
            << count;
    }
    Set("group", "GROUPS", "GROUPS", "10,eleven");
    QelLocalGroup group;
    EXPECT_EQ(QelLocal_ListGroupsFirst(&handle_, nullptr, nullptr, &group), 6);
}

TEST_F(TablesTest, ALineTheReaderWouldCutIsRefusedNotShortened) {
    // Read as far as the reader's limit, this list would be "10" alone.
    WriteFile(archive_.Table("group"),
              "[GROUPS]\nGROUPS=10" + std::string(33000, ' ') + ",11\n\n[10]\nNAME=ADMINS\n");
    QelLocalGroup group;
    EXPECT_EQ(QelLocal_ListGroupsFirst(&handle_, nullptr, nullptr, &group), 6);
    WriteFile(archive_.Table("group"),
              "[GROUPS]\nGROUPS=10" + std::string(32700, ' ') + ",11\n\n[10]\nNAME=ADMINS\n");
    ASSERT_EQ(QelLocal_ListGroupsFirst(&handle_, nullptr, nullptr, &group), 0);
    EXPECT_EQ(QelLocal_ListGroupsNext(&handle_, &group), 6) << "group 11 has no row, so it was listed";
}

// ---------------------------------------------------------------- application groups

TEST_F(TablesTest, ApplicationGroupsWithTheirFields) {
    QelLocalAppGroup ag;
    ASSERT_EQ(QelLocal_ListAppGroupsFirst(&handle_, -1, nullptr, &ag), 0);
    EXPECT_EQ(ag.agid, 100);
    EXPECT_STREQ(ag.name, "INVOICES");
    EXPECT_STREQ(ag.agidName, "INVAG");
    EXPECT_EQ(ag.cachePeriod, 30);
    EXPECT_EQ(ag.migrationPeriod, -1);
    EXPECT_EQ(ag.sid, 1);
    ASSERT_EQ(ag.fields.size(), 3u);
    EXPECT_STREQ(ag.fields[0].name, "INVNO");
    EXPECT_EQ(ag.fields[0].type, 'S');
    EXPECT_EQ(ag.fields[0].mask, 32u);
    EXPECT_EQ(ag.fields[0].stringLen, 10);
    EXPECT_EQ(ag.fields[0].stringCase, 'U');
    EXPECT_STREQ(ag.fields[1].strip, " ");
    EXPECT_EQ(ag.fields[2].type, 'I');
    ASSERT_EQ(QelLocal_ListAppGroupsNext(&handle_, &ag), 0);
    EXPECT_STREQ(ag.name, "PAYROLL");
    ASSERT_EQ(QelLocal_ListAppGroupsNext(&handle_, &ag), 0);
    EXPECT_STREQ(ag.name, "System Log");
    ASSERT_EQ(ag.fields.size(), 5u);
    EXPECT_EQ(ag.fields[1].type, 'T') << "the user-id field";
    EXPECT_EQ(QelLocal_ListAppGroupsNext(&handle_, &ag), 11);

    ASSERT_EQ(QelLocal_ListAppGroupsFirst(&handle_, 2, nullptr, &ag), 0);
    EXPECT_EQ(ag.agid, 101);
    EXPECT_EQ(QelLocal_ListAppGroupsNext(&handle_, &ag), 11);
    ASSERT_EQ(QelLocal_ListAppGroupsFirst(&handle_, -1, "'PAYROLL'", &ag), 0);
    EXPECT_EQ(ag.agid, 101);

    ASSERT_EQ(QelLocal_ListAppGroupsFirst(&handle_, -1, nullptr, &ag), 0);
    int32_t agid = 0;
    char name[61];
    ASSERT_EQ(QelLocal_NextAppGroupName(&handle_, &agid, name), 0);
    EXPECT_EQ(agid, 101);
    EXPECT_STREQ(name, "PAYROLL");
    ASSERT_EQ(QelLocal_NextAppGroupName(&handle_, &agid, name), 0);
    EXPECT_EQ(agid, 102);
    EXPECT_EQ(QelLocal_NextAppGroupName(&handle_, &agid, name), 11);
}

TEST_F(TablesTest, ApplicationGroupFailures) {
    QelLocalAppGroup ag;
    Set("agfld", "100|1", "NAME", nullptr);
    EXPECT_EQ(QelLocal_ReadAppGroup(&handle_, 100, &ag), 6) << "a field without NAME";
    Set("ag", "101", "FLDS_NUM", "5000");
    EXPECT_EQ(QelLocal_ReadAppGroup(&handle_, 101, &ag), 6) << "field count beyond any list";
    Set("ag", "101", "FLDS_NUM", "2");
    Set("ag", "101", "AGID_NAME", "TOOLONGNAME");
    EXPECT_EQ(QelLocal_ReadAppGroup(&handle_, 101, &ag), 6) << "storage identifier longer than 8";
    EXPECT_EQ(QelLocal_ReadAppGroup(&handle_, 555, &ag), 6) << "no such group";
}

TEST_F(TablesTest, NamesDescriptionsAndAliases) {
    char name[61], description[121];
    ASSERT_EQ(QelLocal_ReadNameDesc(&handle_, QELLOCAL_TBL_FOL, 1, name, description), 0);
    EXPECT_STREQ(name, "Invoices");
    EXPECT_STREQ(description, "Customer invoices");
    ASSERT_EQ(QelLocal_ReadNameDesc(&handle_, QELLOCAL_TBL_SS, 1, name, description), 0);
    EXPECT_STREQ(name, "LOCALSET");
    EXPECT_EQ(QelLocal_ReadNameDesc(&handle_, QELLOCAL_TBL_USER, 1, name, description), 6);

    std::vector<QelLocalFieldAlias> aliases;
    ASSERT_EQ(QelLocal_ReadAgFieldAliases(&handle_, 100, 1, &aliases), 0);
    ASSERT_EQ(aliases.size(), 2u);
    EXPECT_EQ(aliases[0].external, "ACME");
    EXPECT_EQ(aliases[1].internal, "GLOBEX INC");
    ASSERT_EQ(QelLocal_ReadAgFieldAliases(&handle_, 100, 0, &aliases), 0);
    EXPECT_TRUE(aliases.empty());
    Set("agfldal", "100|1", "ALIAS_NUM", "3");
    EXPECT_EQ(QelLocal_ReadAgFieldAliases(&handle_, 100, 1, &aliases), 6);
}

// ---------------------------------------------------------------- permissions

TEST_F(TablesTest, AppGroupPermissionsOfTheFirstMatchingCandidate) {
    Set("agperms", "10|100", "ID_PERMS", "3");
    struct Case {
        const char* name;
        const char* groupList;
        const char* group10Perms;  // ID_PERMS of row 10|100
        int32_t user;
        int rc;
        int32_t from;
    };
    const Case cases[] = {
        {"first group of the list wins", "IN (1,10,11)", "3", 1, 0, 10},
        {"order of the list decides", "IN (1,11,10)", "3", 1, 0, 11},
        {"-1 is passed over", "IN (1,10,11)", "-1", 1, 0, 11},
        {"65535 is -1", "IN (1,10,11)", "65535", 1, 0, 11},
        {"user alone without rows", nullptr, "3", 2, 11, 0},
        {"user's only group", "IN (2,11)", "3", 2, 0, 11},
        {"malformed group list", "IN (1,x)", "3", 1, 6, 0},
    };
    for (const Case& c : cases) {
        Set("agperms", "10|100", "ID_PERMS", c.group10Perms);
        QelLocalAgPerms perms;
        EXPECT_EQ(QelLocal_GetAppGroupPerms(&handle_, 100, c.user, c.groupList, 0, &perms), c.rc) << c.name;
        if (c.rc == 0) {
            EXPECT_EQ(perms.id, c.from) << c.name;
        }
    }
}

TEST_F(TablesTest, AppGroupPermissionRecords) {
    QelLocalAgPerms perms;
    ASSERT_EQ(QelLocal_ReadAgPerms(&handle_, 11, 100, 1, &perms), 0);
    EXPECT_EQ(perms.idPerms, 1);
    EXPECT_EQ(perms.docPerms, 11);
    EXPECT_FALSE(perms.hasRestrict);
    ASSERT_EQ(QelLocal_ReadAgPerms(&handle_, 10, 101, 1, &perms), 0);
    EXPECT_TRUE(perms.hasRestrict);
    EXPECT_EQ(perms.queryRestrict, "EMPLOYEE <> 'DIRECTOR'");
    Set("agperms", "10|101", "ANN_PERMS", nullptr);
    ASSERT_EQ(QelLocal_ReadAgPerms(&handle_, 10, 101, 0, &perms), 0);
    EXPECT_EQ(perms.annPerms, 0xFFFF) << "missing is -1";
    EXPECT_EQ(QelLocal_ReadAgPerms(&handle_, 2, 100, 0, &perms), 6) << "no ID_PERMS";
    Set("agperms", "10|101", "Q_RESTRICT", std::string(32701, 'r').c_str());
    EXPECT_EQ(QelLocal_ReadAgPerms(&handle_, 10, 101, 1, &perms), 6);

    std::vector<int32_t> ids;
    ASSERT_EQ(QelLocal_ReadAgPermsList(&handle_, 100, &ids), 0);
    EXPECT_EQ(ids, std::vector<int32_t>{11});
    EXPECT_EQ(QelLocal_ReadAgPermsList(&handle_, 999, &ids), 11);
}

TEST_F(TablesTest, FolderPermissionsOpenBothFoldersOnlyForAlice) {
    struct Case {
        const char* name;
        int32_t user;
        const char* groupList;
        int32_t folder;
        int rc;
        uint16_t perms;
        int32_t hits;
    };
    const Case cases[] = {
        {"Alice opens Invoices", 1, "IN (1,10,11)", 1, 0, 1, 500},
        {"Alice opens Payroll", 1, "IN (1,10,11)", 2, 0, 3, -1},
        {"Bob opens Invoices", 2, "IN (2,11)", 1, 0, 1, 500},
        {"Bob may not open Payroll", 2, "IN (2,11)", 2, 11, 0, 0},
    };
    for (const Case& c : cases) {
        QelLocalFolderPerms perms;
        EXPECT_EQ(QelLocal_GetFolderPerms(&handle_, c.folder, c.user, c.groupList, &perms), c.rc) << c.name;
        if (c.rc != 0) continue;
        EXPECT_EQ(perms.perms, c.perms) << c.name;
        EXPECT_EQ(perms.hits, c.hits) << c.name;
    }
    std::vector<int32_t> ids;
    ASSERT_EQ(QelLocal_ReadFolderPermsList(&handle_, 2, &ids), 0);
    EXPECT_EQ(ids, std::vector<int32_t>{10});
    QelLocalFolderPerms perms;
    EXPECT_EQ(QelLocal_ReadFolderPerms(&handle_, 11, 2, &perms), 6);
}

// ---------------------------------------------------------------- applications and views

TEST_F(TablesTest, ApplicationsWithLoadFilesAndViews) {
    QelLocalApp app;
    ASSERT_EQ(QelLocal_ListAppsFirst(&handle_, 100, nullptr, &app), 0);
    EXPECT_EQ(app.appId, 200);
    EXPECT_EQ(app.agid, 100);
    EXPECT_STREQ(app.name, "INVAPP");
    EXPECT_EQ(app.docCompType, 'O');
    EXPECT_EQ(app.compObjSize, 102400);
    EXPECT_EQ(app.indexerText, ReadFile(archive_.Dir() + "load/invoice.idx"));
    EXPECT_EQ(QelLocal_ListAppsNext(&handle_, &app), 11);
    ASSERT_EQ(QelLocal_ListAppsFirst(&handle_, 100, "'INVAPP'", &app), 0);
    EXPECT_EQ(QelLocal_ListAppsFirst(&handle_, 100, "'PAYAPP'", &app), 11) << "not an application of 100";
    ASSERT_EQ(QelLocal_ReadApp(&handle_, 201, &app), 0);
    EXPECT_EQ(app.compObjSize, 51200);

    std::string view;
    ASSERT_EQ(QelLocal_GetAppViews(&handle_, 100, 200, 2, &view), 0);
    EXPECT_EQ(view, "[VIEWS]\nVIEWS=Large\n[Large]\nZOOM=150\n") << "the user's view, 0x01 dropped";
    ASSERT_EQ(QelLocal_GetAppViews(&handle_, 100, 200, 1, &view), 0);
    EXPECT_EQ(view, "[VIEWS]\nVIEWS=Standard\n[Standard]\nZOOM=100\n") << "else the fixed view";
    EXPECT_EQ(QelLocal_GetAppViews(&handle_, 101, 201, 1, &view), 11);
    ASSERT_EQ(QelLocal_ReadAppViews(&handle_, "bob.vw", &view), 0);
}

TEST_F(TablesTest, FileNamesFromTablesStayInTheirFolders) {
    QelLocalApp app;
    std::string view;
    const char* names[] = {"../table/user.tbl", "/etc/passwd", "sub/file", "missing.idx"};
    for (const char* name : names) {
        Set("app", "200", "INDEXER", name);
        EXPECT_EQ(QelLocal_ReadApp(&handle_, 200, &app), 6) << name;
        Set("app", "200", "INDEXER", "invoice.idx");
        EXPECT_EQ(QelLocal_ReadAppViews(&handle_, name, &view), 6) << name;
    }
}

// ---------------------------------------------------------------- folders

TEST_F(TablesTest, FoldersFieldsAndMappings) {
    QelLocalFolder folder;
    ASSERT_EQ(QelLocal_ListFoldersFirst(&handle_, nullptr, &folder), 0);
    EXPECT_STREQ(folder.name, "Invoices");
    EXPECT_EQ(folder.annSearch, 1);
    ASSERT_EQ(QelLocal_ListFoldersNext(&handle_, &folder), 0);
    EXPECT_STREQ(folder.name, "Payroll");
    EXPECT_EQ(QelLocal_ListFoldersNext(&handle_, &folder), 11);
    ASSERT_EQ(QelLocal_ListFoldersFirst(&handle_, "'Payroll'", &folder), 0);
    EXPECT_EQ(folder.fid, 2);

    ASSERT_EQ(QelLocal_GetFolder(&handle_, 1, &folder), 0);
    EXPECT_EQ(folder.appGroups, std::vector<int32_t>{100});
    ASSERT_EQ(folder.fields.size(), 3u);
    EXPECT_STREQ(folder.fields[0].name, "Invoice number");
    EXPECT_EQ(folder.fields[2].qual, 1);

    QelLocalFolderFieldUser user;
    ASSERT_EQ(QelLocal_ReadFolderFieldUser(&handle_, 1, 2, 2, &user), 0);
    EXPECT_STREQ(user.dsplDateFmt, "%d.%m.%Y");
    EXPECT_EQ(user.max, "99999");
    EXPECT_EQ(user.defValue1, "0");
    EXPECT_EQ(QelLocal_ReadFolderFieldUser(&handle_, 1, 1, 0, &user), 11);

    std::vector<QelLocalFieldMap> map;
    ASSERT_EQ(QelLocal_ReadFolderAgMap(&handle_, 100, 1, &map), 0);
    ASSERT_EQ(map.size(), 3u);
    EXPECT_EQ(map[2].folderField, 2);
    EXPECT_EQ(map[2].first, 2);
    EXPECT_EQ(QelLocal_ReadFolderAgMap(&handle_, 100, 2, &map), 11);
    Set("ag2fol", "100|1", "1", "1");
    EXPECT_EQ(QelLocal_ReadFolderAgMap(&handle_, 100, 1, &map), 6);

    QelLocalApp app;
    ASSERT_EQ(QelLocal_ListFolderAppsFirst(&handle_, 1, 100, &app), 0);
    EXPECT_EQ(app.appId, 200);
    EXPECT_EQ(QelLocal_ListFolderAppsNext(&handle_, &app), 11);
    EXPECT_EQ(QelLocal_ListFolderAppsFirst(&handle_, 1, 101, &app), 11);

    Set("fol", "2", "ANN_SEARCH", nullptr);
    EXPECT_EQ(QelLocal_ReadFolder(&handle_, 2, &folder), 6) << "ANN_SEARCH is required";
}

// ---------------------------------------------------------------- segments

TEST_F(TablesTest, SegmentTableByDateRange) {
    struct Case {
        const char* name;
        int64_t from, to;
        const char* segment;
        int undated;
        int rc;
    };
    const Case cases[] = {
        {"range inside", 19730, 19740, nullptr, 0, 0},
        {"touching the start", 19000, 19723, nullptr, 0, 0},
        {"touching the stop", 19753, 20000, nullptr, 0, 0},
        {"before", 0, 19722, nullptr, 0, 11},
        {"after", 19754, 30000, nullptr, 0, 11},
        {"by name ignoring case", 0, 30000, "inv1", 0, 0},
        {"other name", 0, 30000, "INV9", 0, 11},
        {"only undated ones", 0, 30000, nullptr, 1, 11},
    };
    for (const Case& c : cases) {
        QelLocalSegment seg;
        EXPECT_EQ(QelLocal_ListSegmentTableFirst(&handle_, 100, c.from, c.to, c.segment, c.undated, &seg),
                  c.rc)
            << c.name;
        if (c.rc == 0) {
            EXPECT_STREQ(seg.name, "INV1") << c.name;
            EXPECT_EQ(QelLocal_ListSegmentTableNext(&handle_, &seg), 11) << c.name;
        }
    }
}

TEST_F(TablesTest, AddSegmentAppendsAndWritesItsProfile) {
    QelLocalSegment seg;
    std::strcpy(seg.name, "INV2");
    seg.startDate = 19754;
    seg.stopDate = 19784;
    seg.lastUpdate = 1706000000123;
    seg.mask = 1;
    seg.maxRows = 10000;
    ASSERT_EQ(QelLocal_AddSegment(&handle_, 100, &seg), 0);
    EXPECT_EQ((ReadWithConfigParser(archive_.Table("seg"))[{"100", "SEGMENTS"}]), "INV1,INV2");
    auto profile = ReadWithConfigParser(archive_.Dir() + "index/INVOICES.seg");
    EXPECT_EQ((profile[{"INV2", "LAST_UPDATE"}]), "1706000000123");
    EXPECT_EQ((profile[{"INV2", "MAX_ROWS"}]), "10000");
    QelLocalSegment back;
    ASSERT_EQ(QelLocal_ReadSegment(&handle_, 100, "INV2", &back), 0);
    EXPECT_EQ(back.stopDate, 19784);
    EXPECT_TRUE(back.hasDates);
    int64_t start = 0, stop = 0;
    ASSERT_EQ(QelLocal_ReadSegmentRange(&handle_, 100, "INV2", &start, &stop), 0);
    EXPECT_EQ(start, 19754);

    std::strcpy(seg.name, "inv2");
    EXPECT_EQ(QelLocal_AddSegment(&handle_, 100, &seg), 6) << "a name listed already, ignoring case";
    for (const char* bad : {"A,B", "A]B", "A\nB", ""}) {
        std::strcpy(seg.name, bad);
        EXPECT_EQ(QelLocal_AddSegment(&handle_, 100, &seg), 6) << bad;
    }
    EXPECT_EQ((ReadWithConfigParser(archive_.Table("seg"))[{"100", "SEGMENTS"}]), "INV1,INV2");
}

TEST_F(TablesTest, FirstSegmentOfAGroupMakesItsListAndIndexFolder) {
    std::filesystem::remove_all(archive_.Dir() + "index");
    QelLocalSegment seg;
    std::strcpy(seg.name, "PAY1");
    ASSERT_EQ(QelLocal_AddSegment(&handle_, 101, &seg), 0);
    auto table = ReadWithConfigParser(archive_.Table("seg"));
    EXPECT_EQ((table[{"101", "SEGMENTS"}]), "PAY1");
    EXPECT_EQ((table[{"101", "AGID_NAME"}]), "PAYAG");
    EXPECT_TRUE(std::filesystem::exists(archive_.Dir() + "index/PAYROLL.seg"));

    seg.closedDate = 5;
    ASSERT_EQ(QelLocal_UpdateSegment(&handle_, 101, &seg), 0);
    EXPECT_EQ((ReadWithConfigParser(archive_.Dir() + "index/PAYROLL.seg")[{"PAY1", "CLOSED_DATE"}]), "5");
    std::strcpy(seg.name, "PAY9");
    EXPECT_EQ(QelLocal_UpdateSegment(&handle_, 101, &seg), 11);
}

TEST_F(TablesTest, GroupNameMustBeAFileName) {
    Set("ag", "100", "NAME", "../INVOICES");
    QelLocalSegment seg;
    EXPECT_EQ(QelLocal_ReadSegment(&handle_, 100, "INV1", &seg), 6);
}

TEST_F(TablesTest, SegmentFieldLayout) {
    QelLocalSegmentFields fields;
    ASSERT_EQ(QelLocal_ReadSegmentFields(&handle_, 100, &fields), 0);
    EXPECT_EQ(fields.fieldCount, 3);
    EXPECT_STREQ(fields.agidName, "INVAG");
    EXPECT_EQ(fields.names, (std::vector<std::string>{"INVNO", "CUSTOMER", "INVDATE"}));
}

TEST_F(TablesTest, IndexRowsAppendWholeRowsAndReadThemBack) {
    const std::string rows = archive_.Dir() + "index/System Log.rows";
    std::vector<std::vector<std::string>> read;
    EXPECT_EQ(QelLocal_ReadIndexRows(&handle_, 102, &read), 11) << "no row yet";
    std::filesystem::remove_all(archive_.Dir() + "index");

    const std::vector<std::vector<std::string>> written = {
        {"1700000000", "ALICE", "17", "4", "Login: ARCHIVE"},
        {"1700000001", "", "18", "4", "two\nlines\twith tab\r\n and \\ backslash"},
        {"1700000002", "BOB", "19", "4", ""},
    };
    for (const auto& row : written) ASSERT_EQ(QelLocal_AddIndexRow(&handle_, 102, row), 0);
    ASSERT_EQ(QelLocal_ReadIndexRows(&handle_, 102, &read), 0);
    EXPECT_EQ(read, written);

    struct Refused {
        const char* name;
        int32_t agid;
        std::vector<std::string> values;
    };
    const Refused refused[] = {
        {"a value short", 102, {"1", "ALICE", "17", "4"}},
        {"a value over", 102, {"1", "ALICE", "17", "4", "text", "more"}},
        {"unknown group", 999, {"1", "ALICE", "17", "4", "text"}},
    };
    const std::string before = ReadFile(rows);
    for (const auto& c : refused) {
        EXPECT_EQ(QelLocal_AddIndexRow(&handle_, c.agid, c.values), 6) << c.name;
        EXPECT_EQ(ReadFile(rows), before) << c.name << ": nothing written";
    }

    // An append cut short leaves a last line without its end: not a row.
    WriteFile(rows, before + "1700000003\tCAROL\t2");
    ASSERT_EQ(QelLocal_ReadIndexRows(&handle_, 102, &read), 0);
    EXPECT_EQ(read, written);
    for (const char* damaged : {"1\tALICE\n", "1\t2\t3\t4\tbad \\q escape\n", "1\t2\t3\t4\tends in \\\n"}) {
        WriteFile(rows, before + damaged);
        EXPECT_EQ(QelLocal_ReadIndexRows(&handle_, 102, &read), 6) << damaged;
    }
}

// ---------------------------------------------------------------- storage and system

TEST_F(TablesTest, StorageSetsAndNodes) {
    QelLocalStorageSet set;
    ASSERT_EQ(QelLocal_GetStorageSets(&handle_, nullptr, &set), 0);
    EXPECT_STREQ(set.name, "LOCALSET");
    EXPECT_EQ(set.nodeNum, 1);
    ASSERT_EQ(set.nodes.size(), 1u);
    EXPECT_STREQ(set.nodes[0].name, "NODE1.ARCHIVE01");
    EXPECT_STREQ(set.nodes[0].logon, "1");
    EXPECT_EQ(QelLocal_ListStorageSets(&handle_, &set), 11);
    EXPECT_EQ(QelLocal_GetStorageSets(&handle_, "'NONE'", &set), 11);

    QelLocalObjectNodes nodes;
    ASSERT_EQ(QelLocal_ReadObjectNodes(&handle_, 100, 1, &nodes), 0);
    EXPECT_EQ(nodes.priNid, 1);
    EXPECT_EQ(nodes.compType, 'O');
    EXPECT_EQ(QelLocal_ReadObjectNodes(&handle_, 100, 9, &nodes), 11);
    Set("res", "100|1", "COMP_TYPE", nullptr);
    EXPECT_EQ(QelLocal_ReadObjectNodes(&handle_, 100, 1, &nodes), 6);

    Set("ss", "1", "STORAGE_NODES", "1,2");
    EXPECT_EQ(QelLocal_ReadStorageSet(&handle_, 1, &set), 6) << "a listed node without a row";
}

TEST_F(TablesTest, SystemParameters) {
    QelLocalSystemParms parms;
    ASSERT_EQ(QelLocal_ReadSystemParms(&handle_, &parms), 0);
    EXPECT_EQ(parms.codePage, 819);
    EXPECT_EQ(parms.passwdExp, -1);
    EXPECT_EQ(parms.timeOut, 3600);
    EXPECT_EQ(parms.passwdMinLen, 4);
    EXPECT_EQ(parms.sysMask, 2u);
    Set("system", "SYSTEM", "SYS_MASK", nullptr);
    EXPECT_EQ(QelLocal_ReadSystemParms(&handle_, &parms), 6);
}

// ---------------------------------------------------------------- named queries

TEST_F(TablesTest, NamedQueriesOfAFolder) {
    struct Case {
        const char* name;
        int32_t folder;
        int32_t user;
        int rc;
        std::vector<std::string> queries;
    };
    const Case cases[] = {
        {"everything", 1, -1, 0, {"Open invoices", "Bob customers"}},
        {"another user sees the public one", 1, 1, 0, {"Open invoices"}},
        {"the owner sees both", 1, 2, 0, {"Open invoices", "Bob customers"}},
        {"folder without queries", 2, -1, 11, {}},
    };
    for (const Case& c : cases) {
        QelLocalNamedQuery q;
        std::vector<std::string> got;
        int rc = QelLocal_NamedQueriesFirst(&handle_, c.folder, c.user, &q);
        EXPECT_EQ(rc, c.rc) << c.name;
        while (rc == 0) {
            got.push_back(q.name);
            rc = QelLocal_NamedQueriesNext(&handle_, &q);
        }
        EXPECT_EQ(got, c.queries) << c.name;
    }
    QelLocalNamedQuery q;
    ASSERT_EQ(QelLocal_NamedQueriesFirst(&handle_, 1, -1, &q), 0);
    EXPECT_EQ(q.number, 1);
    EXPECT_EQ(q.text, "WHERE INVNO LIKE 'A%'");
}

}  // namespace

// A row may keep a document beside the rows: bytes as given, read back by row number.
TEST_F(TablesTest, IndexRowsKeepTheirDocuments) {
    namespace fs = std::filesystem;
    fs::remove_all(archive_.Dir() + "index");
    const std::string docs = archive_.Dir() + "index/System Log.docs";
    const std::vector<std::string> values = {"1700000000", "ALICE", "72", "4", "BulkProcess"};
    const std::string bytes("line 1\n\tline 2\r\n\0\xff end", 22);
    ASSERT_EQ(QelLocal_AddIndexRow(&handle_, 102, values), 0);
    ASSERT_EQ(QelLocal_AddIndexRow(&handle_, 102, values, bytes), 0);
    ASSERT_EQ(QelLocal_AddIndexRow(&handle_, 102, values, std::string_view()), 0);
    // Refused rows leave no document behind.
    EXPECT_EQ(QelLocal_AddIndexRow(&handle_, 102, {"1", "ALICE"}, bytes), 6);
    EXPECT_EQ(QelLocal_AddIndexRow(&handle_, 999, values, bytes), 6);
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(docs)) {
        ++files;
        EXPECT_EQ(fs::status(entry).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    EXPECT_EQ(files, 2u);

    std::vector<std::vector<std::string>> read;
    std::vector<std::string> names;
    ASSERT_EQ(QelLocal_ReadIndexRows(&handle_, 102, &read), 0);
    EXPECT_EQ(read, std::vector<std::vector<std::string>>(3, values)) << "the values alone, as before";
    ASSERT_EQ(QelLocal_ReadIndexRows(&handle_, 102, &read, &names), 0);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "");
    EXPECT_EQ(names[1].size(), 16u);
    EXPECT_NE(names[1], names[2]);

    struct Case {
        size_t row;
        int result;
        std::string data;
    };
    for (const Case& c : {Case{0, 11, ""}, Case{1, 0, bytes}, Case{2, 0, ""}, Case{3, 11, ""}}) {
        std::string data = "old";
        EXPECT_EQ(QelLocal_ReadIndexRowDocument(&handle_, 102, c.row, &data), c.result) << c.row;
        EXPECT_EQ(data, c.data) << c.row;
    }

    // A document that is gone, or a row that names something else than a document file.
    const std::string rows = archive_.Dir() + "index/System Log.rows";
    const std::string before = ReadFile(rows);
    std::string data;
    fs::remove(docs + "/" + names[2]);
    EXPECT_EQ(QelLocal_ReadIndexRowDocument(&handle_, 102, 2, &data), 6);
    WriteFile(rows, before + "1\t2\t3\t4\t5\t../../ag.tbl\n");
    EXPECT_EQ(QelLocal_ReadIndexRows(&handle_, 102, &read, &names), 6);
    EXPECT_EQ(QelLocal_ReadIndexRowDocument(&handle_, 102, 1, &data), 6);
}
