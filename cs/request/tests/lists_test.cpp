// Lists and records of the request layer: storage nodes, named queries, segments,
// printers, system parameters, load information and the System Log folder, on a copy of
// the sample archive and against the loopback peer.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "logon_test_support.h"
#include "qel_local.h"

namespace {

using logontest::HandleGuard;
using logontest::SetPtr;

struct NodeInfoFree {
    void operator()(CsXdrNodeInfo* info) const { CsFreeStorageNodes(info); }
};
using NodeInfoPtr = std::unique_ptr<CsXdrNodeInfo, NodeInfoFree>;
struct ParmsFree {
    void operator()(CsSystemParms* parms) const { CsFreeSystemParmsRecord(parms); }
};
using ParmsPtr = std::unique_ptr<CsSystemParms, ParmsFree>;
struct GroupFree {
    void operator()(QelLocalAppGroup* group) const { CsFreeReplyC(group); }
};
using GroupPtr = std::unique_ptr<QelLocalAppGroup, GroupFree>;

// What a list callback saw. answer 0 keeps each entry (kept), non-zero leaves it to the
// operation; with interrupt set, the callback stops the list after stopAt entries.
struct Sink {
    int answer = 1;
    CsHandle* interrupt = nullptr;
    size_t stopAt = 0;
    std::vector<std::string> names;
    std::vector<void*> kept;
};

std::string NameOf(const CsXdrNamedQuery& q) { return q.name; }
std::string NameOf(const CsXdrSegment& s) { return s.name; }
std::string NameOf(const CsXdrPrinter& p) { return p.name; }

template <class T>
int Collect(void* context, void* entry) {
    auto* sink = static_cast<Sink*>(context);
    sink->names.push_back(NameOf(*static_cast<T*>(entry)));
    if (sink->interrupt != nullptr && sink->names.size() == sink->stopAt) CsInterrupt(sink->interrupt);
    if (sink->answer == 0) sink->kept.push_back(entry);
    return sink->answer;
}

// The kept entries of a list, freed with its free function.
template <class T>
std::vector<std::unique_ptr<T, void (*)(T*)>> Owned(Sink& sink, void (*release)(T*)) {
    std::vector<std::unique_ptr<T, void (*)(T*)>> owned;
    for (void* entry : sink.kept) owned.emplace_back(static_cast<T*>(entry), release);
    sink.kept.clear();
    return owned;
}

const std::vector<std::string> kBothQueries = {"Open invoices", "Bob customers"};

// --- local handles ------------------------------------------------------------

class LocalLists : public ::testing::Test {
protected:
    void SetUp() override { archive_.Prepare(&handle_); }
    void LogOn(CsHandle* handle, const char* user, const char* password) {
        ASSERT_EQ(CsLogon(handle, user, password, nullptr), CS_OK) << user;
    }
    std::string QueryFile(const char* name) const { return archive_.Dir() + "query/" + name; }
    // ROOT's named queries of folder 1 (he sees all), kept by the callback.
    std::vector<std::unique_ptr<CsXdrNamedQuery, void (*)(CsXdrNamedQuery*)>> RootsQueries() {
        Sink sink;
        sink.answer = 0;
        handle_.callbackContext = &sink;
        EXPECT_EQ(CsGetNamedQueries(&handle_, 1, Collect<CsXdrNamedQuery>), CS_OK);
        return Owned<CsXdrNamedQuery>(sink, CsFreeNamedQueries);
    }
    // The ag.tbl text with the first "key=old" after the section header replaced.
    std::string AgTableWith(const std::string& section, const std::string& from, const std::string& to) {
        std::string text = archive_.Table("ag");
        const size_t at = text.find(from, text.find("[" + section + "]"));
        EXPECT_NE(at, std::string::npos) << section << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    }

