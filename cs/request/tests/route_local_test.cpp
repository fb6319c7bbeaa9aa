// Folder definitions, storage sets and segments read from a local archive, and the
// picking and routing of storage nodes.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "logon_test_support.h"
#include "qel_local.h"

namespace {

using logontest::FolderPtr;
using logontest::HandleGuard;
using logontest::SetPtr;
using logontest::TestArchive;

// A local handle on a private archive, logged on as the test's user.
class LocalRoute : public ::testing::Test {
protected:
    void LogOn(const char* user, const char* password) {
        guard_.Renew(archive_);
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, user, password, &record), CS_OK) << user;
    }
    std::string Text(const char* table) const { return archive_.Table(table); }

    TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
};

std::vector<std::string> GroupNames(const CsXdrFolder& folder) {
    std::vector<std::string> names;
    for (size_t i = 0; i < folder.groupCount; ++i) names.push_back(folder.groups[i].name);
    return names;
}

TEST_F(LocalRoute, FolderGroupsFollowThePermissions) {
    struct Case {
        const char* name;
        const char* user;
        const char* password;
        uint32_t number;
        const char* folderName;
        int rc;
        std::vector<std::string> groups;
        int permissions;          // of the first group
        const char* restriction;  // of the first group
    };
    const Case cases[] = {
        {"member of the folder's group", "ALICE", "Secret-1", 1, nullptr, CS_OK, {"INVOICES"}, 11, nullptr},
        {"by name, with the user's query restriction",
         "ALICE",
         "Secret-1",
         0,
         "Payroll",
         CS_OK,
         {"PAYROLL"},
         15,
         "EMPLOYEE <> 'DIRECTOR'"},
        {"no folder row for the user's groups",
         "BOB",
         "Bob.Pass",
         2,
         nullptr,
         CS_NOT_AUTHORISED,
         {},
         0,
         nullptr},
        {"no groups at all", "CAROL", "", 1, nullptr, CS_NOT_AUTHORISED, {}, 0, nullptr},
        {"an administrator sees groups without rows",
         "ROOT",
         "RootPw1",
         1,
         nullptr,
         CS_OK,
         {"INVOICES"},
         0xFF,
         nullptr},
        {"an unknown folder", "ALICE", "Secret-1", 9, nullptr, CS_FAILED, {}, 0, nullptr},
        {"an unknown folder name", "ALICE", "Secret-1", 0, "Nothing", CS_FAILED, {}, 0, nullptr},
    };
    for (const Case& c : cases) {
        LogOn(c.user, c.password);
        CsXdrFolder* raw = reinterpret_cast<CsXdrFolder*>(0x1);
        EXPECT_EQ(CsOpenFolderGroups(&handle_, c.number, c.folderName, &raw), c.rc) << c.name;
        FolderPtr folder(raw);
        if (c.rc != CS_OK) {
            EXPECT_EQ(raw, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(raw, nullptr) << c.name;
        EXPECT_EQ(GroupNames(*folder), c.groups) << c.name;
        ASSERT_EQ(folder->groupCount, 1u) << c.name;
        const CsXdrApplGroup& group = folder->groups[0];
        EXPECT_EQ(group.permissions, c.permissions) << c.name;
        if (c.restriction == nullptr) {
            EXPECT_EQ(group.restriction, nullptr) << c.name << ": one application, no IN condition";
        } else {
            EXPECT_STREQ(group.restriction, c.restriction) << c.name;
        }
        ASSERT_EQ(group.applCount, 1u) << c.name;
        ASSERT_NE(folder->maps, nullptr) << c.name;
        EXPECT_EQ(folder->maps[0].count, folder->fieldCount) << c.name;
    }
}

TEST_F(LocalRoute, FolderGroupsCarryFieldsApplicationsAndMaps) {
    LogOn("ALICE", "Secret-1");
    CsXdrFolder* raw = nullptr;
    ASSERT_EQ(CsOpenFolderGroups(&handle_, 1, nullptr, &raw), CS_OK);
    FolderPtr folder(raw);
    EXPECT_STREQ(folder->name, "Invoices");
    ASSERT_EQ(folder->fieldCount, 3u);
    EXPECT_STREQ(folder->fields[2].name, "Invoice date");
    EXPECT_EQ(folder->fields[2].type[0], 'I');
    const CsXdrApplGroup& group = folder->groups[0];
    EXPECT_EQ(group.number, 100u);
    EXPECT_STREQ(group.prefix, "INVAG");
    EXPECT_EQ(group.storageSet, 1u);
    ASSERT_EQ(group.fieldCount, 3u);
    EXPECT_STREQ(group.fields[2].name, "INVDATE");
    EXPECT_EQ(group.fields[2].flags, 0x04);
    EXPECT_STREQ(group.appls[0].name, "INVAPP");
    EXPECT_STREQ(group.appls[0].value, "INVAPP");
    EXPECT_EQ(group.appls[0].number, 200u);
    // ag2fol maps folder fields 0, 1, 2 onto group fields 0, 1, 2.
    EXPECT_EQ(std::vector<uint16_t>(folder->maps[0].numbers, folder->maps[0].numbers + 3),
              (std::vector<uint16_t>{0, 1, 2}));
}

// The fields of group 100 with an application-id field of the given type.
std::string GroupFields(const std::string& sample, char idType) {
    return sample + "\n[100|3]\nNAME=APPID\nTYPE=" + idType + "\nMASK=16\nSTRING_LEN=12\n";
}

TEST_F(LocalRoute, PermittedApplicationsBecomeAnInConditionTheWhereReaderTakesWhole) {
    const std::string ag = Text("ag");
    const std::string agfld = Text("agfld");
    const std::string app = Text("app");
    const std::string agperms = Text("agperms");
    const std::string moreApps = app +
                                 "\n[202]\nNAME=CREDITS\nALIAS=\"O'NEIL\"\n\n[203]\nNAME=REFUNDS\n"
                                 "\n[204]\nNAME=NUMBERED\nALIAS=17\n\n[205]\nNAME=NUMBERED2\nALIAS=-4\n";
    struct Case {
        const char* name;
        const char* apps;  // folagapp APPLICATIONS of folder 1, group 100
        char idType;       // 0: the group has no application-id field
        const char* restrict;
        int rc;
        const char* restriction;
        std::vector<std::string> values;  // of the IN list, as the reader splits it
    };
    const Case cases[] = {
        {"text values quoted, inner quotes doubled",
         "200,202,203",
         'S',
         nullptr,
         CS_OK,
         "APPID IN ( 'INVAPP' , 'O''NEIL' , 'REFUNDS' )",
         {"INVAPP", "O'NEIL", "REFUNDS"}},
        {"after the user's own restriction",
         "200,203",
         'S',
         "CUSTOMER <> 'X'",
         CS_OK,
         "CUSTOMER <> 'X' AND APPID IN ( 'INVAPP' , 'REFUNDS' )",
         {"INVAPP", "REFUNDS"}},
        {"numbers unquoted", "204,205", 'I', nullptr, CS_OK, "APPID IN ( 17 , -4 )", {}},
        {"a single application gets none", "202", 'S', nullptr, CS_OK, nullptr, {}},
        {"a text id in a numeric field", "204,202", 'I', nullptr, CS_FAILED, nullptr, {}},
        {"no application-id field", "200,202", 0, nullptr, CS_FAILED, nullptr, {}},
    };
    for (const Case& c : cases) {
        std::string groups = ag;
        if (c.idType != 0) groups.replace(groups.find("FLDS_NUM=3"), 10, "FLDS_NUM=4");
        archive_.WriteTable("ag", groups);
        archive_.WriteTable("agfld", c.idType != 0 ? GroupFields(agfld, c.idType) : agfld);
        archive_.WriteTable("app", moreApps);
        archive_.WriteTable("folagapp", std::string("[1|100]\nAPPLICATIONS=") + c.apps + "\n");
        std::string rows = agperms;  // ALICE's row for group 100 is the first ANN_PERMS
        if (c.restrict)
            rows.insert(rows.find("ANN_PERMS=7") + 11, std::string("\nQ_RESTRICT=\"") + c.restrict + "\"");
        archive_.WriteTable("agperms", rows);
        LogOn("ALICE", "Secret-1");
        CsXdrFolder* raw = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&handle_, 1, nullptr, &raw), c.rc) << c.name;
        FolderPtr folder(raw);
        if (c.rc != CS_OK) continue;
        const CsXdrApplGroup& group = folder->groups[0];
        if (c.restriction == nullptr) {
            EXPECT_EQ(group.restriction, nullptr) << c.name;
            continue;
        }
        ASSERT_STREQ(group.restriction, c.restriction) << c.name;

        // The local WHERE reader parses it with the group's fields.
        int kinds[QELSQL_MAX_FIELDS] = {};
        char names[QELSQL_MAX_FIELDS][QELSQL_NAME_SIZE] = {};
        for (size_t i = 0; i < group.fieldCount; ++i) {
            std::strcpy(names[i], group.fields[i].name);
            kinds[i] = group.fields[i].type == 'I' ? QELSQL_FIELD_LONG : QELSQL_FIELD_TEXT;
        }
        std::unique_ptr<QelSql_Node> root;
        ASSERT_EQ(QelSql_ParseClause(group.restriction, kinds, names, &root), 0) << c.name;
        ASSERT_NE(root, nullptr) << c.name;
        const QelSql_Node* in = root->kind == QelSql_Node::AND ? &root->children.back() : root.get();
        ASSERT_EQ(in->kind, QelSql_Node::CONDITION) << c.name;
        EXPECT_EQ(in->condition->op, QELSQL_OP_IN) << c.name;
        EXPECT_EQ(in->condition->field, 3) << c.name;
        std::vector<QelSql_Value> values;
        const int kind = c.idType == 'I' ? QELSQL_FIELD_LONG : QELSQL_FIELD_TEXT;
        ASSERT_EQ(QelSql_SplitList(in->condition->value1->text, kind, &values), 0) << c.name;
        if (kind == QELSQL_FIELD_TEXT) {
            std::vector<std::string> texts;
            for (const QelSql_Value& v : values) texts.push_back(v.text);
            EXPECT_EQ(texts, c.values) << c.name;
        } else {
            ASSERT_EQ(values.size(), 2u) << c.name;
            EXPECT_EQ(values[0].lng, 17) << c.name;
            EXPECT_EQ(values[1].lng, -4) << c.name;
        }
    }
}

