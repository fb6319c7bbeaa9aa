// Two loopback peers of retrieve_route.json and a handle logged on to the first: storage
// set 7 holds node 1 on the logon server and nodes 2 and 3 on the second peer, which
// trusts the logon server's sessions.
#pragma once

#include <strings.h>

#include <cstring>

#include "logon_test_support.h"

namespace routedtest {

inline uint16_t g_secondPort = 0;

// Names the second peer for every server other than the current one.
inline const char* ResolveToSecondPeer(const char* current, const char* wanted, CsServerDef* def) {
    if (current != nullptr && strcasecmp(current, wanted) == 0) return current;
    def->kind = CS_KIND_TCP;
    std::strcpy(def->host, "127.0.0.1");
    def->port = g_secondPort;
    def->flags1 |= CS_F1_LEVEL_BITS;
    def->flags2 |= CS_F2_LEVEL_BITS;
    return nullptr;
}

class RoutedPeers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(second_.port(), 0);
        g_secondPort = second_.port();
        ASSERT_NO_FATAL_FAILURE(logontest::LogOnToFolder(&handle_, first_, &folder_));
        group_ = &folder_->groups[0];
        CsStorageSet* set = nullptr;
        ASSERT_EQ(CsOpenStorageSet(&handle_, 7, ResolveToSecondPeer, &set), CS_OK);
        set_.reset(set);
        ASSERT_EQ(set_->nodes.size(), 4u);
    }
    void TearDown() override {
        set_.reset();
        folder_.reset();
        EXPECT_EQ(CsLogoff(&handle_), CS_OK);
    }

    qel_peer::PeerProcess first_{qel_peer::Script("retrieve_route.json")};
    qel_peer::PeerProcess second_{qel_peer::Script("retrieve_route.json")};
    CsHandle handle_{};
    logontest::HandleGuard guard_{&handle_};
    logontest::FolderPtr folder_;
    logontest::SetPtr set_;
    const CsXdrApplGroup* group_ = nullptr;
};

}  // namespace routedtest