    logontest::TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
};

TEST_F(LocalLists, StorageNodesReadTheGroupsObjectNodeRow) {
    LogOn(&handle_, "ALICE", "Secret-1");
    struct Case {
        const char* name;
        uint32_t group;
        uint16_t node;
        int expected;
    };
    const Case cases[] = {
        {"the sample's row", 100, 1, CS_OK},
        {"no such node", 100, 2, CS_NOT_FOUND},
        {"no such group", 101, 1, CS_NOT_FOUND},
        {"a group number past the tables", 0x80000000u, 1, CS_FAILED},
    };
    for (const Case& c : cases) {
        CsXdrNodeInfo* raw = reinterpret_cast<CsXdrNodeInfo*>(&handle_);  // must become none
        EXPECT_EQ(CsGetStorageNodes(&handle_, c.group, c.node, &raw), c.expected) << c.name;
        NodeInfoPtr info(raw);
        if (c.expected != CS_OK) {
            EXPECT_EQ(info, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->groupNumber, 100u);
        EXPECT_EQ(info->primaryNode, 1);
        EXPECT_EQ(info->secondaryNode, 0);
        EXPECT_EQ(info->compression, 'O');
    }
}

TEST_F(LocalLists, StorageNodesRefuseNodeNumbersTheRecordCannotHold) {
    archive_.WriteTable("res", "[100|1]\nPRI_NID=70000\nSEC_NID=0\nRID=1\nCOMP_TYPE=O\n");
    LogOn(&handle_, "ALICE", "Secret-1");
    CsXdrNodeInfo* raw = nullptr;
    EXPECT_EQ(CsGetStorageNodes(&handle_, 100, 1, &raw), CS_FAILED);
    EXPECT_EQ(raw, nullptr);
}

TEST_F(LocalLists, NamedQueriesFollowUserTypeAndFolderPermissions) {
    // Folder 1: group STAFF (11) holds the row; query 1 belongs to everybody, query 2 to BOB.
    struct Case {
        const char* name;
        const char* user;
        const char* password;
        int staffPerms;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"open permission only: everybody's", "ALICE", "Secret-1", 1, {"Open invoices"}},
        {"the owner sees his own", "BOB", "Bob.Pass", 1, kBothQueries},
        {"folder permission 0x02 sees all", "ALICE", "Secret-1", 0x03, kBothQueries},
        {"folder permission 0x04 sees all", "ALICE", "Secret-1", 0x05, kBothQueries},
        {"administrator type 0x04", "ROOT", "RootPw1", 1, kBothQueries},
        {"type 0x10", "DAVE", "DavePw1", 1, kBothQueries},
        {"no permission row", "CAROL", nullptr, 1, {"Open invoices"}},
    };
    for (const Case& c : cases) {
        archive_.WriteTable("folperms", "[1]\nIDS=11\n\n[11|1]\nPERMS=" + std::to_string(c.staffPerms) +
                                            "\nHITS=500\n\n[2]\nIDS=10\n\n[10|2]\nPERMS=3\nHITS=-1\n");
        CsHandle handle{};
        HandleGuard guard{&handle};
        archive_.Prepare(&handle);
        LogOn(&handle, c.user, c.password);
        Sink sink;
        handle.callbackContext = &sink;
        EXPECT_EQ(CsGetNamedQueries(&handle, 1, Collect<CsXdrNamedQuery>), CS_OK) << c.name;
        EXPECT_EQ(sink.names, c.expected) << c.name;
    }
}

TEST_F(LocalLists, NamedQueriesKeptByTheCallbackCarryTheirText) {
    LogOn(&handle_, "ROOT", "RootPw1");
    auto owned = RootsQueries();
    ASSERT_EQ(owned.size(), 2u);
    EXPECT_EQ(owned[0]->number, 1u);
    EXPECT_STREQ(owned[0]->text, "WHERE INVNO LIKE 'A%'");
    EXPECT_EQ(owned[1]->number, 2u);
    EXPECT_STREQ(owned[1]->name, "Bob customers");
    EXPECT_STREQ(owned[1]->text, "WHERE CUSTOMER = 'ACME'");
    EXPECT_EQ(owned[0]->flags, 0u);
    CsFreeNamedQueries(nullptr);
}

// The query files keep 819: a query's text reaches a 1208 session as UTF-8, ready to be
// searched with again.
TEST_F(LocalLists, NamedQueryTextsInTheSessionsCodePage) {
    const std::string path = archive_.Dir() + "query/q00002.ndq";
    std::string bytes = localtest::ReadFile(path);
    const size_t at = bytes.find("'ACME'");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 1] = '\xC4';
    localtest::WriteFile(path, bytes);
    struct Case {
        int32_t ccsid;
        const char* text;
    };
    const Case cases[] = {{1208,
                           "WHERE CUSTOMER = '\xC3\x84"
                           "CME'"},
                          {819,
                           "WHERE CUSTOMER = '\xC4"
                           "CME'"}};
    for (const Case& c : cases) {
        LogOn(&handle_, "ROOT", "RootPw1");
        handle_.localCcsid = c.ccsid;
        auto owned = RootsQueries();
        ASSERT_EQ(owned.size(), 2u);
        EXPECT_STREQ(owned[1]->text, c.text) << c.ccsid;
    }
}