TEST_F(LocalRoute, StorageSetsReadLocally) {
    const std::string twoNodes =
        "[STORAGE_SETS]\nSTORAGE_SETS=1,2\n\n[1]\nNAME=LOCALSET\nDESCRIPTION=\"Local storage set\"\n"
        "NODE_NUM=1\nSTORAGE_NODES=1\n\n[2]\nNAME=PAIR\nNODE_NUM=2\nSTORAGE_NODES=3,5\n";
    const std::string nodes = Text("snode") +
                              "\n[2|3]\nNAME=FIRST\nSERVER=OTHER\nSTATUS=6\nSEC_NID=5\n"
                              "\n[2|5]\nNAME=SECOND\nSERVER=OTHER\nSTATUS=8\n";
    archive_.WriteTable("ss", twoNodes);
    archive_.WriteTable("snode", nodes);
    struct Node {
        uint16_t number;
        std::string name;
        std::string server;
        uint32_t flags;
        uint16_t secondary;
    };
    struct Case {
        const char* name;
        uint32_t number;
        int rc;
        std::string set;
        std::vector<Node> nodes;
    };
    const Case cases[] = {
        {"the sample's set", 1, CS_OK, "LOCALSET", {{1, "NODE1.ARCHIVE01", "LOCAL", 0x01, 0}}},
        {"two nodes, all served locally",
         2,
         CS_OK,
         "PAIR",
         {{3, "FIRST", "OTHER", 0x07, 5}, {5, "SECOND", "OTHER", 0x09, 0}}},
        {"an unknown set", 4, CS_FAILED, "", {}},
    };
    LogOn("ALICE", "Secret-1");
    for (const Case& c : cases) {
        CsStorageSet* raw = nullptr;
        ASSERT_EQ(CsOpenStorageSet(&handle_, c.number, CsResolveServerDef, &raw), c.rc) << c.name;
        SetPtr set(raw);
        if (c.rc != CS_OK) {
            EXPECT_EQ(raw, nullptr) << c.name;
            continue;
        }
        EXPECT_EQ(set->name, c.set) << c.name;
        EXPECT_EQ(set->type, 'L') << c.name;
        ASSERT_EQ(set->nodes.size(), c.nodes.size()) << c.name;
        for (size_t i = 0; i < c.nodes.size(); ++i) {
            EXPECT_EQ(set->nodes[i].number, c.nodes[i].number) << c.name;
            EXPECT_EQ(set->nodes[i].name, c.nodes[i].name) << c.name;
            EXPECT_EQ(set->nodes[i].serverName, c.nodes[i].server) << c.name;
            EXPECT_EQ(set->nodes[i].flags, c.nodes[i].flags) << c.name;
            EXPECT_EQ(set->nodes[i].secondary, c.nodes[i].secondary) << c.name;
            EXPECT_EQ(set->nodes[i].handle, nullptr) << c.name << ": the local server serves it";
        }
        EXPECT_TRUE(set->handles.empty()) << c.name;
    }
    EXPECT_EQ(handle_.def.flags1 & CS_F1_SERVES_FOLDER, 0u);
}

