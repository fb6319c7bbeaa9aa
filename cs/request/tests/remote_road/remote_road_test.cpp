// The remote road against the loopback peer through our TCP transport: negotiation
// orders, logon, the folder list, a search of 60 rows with its acknowledgements, a 5 MB
// document in compressed pieces, disconnect with the logon kept, and logoff.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "peer_process.h"
#include "qel_cs.h"
#include "qel_cswire.h"
#include "remote_road_support.h"

namespace {

using qel_peer::PeerProcess;
using namespace remote_road;

class RemoteRoad : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        big_ = new std::string(BigDocument(5 * 1000 * 1000));
        script_ = new std::string(WriteScratch("script.json", ScriptText(WriteScratch("big.bin", *big_))));
    }
    static void TearDownTestSuite() {
        delete big_;
        delete script_;
    }
    void TearDown() override { ArcOS_PutEnv("QEL_QKTARN_SKIP_VERSION="); }

    static std::string* big_;
    static std::string* script_;
};
std::string* RemoteRoad::big_ = nullptr;
std::string* RemoteRoad::script_ = nullptr;

std::string Hex(const unsigned char* bytes, size_t size) {
    std::string out;
    char two[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        out += two;
    }
    return out;
}

// The folders of a list; the entries are freed with the list.
struct Folders {
    std::vector<CsFolderEntry*> entries;
    ~Folders() {
        for (CsFolderEntry* e : entries) CsFreeFolderList(e);
    }
    static int Keep(void* context, CsFolderEntry* entry) {
        static_cast<Folders*>(context)->entries.push_back(entry);
        return 0;
    }
};

int ListFolders(CsHandle* handle, Folders* folders, uint32_t* count) {
    handle->callbackContext = folders;
    const int rc = CsGetFolderList(handle, nullptr, nullptr, nullptr, 0, count, Folders::Keep);
    handle->callbackContext = nullptr;
    return rc;
}

// A search bracketed like an operation of the request layer.
struct Rows {
    std::vector<std::string> objects;
    int bad = 0;  // rows whose values are not what the peer makes for their number
    static int Take(void* context, CsXdrHitRow* hit) {
        auto* rows = static_cast<Rows*>(context);
        const int row = static_cast<int>(rows->objects.size()) + 1;
        rows->objects.push_back(hit->object && hit->object->name ? hit->object->name : "");
        // The peer's rows: field i of row r is "<name>-r", r + i/10, r*100 + i, r*10 + i,
        // r*1000000007 + i by its type (S, D, I, N, B).
        const bool ok = hit->valueCount == 5 &&
                        std::string(hit->values[0].v.text ? hit->values[0].v.text : "") ==
                            "customer-" + std::to_string(row) &&
                        std::fabs(hit->values[1].v.real - (row + 0.1)) < 1e-9 &&
                        hit->values[2].v.integer == row * 100 + 2 && hit->values[3].v.small == row * 10 + 3 &&
                        hit->values[4].v.big == int64_t{row} * 1000000007 + 4 && hit->noteFlag == row % 2;
        if (!ok) ++rows->bad;
        return 1;
    }
};

int Search(CsHandle* handle, CsXdrApplGroup* group, Rows* rows) {
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    handle->callbackContext = rows;
    rc = CsServerRequest(handle, 112, group, "customer LIKE 'c%'", static_cast<CsXdrCriteria*>(nullptr), 0,
                         static_cast<CsXdrValueItem*>(nullptr), 'N', static_cast<CsXdrValueItem*>(nullptr),
                         static_cast<CsHitFn>(Rows::Take));
    handle->callbackContext = nullptr;
    return CsSessionLeave(handle, rc);
}