TEST_F(LocalLists, NamedQueriesEdgeCases) {
    // No logon: nobody to ask for.
    Sink sink;
    handle_.callbackContext = &sink;
    EXPECT_EQ(CsGetNamedQueries(&handle_, 1, Collect<CsXdrNamedQuery>), CS_NOT_AUTHORISED);
    LogOn(&handle_, "ROOT", "RootPw1");
    handle_.callbackContext = &sink;
    // A folder without queries is an empty list; a null callback drops every entry.
    EXPECT_EQ(CsGetNamedQueries(&handle_, 2, Collect<CsXdrNamedQuery>), CS_OK);
    EXPECT_TRUE(sink.names.empty());
    EXPECT_EQ(CsGetNamedQueries(&handle_, 1, nullptr), CS_OK);
    // The callback stops the list: CS_CANCELLED after the first entry.
    sink.interrupt = &handle_;
    sink.stopAt = 1;
    EXPECT_EQ(CsGetNamedQueries(&handle_, 1, Collect<CsXdrNamedQuery>), CS_CANCELLED);
    EXPECT_EQ(sink.names, std::vector<std::string>{"Open invoices"});
    // A query file shorter than its length says is damaged.
    std::string file = localtest::ReadFile(QueryFile("q00002.ndq"));
    localtest::WriteFile(QueryFile("q00002.ndq"), file.substr(0, file.size() - 3));
    sink = Sink{};
    EXPECT_EQ(CsGetNamedQueries(&handle_, 1, Collect<CsXdrNamedQuery>), CS_FAILED);
}

TEST_F(LocalLists, SegmentListDeliversDatedThenUndatedSegments) {
    archive_.WriteTable("seg", "[100]\nSEGMENTS=INV2,INV1\nAGID_NAME=INVAG\n");
    const std::string profile = archive_.Dir() + "index/INVOICES.seg";
    localtest::WriteFile(profile, localtest::ReadFile(profile) +
                                      "\n[INV2]\nSEGMENT=2\nINDEX_FILE=2\nVERSION=4\nTOTAL_ROWS=7\nMASK=3\n");
    LogOn(&handle_, "ALICE", "Secret-1");
    Sink sink;
    sink.answer = 0;
    handle_.callbackContext = &sink;
    ASSERT_EQ(CsGetSegmentList(&handle_, 100, Collect<CsXdrSegment>), CS_OK);
    auto owned = Owned<CsXdrSegment>(sink, CsFreeSegmentEntry);
    ASSERT_EQ(owned.size(), 2u);
    EXPECT_STREQ(owned[0]->name, "INV1");
    EXPECT_EQ(owned[0]->number, 1);
    EXPECT_EQ(owned[0]->status, 0x01);
    EXPECT_EQ(owned[0]->startDate, 19723);
    EXPECT_EQ(owned[0]->stopDate, 19753);
    EXPECT_STREQ(owned[1]->name, "INV2");
    EXPECT_EQ(owned[1]->status, 0x02) << "off line and not for update";
    EXPECT_EQ(owned[1]->rows, 7);
}