// ---------------------------------------------------------------- segments

// Segments of group 100: INV1 (the sample's), INV2 offline, INV3 without dates, NOUPD
// not for update.
const char* kMoreSegments =
    "\n[INV2]\nSEGMENT=2\nINDEX_FILE=2\nSTART_DATE=19754\nSTOP_DATE=19784\nMASK=1\nTOTAL_ROWS=12\n"
    "\n[INV3]\nSEGMENT=3\nINDEX_FILE=3\nMASK=0\n"
    "\n[NOUPD]\nSEGMENT=4\nINDEX_FILE=4\nSTART_DATE=19790\nSTOP_DATE=19799\nMASK=2\n"
    "\n[LONGSEGNAME1]\nSEGMENT=5\nINDEX_FILE=5\nSTART_DATE=19800\nSTOP_DATE=19810\nMASK=0\n";

// A criterion whose unused bytes hold a pattern, so that a value read by the wrong
// width gives another range.
CsXdrCriteria Range(char type, int64_t from, int64_t to) {
    CsXdrCriteria range{};
    range.type = type;
    const int64_t values[2] = {from, to};
    for (int i = 0; i < 2; ++i) {
        range.values[i].type = type;
        range.values[i].v.big = static_cast<int64_t>(0x5A5A5A5A00000000LL) | 0x5A5A0000;
        if (type == 'N')
            range.values[i].v.small = static_cast<int16_t>(values[i]);
        else if (type == 'I')
            range.values[i].v.integer = static_cast<int32_t>(values[i]);
        else
            range.values[i].v.big = values[i];
    }
    return range;
}

