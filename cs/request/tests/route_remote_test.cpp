// Folder definitions and storage sets from a remote server (the loopback peer), with the
// handles made for storage nodes on another server (a second peer).
#include <strings.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "logon_test_support.h"

namespace {

using logontest::HandleGuard;
using logontest::SetPtr;

// The definition of the second server, as the test's resolver hands it out.
uint16_t g_secondPort = 0;
int g_resolved = 0;

const char* ResolveToSecondPeer(const char* current, const char* wanted, CsServerDef* def) {
    ++g_resolved;
    if (current != nullptr && strcasecmp(current, wanted) == 0) return current;
    def->kind = CS_KIND_TCP;
    std::strcpy(def->host, "127.0.0.1");
    def->port = g_secondPort;
    def->flags1 |= CS_F1_LEVEL_BITS;
    def->flags2 |= CS_F2_LEVEL_BITS;
    return nullptr;
}

class RemoteRoute : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(first_.port(), 0);
        ASSERT_NE(second_.port(), 0);
        g_secondPort = second_.port();
        g_resolved = 0;
        logontest::MakePeerHandle(&handle_, first_);
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, "ALICE", "SECRET1", &record), CS_OK);
        ASSERT_NE(handle_.logon, nullptr);
        ASSERT_TRUE(handle_.systemParms);
    }
    void TearDown() override { EXPECT_EQ(CsLogoff(&handle_), CS_OK); }

    qel_peer::PeerProcess first_{qel_peer::Script("route.json")};
    qel_peer::PeerProcess second_{qel_peer::Script("route.json")};
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
};

TEST_F(RemoteRoute, NodesShareHandlesByServerName) {
    CsStorageSet* raw = nullptr;
    ASSERT_EQ(CsOpenStorageSet(&handle_, 7, ResolveToSecondPeer, &raw), CS_OK);
    SetPtr set(raw);
    ASSERT_EQ(set->nodes.size(), 4u);
    EXPECT_EQ(set->type, 'L');
    EXPECT_STREQ(set->name, "Spread store");
    EXPECT_EQ(g_resolved, 2) << "once for the caller's server, once for the second";

    // "peer" is the caller's own server PEER: the caller's handle serves it.
    EXPECT_EQ(set->nodes[0].handle, &handle_);
    EXPECT_NE(handle_.def.flags1 & CS_F1_SERVES_FOLDER, 0u);
    // "PEER2" and "Peer2" share one new handle; the local node has none.
    CsHandle* node = set->nodes[1].handle;
    ASSERT_NE(node, nullptr);
    EXPECT_NE(node, &handle_);
    EXPECT_EQ(set->nodes[2].handle, node);
    EXPECT_EQ(set->nodes[3].handle, nullptr);
    ASSERT_EQ(set->handles.size(), 1u);
    EXPECT_EQ(set->handles[0].get(), node);

    // The new handle borrows the caller's logon and reaches the second server.
    EXPECT_STREQ(node->serverName, "PEER2");
    EXPECT_STREQ(node->currentServerName, "PEER2");
    EXPECT_EQ(node->logon, handle_.logon);
    EXPECT_EQ(node->systemParms.get(), handle_.systemParms.get());
    EXPECT_FALSE(node->systemParms.owns());
    EXPECT_EQ(node->secondary, &handle_);
    EXPECT_STREQ(node->identity.userId, "ALICE");
    EXPECT_EQ(std::memcmp(node->serverSessionBlock, handle_.serverSessionBlock, 64), 0);
    EXPECT_EQ(node->def.kind, CS_KIND_TCP);
    EXPECT_EQ(node->def.port, second_.port());
    EXPECT_EQ(node->def.flags1 & (CS_F1_DISCONNECT | CS_F1_CALLER_SYSLOG),
              CS_F1_DISCONNECT | CS_F1_CALLER_SYSLOG);
    EXPECT_EQ(node->def.flags1 & CS_F1_LEVEL_BITS, handle_.def.flags1 & CS_F1_LEVEL_BITS);
    EXPECT_EQ(node->def.flags2 & CS_F2_LEVEL_BITS, handle_.def.flags2 & CS_F2_LEVEL_BITS);

    // Routed to the shared node: the call goes to the second peer.
    uint8_t flags = CS_ROUTE_FIRST;
    ASSERT_EQ(CsRouteHandle(&handle_, &set->nodes[1], &set->nodes[2], &flags), node);
    EXPECT_STREQ(handle_.currentServerName, "PEER2");
    EXPECT_EQ(CsRouteSecondary(node), &handle_);
    node->def.flags1 &= ~CS_F1_DISCONNECT;  // stays connected until the set is freed
    EXPECT_EQ(CsConnectServer(node), CS_OK);
    EXPECT_TRUE(CsIsConnected(node));
    EXPECT_EQ(logontest::CountRequests(second_, 109), 1);
    EXPECT_EQ(logontest::CountRequests(first_, 109), 0);

    // Freeing closes the node's connection once; the caller keeps its logon.
    const CsLogonRecord* logon = handle_.logon;
    set.reset();
    for (int i = 0; i < 200 && second_.Events("close").empty(); ++i) ArcOS_SleepMs(10);
    EXPECT_EQ(second_.Events("close").size(), 1u);
    EXPECT_EQ(handle_.logon, logon);
    ASSERT_TRUE(handle_.systemParms);
    EXPECT_TRUE(handle_.systemParms.owns());
}