TEST_F(LocalLists, SegmentListEntriesLeftToTheOperationAndFailures) {
    LogOn(&handle_, "ALICE", "Secret-1");
    Sink sink;  // answers non-zero: every entry is the operation's to free
    handle_.callbackContext = &sink;
    EXPECT_EQ(CsGetSegmentList(&handle_, 100, Collect<CsXdrSegment>), CS_OK);
    EXPECT_EQ(sink.names, std::vector<std::string>{"INV1"});
    EXPECT_EQ(CsGetSegmentList(&handle_, 999, Collect<CsXdrSegment>), CS_FAILED) << "unknown group";
    EXPECT_EQ(CsGetSegmentList(&handle_, 101, Collect<CsXdrSegment>), CS_OK) << "a group without segments";
    EXPECT_EQ(sink.names.size(), 1u);
    CsFreeSegmentEntry(nullptr);
}

TEST_F(LocalLists, TheLocalServerListsNoPrinters) {
    LogOn(&handle_, "ALICE", "Secret-1");
    Sink sink;
    handle_.callbackContext = &sink;
    EXPECT_EQ(CsGetPrinters(&handle_, Collect<CsXdrPrinter>), CS_OK);
    EXPECT_TRUE(sink.names.empty());
    CsFreePrinters(nullptr);
}

// Printers named in the PRINTERS section of the server configuration, in order, numbered
// from 1, the kind letter in the low byte of the first word (an unknown kind prints as 'P').
TEST_F(LocalLists, PrintersOfTheServerConfiguration) {
    LogOn(&handle_, "ALICE", "Secret-1");
    handle_.def.profile += "\n[PRINTERS]\nLPT1=P,Line printer\nFAX1=F\nINFO=I,Info desk\nODD=Q,Other\n";
    Sink sink;
    sink.answer = 0;
    handle_.callbackContext = &sink;
    ASSERT_EQ(CsGetPrinters(&handle_, Collect<CsXdrPrinter>), CS_OK);
    EXPECT_EQ(sink.names, (std::vector<std::string>{"LPT1", "FAX1", "INFO", "ODD"}));
    auto owned = Owned<CsXdrPrinter>(sink, CsFreePrinters);
    ASSERT_EQ(owned.size(), 4u);
    const struct {
        uint32_t number;
        char kind;
        const char* description;
    } expected[] = {{1, 'P', "Line printer"}, {2, 'F', ""}, {3, 'I', "Info desk"}, {4, 'P', "Other"}};
    for (size_t i = 0; i < owned.size(); ++i) {
        EXPECT_EQ(owned[i]->number, expected[i].number);
        EXPECT_EQ(char(owned[i]->words[0] & 0xFF), expected[i].kind);
        EXPECT_STREQ(owned[i]->description, expected[i].description);
    }
}

TEST_F(LocalLists, SystemParmsComeFromTheSystemTable) {
    ParmsPtr parms;
    CsSystemParms* raw = nullptr;
    ASSERT_EQ(CsGetSystemParms(&handle_, &raw), CS_OK);
    parms.reset(raw);
    EXPECT_EQ(parms->passwordExpiryDays, -1);
    EXPECT_EQ(parms->minPasswordLength, 4);
    EXPECT_EQ(parms->timeOut, 3600);
    EXPECT_EQ(parms->flags, 2u);
    EXPECT_EQ(parms->systemLogMask, 31u);
    EXPECT_EQ(handle_.systemParms, nullptr) << "the handle's own parameters stay as they were";

    archive_.WriteTable("system", "[SYSTEM]\nCODEPAGE=819\nTIME_OUT=10\n");
    raw = reinterpret_cast<CsSystemParms*>(&handle_);
    EXPECT_EQ(CsGetSystemParms(&handle_, &raw), CS_FAILED) << "no SYS_MASK";
    EXPECT_EQ(raw, nullptr);
    CsFreeSystemParmsRecord(nullptr);
}