TEST_F(LocalRoute, SegmentsByDateRangeAndTheDateFieldsType) {
    const std::string agfld = Text("agfld");
    const std::string profile = localtest::ReadFile(archive_.Dir() + "index/INVOICES.seg");
    ASSERT_FALSE(profile.empty());
    localtest::WriteFile(archive_.Dir() + "index/INVOICES.seg", profile + kMoreSegments);
    archive_.WriteTable("seg", "[100]\nSEGMENTS=INV1,INV2,INV3,NOUPD\nAGID_NAME=INVAG\n");
    struct Case {
        const char* name;
        char dateType;  // of INVDATE; 0: the criterion is none
        int64_t from, to;
        const char* segment;
        uint32_t mode;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"32-bit dates", 'I', 19700, 19760, nullptr, 0, {"INV1", "INV2"}},
        {"16-bit dates", 'N', 19760, 19795, nullptr, 0, {"INV2", "NOUPD"}},
        {"64-bit dates", 'B', 19790, int64_t{1} << 40, nullptr, 0, {"NOUPD"}},
        {"a range that meets nothing", 'I', 1, 2, nullptr, 0, {}},
        {"no range: every dated segment", 0, 0, 0, nullptr, 0, {"INV1", "INV2", "NOUPD"}},
        {"one segment by name", 0, 0, 0, "inv2", 0, {"INV2"}},
        {"only undated segments", 0, 0, 0, nullptr, CS_SEGMENTS_UNDATED, {"INV3"}},
    };
    for (const Case& c : cases) {
        std::string fields = agfld;
        const size_t at = fields.find("NAME=INVDATE\nTYPE=I");
        fields[at + 18] = c.dateType != 0 ? c.dateType : 'I';
        archive_.WriteTable("agfld", fields);
        LogOn("ALICE", "Secret-1");
        const CsXdrCriteria range = Range(c.dateType, c.from, c.to);
        CsSegmentList* raw = nullptr;
        ASSERT_EQ(CsGetSegments(&handle_, 100, c.segment, c.mode, c.dateType ? &range : nullptr, &raw), CS_OK)
            << c.name;
        logontest::SegmentsPtr list(raw);
        std::vector<std::string> names;
        for (const CsXdrSegment& s : list->segments) names.push_back(s.name);
        EXPECT_EQ(names, c.expected) << c.name;
    }

    // Status bits from the segment's mask; dates and rows as stored.
    archive_.WriteTable("agfld", agfld);
    CsSegmentList* raw = nullptr;
    ASSERT_EQ(CsGetSegments(&handle_, 100, nullptr, 0, nullptr, &raw), CS_OK);
    logontest::SegmentsPtr list(raw);
    ASSERT_EQ(list->segments.size(), 3u);
    EXPECT_EQ(list->segments[0].status, 0x01);
    EXPECT_EQ(list->segments[1].status, 0x00) << "offline";
    EXPECT_EQ(list->segments[2].status, 0x03) << "available, not for update";
    EXPECT_EQ(list->segments[1].number, 2);
    EXPECT_EQ(list->segments[1].startDate, 19754);
    EXPECT_EQ(list->segments[1].stopDate, 19784);
    EXPECT_EQ(list->segments[1].rows, 12);
}