TEST_F(RemoteRoad, NegotiationOrders) {
    struct Case {
        const char* name;
        const char* skip;  // null: the variable unset
        std::vector<std::string> refused;
        std::vector<std::string> probes;
        uint32_t flags1, flags2;  // the level bits afterwards
    } cases[] = {
        {"unset, the newest accepted", nullptr, {}, {"2219"}, 0x50100000, 0x145},
        {"unset, the two newest refused",
         nullptr,
         {"2219", "2210"},
         {"2219", "2210", "22014"},
         0x50100000,
         0x005},
        {"1 skips the two newest", "QEL_QKTARN_SKIP_VERSION=1", {}, {"22014"}, 0x50100000, 0x005},
        {"1, down to 2114",
         "QEL_QKTARN_SKIP_VERSION=1",
         {"22014", "2209", "2208", "2207"},
         {"22014", "2209", "2208", "2207", "2114"},
         0x00100000,
         0},
        {"0 skips the middle ones",
         "QEL_QKTARN_SKIP_VERSION=0",
         {"2219", "2210"},
         {"2219", "2210", "2114"},
         0x00100000,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ArcOS_PutEnv(c.skip ? c.skip : "QEL_QKTARN_SKIP_VERSION=");
        std::vector<std::string> args;
        for (const auto& level : c.refused) args.insert(args.end(), {"--refuse", level});
        PeerProcess peer(*script_, args);
        ASSERT_NE(peer.port(), 0);
        CsHandle handle{};
        HandleGuard guard(&handle);
        MakeHandle(&handle, peer);
        CsUserRecord user{};
        ASSERT_EQ(CsLogon(&handle, "ALICE", "SECRET1", &user), CS_OK);
        std::vector<std::string> probes;
        for (const std::string& body : EventValues(peer, "request", 0, "body"))
            probes.push_back(JsonValue(body, "level"));
        EXPECT_EQ(probes, c.probes);
        EXPECT_EQ(handle.def.flags1 & CS_F1_LEVEL_BITS, c.flags1);
        EXPECT_EQ(handle.def.flags2 & CS_F2_LEVEL_BITS, c.flags2);
        // The logon travelled at the level agreed: the peer read it with those features.
        const auto features = EventValues(peer, "request", 3, "features");
        ASSERT_EQ(features.size(), 1u);
        EXPECT_EQ(features[0], std::to_string(CsXdrFeatures(c.flags1, c.flags2)));
    }
}

TEST_F(RemoteRoad, LogonWithRightAndWrongPasswords) {
    PeerProcess peer(*script_);
    ASSERT_NE(peer.port(), 0);
    struct Case {
        const char* name;
        const char* user;
        const char* password;
        int expected;
    } cases[] = {
        {"right password", "ALICE", "SECRET1", CS_OK},
        {"wrong password", "ALICE", "SECRET2", CS_NOT_AUTHORISED},
        {"unknown user", "MALLORY", "SECRET1", CS_NOT_AUTHORISED},
        {"three letters", "ABC", "ABC", CS_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CsHandle handle{};
        HandleGuard guard(&handle);
        MakeHandle(&handle, peer);
        CsUserRecord user{};
        EXPECT_EQ(CsLogon(&handle, c.user, c.password, &user), c.expected);
        EXPECT_EQ(CsIsConnected(&handle), c.expected == CS_OK) << "a refused logon drops the connection";
        if (c.expected == CS_OK) {
            EXPECT_STREQ(user.userId, c.user);
        }
    }
    // Hidden texts: big-endian UCS-2 with every byte inverted, the terminator plain.
    const auto hidden = EventValues(peer, "request", 3, "hidden");
    ASSERT_EQ(hidden.size(), 4u);
    EXPECT_EQ(JsonValue(hidden[3], "password"), "\"ffbeffbdffbc0000\"");
    EXPECT_EQ(JsonValue(hidden[3], "userId"), "\"ffbeffbdffbc0000\"");
}

TEST_F(RemoteRoad, FolderListAndASearchOfSixtyRows) {
    PeerProcess peer(*script_);
    ASSERT_NE(peer.port(), 0);
    CsHandle handle{};
    HandleGuard guard(&handle);
    MakeHandle(&handle, peer);
    ASSERT_EQ(CsLogon(&handle, "ALICE", "SECRET1", nullptr), CS_OK);

    Folders folders;
    uint32_t count = 0;
    ASSERT_EQ(ListFolders(&handle, &folders, &count), CS_OK);
    ASSERT_EQ(folders.entries.size(), 2u);
    EXPECT_EQ(count, 2u) << "the final word of the list";
    EXPECT_STREQ(folders.entries[0]->name, "Invoices");
    EXPECT_STREQ(folders.entries[1]->name, "Payroll");
    ASSERT_EQ(folders.entries[0]->groupCount, 1);
    CsXdrApplGroup* group = &folders.entries[0]->groups[0];
    ASSERT_EQ(group->fieldCount, 5);

    Rows rows;
    ASSERT_EQ(Search(&handle, group, &rows), CS_OK);
    ASSERT_EQ(rows.objects.size(), 60u);
    EXPECT_EQ(rows.bad, 0) << "a row's values are not the peer's";
    EXPECT_EQ(rows.objects.front(), "DOC00001");
    EXPECT_EQ(rows.objects.back(), "DOC00060");
    // 60 rows with a window of 25: acknowledged after the 25th and the 50th.
    EXPECT_EQ(EventValues(peer, "request", 112, "replyWindow"), std::vector<std::string>{"25"});
    EXPECT_EQ(peer.Events("ack").size(), 2u);
    EXPECT_TRUE(peer.Events("stray_ack").empty());
}

struct Collected {
    std::string data;
    int calls = 0;
    static int Take(void* context, char* buffer, uint32_t length) {
        auto* c = static_cast<Collected*>(context);
        c->data.append(buffer, length);
        ++c->calls;
        return 1;
    }
};

TEST_F(RemoteRoad, RetrieveFiveMegabytesInCompressedPieces) {
    PeerProcess peer(*script_);
    ASSERT_NE(peer.port(), 0);
    CsHandle handle{};
    HandleGuard guard(&handle);
    MakeHandle(&handle, peer);
    ASSERT_EQ(CsLogon(&handle, "ALICE", "SECRET1", nullptr), CS_OK);
    Folders folders;
    ASSERT_EQ(ListFolders(&handle, &folders, nullptr), CS_OK);
    ASSERT_FALSE(folders.entries.empty());
    CsXdrApplGroup* group = &folders.entries[0]->groups[0];

    CsXdrObjectRef object{};
    object.name = const_cast<char*>("BIG");
    object.compression = 'O';
    CsXdrHitRow hit{};
    std::strcpy(hit.segment, "SEG1");
    hit.object = &object;
    Collected out;
    uint8_t location = 0, second = 0;
    ASSERT_EQ(CsServerRequest(&handle, 101, group, &hit, static_cast<CsXdrApplEntry*>(nullptr),
                              static_cast<CsXdrNodeEntry*>(nullptr), static_cast<CsXdrNodeInfo*>(nullptr), 0,
                              0, 0, 0u, static_cast<CsDataFnC>(Collected::Take), &out, &location, &second),
              CS_OK);
    EXPECT_EQ(out.data.size(), big_->size());
    EXPECT_TRUE(out.data == *big_) << "the document differs from what was stored";
    EXPECT_EQ(location, 2);
    EXPECT_EQ(second, 1);
    // Pieces of 32 KiB of one zlib stream, one reply each, acknowledged every second.
    const size_t replies = EventValues(peer, "reply", 101, "result").size();
    EXPECT_GT(replies, 20u);
    EXPECT_EQ(peer.Events("ack").size(), (replies - 1) / 2);
}

TEST_F(RemoteRoad, DisconnectKeepsTheLogonLogoffEndsIt) {
    PeerProcess peer(*script_);
    ASSERT_NE(peer.port(), 0);
    CsHandle handle{};
    HandleGuard guard(&handle);
    MakeHandle(&handle, peer);
    ASSERT_EQ(CsLogon(&handle, "ALICE", "SECRET1", nullptr), CS_OK);
    const std::string block = Hex(handle.serverSessionBlock, sizeof handle.serverSessionBlock);

    ASSERT_EQ(CsDisconnect(&handle), CS_OK);
    EXPECT_FALSE(CsIsConnected(&handle));
    Folders folders;
    EXPECT_EQ(ListFolders(&handle, &folders, nullptr), CS_OK) << "the session block carries the logon";
    EXPECT_EQ(folders.entries.size(), 2u);
    EXPECT_EQ(peer.Events("connect").size(), 2u) << "the folder list came on a new connection";
    const auto sessions = EventValues(peer, "request", 121, "session");
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0], "\"" + block + "\"");

    EXPECT_EQ(CsLogoff(&handle), CS_OK);
    EXPECT_FALSE(CsIsConnected(&handle));
    Folders after;
    EXPECT_EQ(ListFolders(&handle, &after, nullptr), CS_NOT_AUTHORISED) << "the peer forgot the session";
    EXPECT_TRUE(after.entries.empty());
}

}  // namespace