TEST_F(LocalLists, LoadInfoTakesTheGroupsNextLoadName) {
    LogOn(&handle_, "ALICE", "Secret-1");
    char load[16] = "stale";
    ASSERT_EQ(CsGetLoadInfo(&handle_, 100, load, sizeof load), CS_OK);
    EXPECT_STREQ(load, "1FAA");
    ASSERT_EQ(CsGetLoadInfo(&handle_, 100, load, sizeof load), CS_OK);
    EXPECT_STREQ(load, "2FAA") << "the counter advanced";

    const std::string before = archive_.Table("ag");
    std::strcpy(load, "stale");
    EXPECT_EQ(CsGetLoadInfo(&handle_, 999, load, sizeof load), CS_FAILED) << "unknown group";
    EXPECT_STREQ(load, "");
    EXPECT_EQ(archive_.Table("ag"), before) << "no counter made for an unknown group";
    char small[4] = "abc";
    EXPECT_EQ(CsGetLoadInfo(&handle_, 100, small, sizeof small), CS_FAILED) << "never cut";
    EXPECT_STREQ(small, "");
    EXPECT_EQ(CsGetLoadInfo(&handle_, 100, nullptr, 16), CS_FAILED);
}

// --- the System Log folder ------------------------------------------------------

// The user type of the handle's logon whenever the bracket yields (none: -1).
CsHandle* g_watched = nullptr;
std::vector<int> g_seenTypes;
int WatchType() {
    if (g_watched != nullptr)
        g_seenTypes.push_back(g_watched->logon != nullptr ? g_watched->logon->userType : -1);
    return 0;
}

class SystemLogFolder : public LocalLists {
protected:
    void SetUp() override {
        LocalLists::SetUp();
        g_watched = &handle_;
        g_seenTypes.clear();
        handle_.yield = WatchType;
    }
    void TearDown() override { g_watched = nullptr; }
    int Get(GroupPtr* group, SetPtr* set) {
        QelLocalAppGroup* rawGroup = reinterpret_cast<QelLocalAppGroup*>(&handle_);
        CsStorageSet* rawSet = reinterpret_cast<CsStorageSet*>(&handle_);
        const int rc = CsGetSystemLogFolder(&handle_, &rawGroup, &rawSet);
        group->reset(rawGroup);
        set->reset(rawSet);
        return rc;
    }
};

TEST_F(SystemLogFolder, ReadsTheGroupAndOpensItsStorageSetRaisingTheTypeForTheCall) {
    LogOn(&handle_, "ALICE", "Secret-1");
    g_seenTypes.clear();
    GroupPtr group;
    SetPtr set;
    ASSERT_EQ(Get(&group, &set), CS_OK);
    ASSERT_NE(group, nullptr);
    EXPECT_STREQ(group->name, "System Log");
    EXPECT_EQ(group->agid, 102);
    EXPECT_EQ(group->fields.size(), 5u);
    ASSERT_NE(set, nullptr);
    EXPECT_STREQ(set->name, "LOCALSET");
    ASSERT_NE(handle_.logon, nullptr);
    EXPECT_EQ(handle_.logon->userType, 0) << "the type is given back";
    EXPECT_NE(std::find(g_seenTypes.begin(), g_seenTypes.end(), 4), g_seenTypes.end())
        << "the storage set was opened as type 4";
}

TEST_F(SystemLogFolder, ATemporaryLogonStandsInAndGoesAgain) {
    GroupPtr group;
    SetPtr set;
    ASSERT_EQ(Get(&group, &set), CS_OK);
    EXPECT_NE(group, nullptr);
    EXPECT_EQ(handle_.logon, nullptr);
    EXPECT_NE(std::find(g_seenTypes.begin(), g_seenTypes.end(), 4), g_seenTypes.end());
}