TEST_F(LocalRoute, SegmentsThatCannotBeListed) {
    const std::string profile = localtest::ReadFile(archive_.Dir() + "index/INVOICES.seg");
    localtest::WriteFile(archive_.Dir() + "index/INVOICES.seg", profile + kMoreSegments);
    archive_.WriteTable("seg", "[100]\nSEGMENTS=INV1,LONGSEGNAME1\nAGID_NAME=INVAG\n");
    const CsXdrCriteria range = Range('I', 0, 100000);
    struct Case {
        const char* name;
        uint32_t group;
        const CsXdrCriteria* range;
        int rc;
    };
    const Case cases[] = {
        {"a name longer than the record's field is never cut", 100, &range, CS_FAILED},
        {"a group without a segment-date field, with a range", 102, &range, CS_FAILED},
        {"the same group without a range", 102, nullptr, CS_OK},
    };
    LogOn("ALICE", "Secret-1");
    for (const Case& c : cases) {
        CsSegmentList* raw = reinterpret_cast<CsSegmentList*>(0x1);
        EXPECT_EQ(CsGetSegments(&handle_, c.group, nullptr, 0, c.range, &raw), c.rc) << c.name;
        logontest::SegmentsPtr list(raw);
        if (c.rc != CS_OK) {
            EXPECT_EQ(raw, nullptr) << c.name;
        }
    }
}