TEST_F(RemoteRoute, StorageSetOpenings) {
    enum Serving { kNone, kCaller, kMade };
    struct Case {
        const char* name;
        uint32_t number;
        uint32_t flags1;
        CsServerResolverFn resolver;
        int rc;
        std::vector<Serving> nodes;
    };
    const Case cases[] = {
        {"no handles of their own", 7, CS_F1_NO_GROUP_HANDLES, nullptr, CS_OK, {kNone, kNone, kNone, kNone}},
        {"nodes on other servers need a resolver", 7, 0, nullptr, CS_FAILED, {}},
        {"an unknown storage set", 99, 0, ResolveToSecondPeer, CS_NOT_FOUND, {}},
        {"the system's resolver knows the caller's server in any case",
         3,
         0,
         CsResolveServerDef,
         CS_OK,
         {kCaller, kCaller}},
    };
    for (const Case& c : cases) {
        handle_.def.flags1 =
            (handle_.def.flags1 & ~(CS_F1_NO_GROUP_HANDLES | CS_F1_SERVES_FOLDER)) | c.flags1;
        CsStorageSet* raw = reinterpret_cast<CsStorageSet*>(0x1);
        EXPECT_EQ(CsOpenStorageSet(&handle_, c.number, c.resolver, &raw), c.rc) << c.name;
        SetPtr set(raw);
        if (c.rc != CS_OK) {
            EXPECT_EQ(raw, nullptr) << c.name;
            continue;
        }
        ASSERT_EQ(set->nodes.size(), c.nodes.size()) << c.name;
        size_t made = 0;
        for (size_t i = 0; i < c.nodes.size(); ++i) {
            CsHandle* expected = c.nodes[i] == kCaller ? &handle_ : nullptr;
            if (c.nodes[i] == kMade) {
                ++made;
                EXPECT_NE(set->nodes[i].handle, nullptr) << c.name;
            } else {
                EXPECT_EQ(set->nodes[i].handle, expected) << c.name << " node " << i;
            }
        }
        EXPECT_EQ(set->handles.size(), made) << c.name;
    }
    handle_.def.flags1 &= ~CS_F1_NO_GROUP_HANDLES;
}

TEST_F(RemoteRoute, OpenAndFreeWithSharedLogonsManyTimes) {
    const CsLogonRecord* logon = handle_.logon;
    const CsSystemParms* parms = handle_.systemParms.get();
    for (int i = 0; i < 1000; ++i) {
        CsStorageSet* raw = nullptr;
        ASSERT_EQ(CsOpenStorageSet(&handle_, 7, ResolveToSecondPeer, &raw), CS_OK) << i;
        ASSERT_EQ(raw->handles.size(), 1u) << i;
        ASSERT_EQ(raw->nodes[1].handle->logon, logon) << i;
        CsFreeStorageSet(raw);
    }
    EXPECT_EQ(handle_.logon, logon);
    EXPECT_EQ(handle_.systemParms.get(), parms);
    EXPECT_EQ(handle_.logon->userNumber, 7u) << "the shared record is still the caller's";
}

TEST_F(RemoteRoute, FolderGroupsFromTheServer) {
    struct Case {
        const char* name;
        uint32_t number;
        const char* folderName;
        int rc;
        std::vector<std::string> applications;
    };
    const Case cases[] = {
        {"by number", 1, nullptr, CS_OK, {"INVAPP", "CRDAPP"}},
        {"by name", 0, "invoices", CS_OK, {"INVAPP", "CRDAPP"}},
        {"a folder the user may not open", 2, nullptr, CS_NOT_AUTHORISED, {}},
    };
    for (const Case& c : cases) {
        CsXdrFolder* folder = nullptr;
        EXPECT_EQ(CsOpenFolderGroups(&handle_, c.number, c.folderName, &folder), c.rc) << c.name;
        if (c.rc != CS_OK) {
            EXPECT_EQ(folder, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(folder, nullptr) << c.name;
        ASSERT_EQ(folder->groupCount, 1u) << c.name;
        const CsXdrApplGroup& group = folder->groups[0];
        EXPECT_EQ(group.storageSet, 7u) << c.name;
        std::vector<std::string> names;
        for (size_t i = 0; i < group.applCount; ++i) names.push_back(group.appls[i].name);
        EXPECT_EQ(names, c.applications) << c.name;
        EXPECT_EQ(group.restriction, nullptr) << c.name << ": the server restricts its own searches";
        CsFreeFolderList(folder);
    }
}

}  // namespace