TEST_F(SystemLogFolder, FailuresFreeBothOutsAndGiveTheTypeBack) {
    struct Case {
        const char* name;
        std::string section, from, to;
        int expected;
    };
    const Case cases[] = {
        {"no System Log group", "102", "NAME=\"System Log\"", "NAME=\"Old Log\"", CS_NOT_FOUND},
        {"two groups of the name", "101", "NAME=PAYROLL", "NAME=\"System Log\"", CS_FAILED},
        {"an unknown storage set", "102", "SID=1", "SID=9", CS_FAILED},
    };
    const std::string original = archive_.Table("ag");
    for (const Case& c : cases) {
        for (const bool logged : {true, false}) {
            archive_.WriteTable("ag", original);
            guard_.Renew(archive_);
            handle_.yield = WatchType;
            if (logged) LogOn(&handle_, "BOB", "Bob.Pass");
            archive_.WriteTable("ag", AgTableWith(c.section, c.from, c.to));
            // The bracket leaves the System Log to the caller: the failure is the call's own.
            handle_.def.flags1 |= CS_F1_CALLER_SYSLOG;
            GroupPtr group;
            SetPtr set;
            EXPECT_EQ(Get(&group, &set), c.expected) << c.name << logged;
            EXPECT_EQ(group, nullptr) << c.name;
            EXPECT_EQ(set, nullptr) << c.name;
            if (logged) {
                ASSERT_NE(handle_.logon, nullptr) << c.name;
                EXPECT_EQ(handle_.logon->userType, 0) << c.name;
            } else {
                EXPECT_EQ(handle_.logon, nullptr) << c.name;
            }
        }
    }
}

// --- remote handles ---------------------------------------------------------------

class RemoteLists : public ::testing::Test {
protected:
    RemoteLists() : peer_(qel_peer::Script("lists.json")) {}
    void SetUp() override {
        ASSERT_NE(peer_.port(), 0);
        logontest::MakePeerHandle(&handle_, peer_);
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, "ALICE", "SECRET1", &record), CS_OK);
    }
    void TearDown() override { EXPECT_EQ(CsLogoff(&handle_), CS_OK); }
    std::string Event(const char* kind, const char* key) const {
        const std::vector<std::string> events = peer_.Events(kind);
        return events.empty() ? "" : qel_peer::JsonValue(events.back(), key);
    }

    qel_peer::PeerProcess peer_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
};

TEST_F(RemoteLists, StorageNodesAskTheServer) {
    CsXdrNodeInfo* raw = nullptr;
    ASSERT_EQ(CsGetStorageNodes(&handle_, 5, 1, &raw), CS_OK) << handle_.serverMessage;
    NodeInfoPtr info(raw);
    EXPECT_EQ(info->groupNumber, 5u);
    EXPECT_EQ(info->primaryNode, 3);
    EXPECT_EQ(info->secondaryNode, 65535);
    EXPECT_EQ(info->compression, 'O');
    EXPECT_EQ(Event("storage_nodes", "node"), "1");
    raw = reinterpret_cast<CsXdrNodeInfo*>(&handle_);
    EXPECT_EQ(CsGetStorageNodes(&handle_, 5, 2, &raw), CS_NOT_FOUND);
    EXPECT_EQ(raw, nullptr);
}

TEST_F(RemoteLists, NamedQueriesGoWithTheUsersNumber) {
    Sink sink;
    sink.answer = 0;
    handle_.callbackContext = &sink;
    ASSERT_EQ(CsGetNamedQueries(&handle_, 1, Collect<CsXdrNamedQuery>), CS_OK) << handle_.serverMessage;
    auto owned = Owned<CsXdrNamedQuery>(sink, CsFreeNamedQueries);
    ASSERT_EQ(owned.size(), 2u);
    EXPECT_STREQ(owned[0]->name, "Open invoices");
    EXPECT_STREQ(owned[0]->text, "WHERE INVNO LIKE 'A%'");
    EXPECT_EQ(owned[0]->flags, 1u);
    EXPECT_STREQ(owned[1]->name, "Mine");
    EXPECT_EQ(Event("named_queries", "folder"), "1");
    EXPECT_EQ(Event("named_queries", "user"), "7");
}

TEST_F(RemoteLists, ListsWhoseEntriesAreLeftToTheOperation) {
    struct Case {
        const char* name;
        int (*run)(CsHandle*);
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"segments",
         [](CsHandle* h) { return CsGetSegmentList(h, 5, Collect<CsXdrSegment>); },
         {"INV1", "INV2"}},
        {"printers",
         [](CsHandle* h) { return CsGetPrinters(h, Collect<CsXdrPrinter>); },
         {"LASER1", "PLOTTER"}},
        {"queries",
         [](CsHandle* h) { return CsGetNamedQueries(h, 1, Collect<CsXdrNamedQuery>); },
         {"Open invoices", "Mine"}},
    };
    for (const Case& c : cases) {
        Sink sink;  // answers non-zero for every entry
        handle_.callbackContext = &sink;
        EXPECT_EQ(c.run(&handle_), CS_OK) << c.name << handle_.serverMessage;
        EXPECT_EQ(sink.names, c.expected) << c.name;
    }
    EXPECT_EQ(Event("segments", "groups"), "[5]");
}