// ---------------------------------------------------------------- picking nodes

struct NodeSpec {
    uint16_t number;
    uint32_t flags;
    uint16_t secondary;
    int handle;  // 0 none, 1 a local handle, 2 a handle of server "NODE", 3 of another server
};

class PickTest : public ::testing::Test {
protected:
    void SetUp() override {
        localHandle_.def.kind = CS_KIND_LOCAL;
        std::strcpy(localHandle_.serverName, "HERE");
        std::strcpy(nodeHandle_.serverName, "node");
        std::strcpy(otherHandle_.serverName, "ELSEWHERE");
    }
    CsStorageSet Make(char type, const std::vector<NodeSpec>& specs) {
        CsStorageSet set;
        set.type = type;
        for (const NodeSpec& spec : specs) {
            CsStorageNode node;
            node.number = spec.number;
            node.flags = spec.flags;
            node.secondary = spec.secondary;
            std::strcpy(node.serverName, "NODE");
            CsHandle* handles[] = {nullptr, &localHandle_, &nodeHandle_, &otherHandle_};
            node.handle = handles[spec.handle];
            set.nodes.push_back(node);
        }
        return set;
    }

    CsHandle localHandle_{};
    CsHandle nodeHandle_{};
    CsHandle otherHandle_{};
};

TEST_F(PickTest, Cases) {
    struct Case {
        const char* name;
        char type;
        std::vector<NodeSpec> nodes;
        int primary, secondary, forStore;
        int rc;
        int first, second;  // numbers of the picked entries, 0 none
    };
    const Case cases[] = {
        {"no entries", 'F', {}, 1, 1, 1, CS_OK, 0, 0},
        {"store, type F: role 0x02 with 0x04",
         'F',
         {{1, 0x04, 0, 0}, {2, 0x06, 0, 0}, {3, 0x12, 0, 0}},
         0,
         0,
         1,
         CS_OK,
         2,
         0},
        {"store, type F: role 0x02 with 0x10", 'F', {{1, 0x02, 0, 0}, {3, 0x12, 0, 0}}, 0, 0, 1, CS_OK, 3, 0},
        {"store, type F: none fits", 'F', {{1, 0x02, 0, 0}, {2, 0x14, 0, 0}}, 0, 0, 1, CS_NOT_FOUND, 0, 0},
        {"store, type L: a local handle first",
         'L',
         {{1, 0x07, 0, 0}, {2, 0x06, 0, 2}, {3, 0x06, 0, 1}},
         0,
         0,
         1,
         CS_OK,
         3,
         0},
        {"store, type L: then the node's own server",
         'L',
         {{1, 0x07, 0, 0}, {2, 0x06, 0, 3}, {3, 0x06, 0, 2}},
         0,
         0,
         1,
         CS_OK,
         3,
         0},
        {"store, type L: then one served locally",
         'L',
         {{1, 0x06, 0, 3}, {2, 0x07, 0, 0}},
         0,
         0,
         1,
         CS_OK,
         2,
         0},
        {"store, type L: then any",
         'L',
         {{1, 0x04, 0, 0}, {2, 0x06, 0, 3}, {3, 0x12, 0, 3}},
         0,
         0,
         1,
         CS_OK,
         2,
         0},
        {"store, another type", 'X', {{1, 0x06, 0, 0}}, 0, 0, 1, CS_FAILED, 0, 0},
        {"store with a second node", 'F', {{1, 0x06, 0, 0}, {2, 0x08, 0, 0}}, 0, 2, 1, CS_OK, 1, 2},
        {"by primary number", 'X', {{1, 0x0C, 0, 0}, {2, 0x00, 0, 0}}, 2, 0, 0, CS_OK, 2, 0},
        {"primary 0: roles 0x04 and 0x08", 'F', {{1, 0x04, 0, 0}, {2, 0x0C, 0, 0}}, 0, 0, 0, CS_OK, 2, 0},
        {"primary 0: none fits", 'F', {{1, 0x04, 0, 0}, {2, 0x08, 0, 0}}, 0, 0, 0, CS_NOT_FOUND, 0, 0},
        {"primary not found", 'F', {{1, 0x0C, 0, 0}}, 5, 0, 0, CS_NOT_FOUND, 0, 0},
        {"secondary 0: role 0x08 without 0x04",
         'F',
         {{1, 0x0C, 0, 0}, {2, 0x08, 0, 0}},
         1,
         0,
         0,
         CS_OK,
         1,
         2},
        {"secondary 0: none is fine", 'F', {{1, 0x0C, 0, 0}}, 1, 0, 0, CS_OK, 1, 0},
        {"negative secondary: the first entry's",
         'F',
         {{1, 0x0C, 3, 0}, {2, 0x08, 0, 0}, {3, 0x00, 0, 0}},
         1,
         -1,
         0,
         CS_OK,
         1,
         3},
        {"negative secondary, first names none",
         'F',
         {{1, 0x0C, 0, 0}, {2, 0x08, 0, 0}},
         1,
         -1,
         0,
         CS_OK,
         1,
         0},
        {"negative secondary names a missing node", 'F', {{1, 0x0C, 7, 0}}, 1, -1, 0, CS_NOT_FOUND, 0, 0},
        {"secondary by number", 'F', {{1, 0x0C, 0, 0}, {2, 0x00, 0, 0}}, 1, 2, 0, CS_OK, 1, 2},
        {"secondary not found", 'F', {{1, 0x0C, 0, 0}}, 1, 9, 0, CS_NOT_FOUND, 0, 0},
    };
    for (const Case& c : cases) {
        CsStorageSet set = Make(c.type, c.nodes);
        CsStorageNode* first = reinterpret_cast<CsStorageNode*>(0x1);
        CsStorageNode* second = reinterpret_cast<CsStorageNode*>(0x1);
        EXPECT_EQ(CsPickStorageNode(&set, c.primary, c.secondary, c.forStore, &first, &second), c.rc)
            << c.name;
        EXPECT_EQ(first ? first->number : 0, c.first) << c.name;
        EXPECT_EQ(second ? second->number : 0, c.second) << c.name;
    }
    CsStorageNode* first = nullptr;
    CsStorageNode* second = nullptr;
    EXPECT_EQ(CsPickStorageNode(nullptr, 1, 1, 0, &first, &second), CS_OK) << "no storage set";
}

// ---------------------------------------------------------------- routing

int Yield() { return 0; }

TEST(Routing, FlagsChooseTheServingHandle) {
    CsHandle caller{};
    std::strcpy(caller.serverName, "HOME");
    CsHandle nodeA{};
    std::strcpy(nodeA.serverName, "SERVER_A");
    CsHandle nodeB{};
    std::strcpy(nodeB.serverName, "SERVER_B");
    CsStorageNode onA, alsoOnA, onB, local;
    onA.handle = &nodeA;
    alsoOnA.handle = &nodeA;
    onB.handle = &nodeB;
    struct Case {
        const char* name;
        CsStorageNode* first;
        CsStorageNode* second;
        uint8_t flags;
        CsHandle* expected;
        uint8_t flagsAfter;
    };
    const Case cases[] = {
        {"0x01 to the first entry's handle", &onA, &onB, 0x01, &nodeA, 0x01},
        {"0x02 keeps 0x02 with a handle", &onA, nullptr, 0x02, &nodeA, 0x02},
        {"0x10 to the first entry's handle", &onB, nullptr, 0x10, &nodeB, 0x10},
        {"a first entry without a handle: the caller, 0x02 cleared", &local, &onB, 0x03, &caller, 0x01},
        {"no first entry: the caller, 0x02 cleared", nullptr, nullptr, 0x12, &caller, 0x10},
        {"0x04 kept when both share the handle", &onA, &alsoOnA, 0x05, &nodeA, 0x05},
        {"0x04 cleared for other handles", &onA, &onB, 0x05, &nodeA, 0x01},
        {"0x04 cleared without a second entry", &onA, nullptr, 0x05, &nodeA, 0x01},
        {"0x04 alone to the second entry's handle", &onA, &onB, 0x04, &nodeB, 0x04},
        {"0x04 alone, second without a handle", &onA, &local, 0x04, &caller, 0x04},
        {"0x04 alone without a second entry: flags 0", &onA, nullptr, 0x04, &caller, 0x00},
        {"flags 0: the caller", &onA, &onB, 0x00, &caller, 0x00},
        {"other bits alone: the caller, flags 0", &onA, &onB, 0x28, &caller, 0x00},
    };
    for (const Case& c : cases) {
        // A routed call before leaves a delegated handle and another current server.
        caller.delegated = &nodeB;
        std::strcpy(caller.currentServerName, "STALE");
        uint8_t flags = c.flags;
        EXPECT_EQ(CsRouteHandle(&caller, c.first, c.second, &flags), c.expected) << c.name;
        EXPECT_EQ(flags, c.flagsAfter) << c.name;
        if (c.expected == &caller) {
            EXPECT_EQ(caller.delegated.load(), nullptr) << c.name;
            EXPECT_STREQ(caller.currentServerName, "HOME") << c.name;
        } else {
            EXPECT_EQ(caller.delegated.load(), c.expected) << c.name;
            EXPECT_STREQ(caller.currentServerName, c.expected->serverName) << c.name;
        }
    }
}