TEST_F(RemoteLists, ACallbackStopsTheListWithAnInterrupt) {
    Sink sink;
    sink.interrupt = &handle_;
    sink.stopAt = 1;
    handle_.callbackContext = &sink;
    EXPECT_EQ(CsGetPrinters(&handle_, Collect<CsXdrPrinter>), CS_CANCELLED);
    EXPECT_EQ(sink.names, std::vector<std::string>{"LASER1"});
    // The handle goes on serving.
    sink = Sink{};
    handle_.callbackContext = &sink;
    EXPECT_EQ(CsGetPrinters(&handle_, Collect<CsXdrPrinter>), CS_OK);
    EXPECT_EQ(sink.names.size(), 2u);
}

TEST_F(RemoteLists, SegmentsAndPrintersKeptByTheCallback) {
    Sink segments;
    segments.answer = 0;
    handle_.callbackContext = &segments;
    ASSERT_EQ(CsGetSegmentList(&handle_, 5, Collect<CsXdrSegment>), CS_OK);
    auto kept = Owned<CsXdrSegment>(segments, CsFreeSegmentEntry);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[1]->number, 2);
    EXPECT_EQ(kept[1]->status, 3);
    EXPECT_EQ(kept[1]->rows, 4000000000) << "a 64-bit row count";
    Sink printers;
    printers.answer = 0;
    handle_.callbackContext = &printers;
    ASSERT_EQ(CsGetPrinters(&handle_, Collect<CsXdrPrinter>), CS_OK);
    auto owned = Owned<CsXdrPrinter>(printers, CsFreePrinters);
    ASSERT_EQ(owned.size(), 2u);
    EXPECT_STREQ(owned[0]->description, "Second floor");
    EXPECT_EQ(owned[1]->words[2], 70000u);
}

TEST_F(RemoteLists, SystemParmsAndLoadInfoComeFromTheServer) {
    CsSystemParms* raw = nullptr;
    ASSERT_EQ(CsGetSystemParms(&handle_, &raw), CS_OK);
    ParmsPtr parms(raw);
    EXPECT_EQ(parms->passwordExpiryDays, 45);
    EXPECT_EQ(parms->minPasswordLength, 5);
    EXPECT_EQ(parms->timeOut, 5000000000);
    EXPECT_EQ(parms->flags, 2u);
    EXPECT_EQ(parms->systemLogMask, 31u);
    EXPECT_EQ(parms->exitMask, 4u);
    EXPECT_NE(parms.get(), handle_.systemParms.get()) << "a record of the caller's own";

    char load[16] = {};
    ASSERT_EQ(CsGetLoadInfo(&handle_, 5, load, sizeof load), CS_OK);
    EXPECT_STREQ(load, "12GAA");
    EXPECT_EQ(Event("load_info", "group"), "5");
    char small[4] = "abc";
    EXPECT_EQ(CsGetLoadInfo(&handle_, 5, small, sizeof small), CS_FAILED) << "never cut";
    EXPECT_STREQ(small, "");
}

TEST_F(RemoteLists, TheSystemLogFolderIsLocalOnly) {
    QelLocalAppGroup* group = reinterpret_cast<QelLocalAppGroup*>(&handle_);
    CsStorageSet* set = reinterpret_cast<CsStorageSet*>(&handle_);
    EXPECT_EQ(CsGetSystemLogFolder(&handle_, &group, &set), CS_FAILED);
    EXPECT_EQ(group, nullptr);
    EXPECT_EQ(set, nullptr);
    ASSERT_NE(handle_.logon, nullptr);
    EXPECT_EQ(handle_.logon->userType, 0);
}

}  // namespace