TEST(Routing, ARoutedHandleTakesTheCallersCallState) {
    CsLogonRecord logon;
    int context = 0;
    CsHandle caller{};
    std::strcpy(caller.serverName, "HOME");
    caller.yield = Yield;
    caller.logon = &logon;
    caller.callbackContext = &context;
    caller.owner = &logon;
    caller.def.flags2 = 0x0A | 0x100;
    caller.serverSessionBlock[5] = 0x77;
    CsHandle node{};
    std::strcpy(node.serverName, "SERVER_A");
    node.def.flags1 = CS_F1_INTERRUPT;
    node.def.flags2 = 0x001;
    CsHandle secondary{};
    std::strcpy(secondary.serverName, "SECOND");
    CsStorageNode entry;
    entry.handle = &node;

    uint8_t flags = CS_ROUTE_FIRST;
    ASSERT_EQ(CsRouteHandle(&caller, &entry, nullptr, &flags), &node);
    EXPECT_EQ(node.yield, Yield);
    EXPECT_EQ(node.logon, &logon);
    EXPECT_EQ(node.callbackContext, &context);
    EXPECT_EQ(node.owner, &logon);
    EXPECT_EQ(node.def.flags1 & CS_F1_INTERRUPT, 0u) << "the busy bit is cleared";
    EXPECT_EQ(node.def.flags2, 0x001u | 0x0A) << "flag word 2 bits 0x02 and 0x08 travel, no others";
    EXPECT_EQ(node.serverSessionBlock[5], 0x77);

    // The secondary route: none, itself, another handle.
    caller.secondary = nullptr;
    EXPECT_EQ(CsRouteSecondary(&caller), &caller);
    caller.secondary = &caller;
    EXPECT_EQ(CsRouteSecondary(&caller), &caller);
    caller.secondary = &secondary;
    secondary.def.flags1 = CS_F1_INTERRUPT;
    ASSERT_EQ(CsRouteSecondary(&caller), &secondary);
    EXPECT_EQ(secondary.logon, &logon);
    EXPECT_EQ(secondary.yield, Yield);
    EXPECT_EQ(secondary.callbackContext, &context);
    EXPECT_EQ(caller.delegated.load(), &secondary);
    EXPECT_STREQ(caller.currentServerName, "SECOND");
    EXPECT_EQ(secondary.def.flags1 & CS_F1_INTERRUPT, 0u);
}

}  // namespace
