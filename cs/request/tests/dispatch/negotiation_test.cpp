// Protocol-level negotiation against the fake transport: which levels are probed in
// which order, and which bits of the handle change.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arc_byteorder.h"
#include "arc_platform.h"
#include "dispatch_support.h"
#include "qel_cs.h"

namespace {

using namespace dispatch_test;

// The level of every probe sent: the last word of each request 0.
std::vector<int32_t> ProbedLevels(const FakeScript& script) {
    std::vector<int32_t> levels;
    for (const auto& bytes : script.Sends())
        if (bytes.size() >= 4)
            levels.push_back(static_cast<int32_t>(QelGetBE32(bytes.data() + bytes.size() - 4)));
    return levels;
}

// Each probe gets a connection of its own (a refused probe drops it); `accept` is the
// level answered with 0, every other one with 16.
FakeScript Server(int probes, int acceptAt) {
    FakeScript script;
    for (int i = 0; i < probes; ++i) {
        if (i > 0) script.Connection();
        script.SendAny().Reply(ResultHex(1, 0, i == acceptAt ? 0 : 16, 0, 0));
    }
    return script;
}

class Negotiation : public ::testing::Test {
protected:
    // "NAME=" unsets the variable.
    void TearDown() override { ArcOS_PutEnv("QEL_QKTARN_SKIP_VERSION="); }
};

TEST_F(Negotiation, ProbeOrders) {
    struct Case {
        const char* name;
        const char* skip;  // null: unset
        int stop2114, stop2207;
        uint32_t clientFlags;
        std::vector<int32_t> levels;
    } cases[] = {
        {"logon, variable unset", nullptr, 0, 0, 0, {2219, 2210, 22014, 2209, 2208, 2207, 2114, 210}},
        {"connect", nullptr, 0, 1, 0, {2219, 2210, 22014, 2209, 2208}},
        {"integrated logon", nullptr, 1, 0, 0, {2219, 2210, 22014, 2209, 2208, 2207}},
        {"variable 1", "QEL_QKTARN_SKIP_VERSION=1", 0, 0, 0, {22014, 2209, 2208, 2207, 2114, 210}},
        {"variable 0", "QEL_QKTARN_SKIP_VERSION=0", 0, 0, 0, {2219, 2210, 2114, 210}},
        {"variable not a number", "QEL_QKTARN_SKIP_VERSION=x", 0, 1, 0, {2219, 2210}},
        {"two newest only", nullptr, 0, 0, 0x08, {2219, 2210}},
    };
    for (const auto& c : cases) {
        if (c.skip)
            ArcOS_PutEnv(c.skip);
        else
            ArcOS_PutEnv("QEL_QKTARN_SKIP_VERSION=");  // "NAME=" unsets
        FakeScript script = Server(static_cast<int>(c.levels.size()), -1);
        script.Install();
        CsHandle handle{};
        MakeRemoteHandle(&handle, 0x50100000 | CS_F1_NO_LOGON_MSG, 0x145);
        handle.clientFlags = c.clientFlags;
        EXPECT_EQ(CsNegotiateLevel(&handle, c.stop2114, c.stop2207), CS_LEVEL_NOT_SUPPORTED) << c.name;
        EXPECT_EQ(ProbedLevels(script), c.levels) << c.name;
        EXPECT_EQ(handle.def.flags1, CS_F1_NO_LOGON_MSG) << c.name << ": level bits cleared, others kept";
        EXPECT_EQ(handle.def.flags2, 0u) << c.name;
    }
}

TEST_F(Negotiation, AcceptedLevelSetsItsBits) {
    struct Case {
        int acceptAt;
        uint32_t flags1, flags2;
    } cases[] = {
        {0, 0x50100000, 0x145}, {1, 0x50100000, 0x045}, {2, 0x50100000, 0x005}, {3, 0x50100000, 0x001},
        {4, 0x50100000, 0x000}, {5, 0x10100000, 0x000}, {6, 0x00100000, 0x000}, {7, 0x00000000, 0x000},
    };
    ArcOS_PutEnv("QEL_QKTARN_SKIP_VERSION=");  // "NAME=" unsets
    for (const auto& c : cases) {
        FakeScript script = Server(c.acceptAt + 1, c.acceptAt);
        script.Install();
        CsHandle handle{};
        MakeRemoteHandle(&handle, CS_F1_DISCONNECT, 0x002);
        EXPECT_EQ(CsNegotiateLevel(&handle, 0, 0), CS_OK) << c.acceptAt;
        EXPECT_EQ(handle.def.flags1, c.flags1 | CS_F1_DISCONNECT) << c.acceptAt;
        EXPECT_EQ(handle.def.flags2, c.flags2 | 0x002) << c.acceptAt;
        // The probes went with zero flag words, so the disconnect bit did not end them.
        EXPECT_TRUE(CsIsConnected(&handle)) << c.acceptAt;
    }
}

TEST_F(Negotiation, ConnectSendsRequest109AndAFailureEndsTheProbes) {
    ArcOS_PutEnv("QEL_QKTARN_SKIP_VERSION=");  // "NAME=" unsets
    CsReplyRecord word{};
    word.code = 109;
    word.body.word.value = 77;
    FakeScript script;
    script.SendAny().Reply(ResultHex(1, 0, 0, 0, 0)).SendAny().Reply(ReplyHex(2, word, 0x50100000, 0x145));
    script.Install();
    CsHandle handle{};
    MakeRemoteHandle(&handle, 0x50100000, 0x145);
    EXPECT_EQ(CsConnectServer(&handle), CS_OK);
    EXPECT_EQ(handle.serverSession, 77u);

    FakeScript failing;
    failing.SendAny().Line("close");
    failing.Install();
    CsHandle other{};
    MakeRemoteHandle(&other, 0x50100000, 0x145);
    other.serverSession = 5;
    EXPECT_EQ(CsConnectServer(&other), CS_NOT_AVAILABLE);
    EXPECT_EQ(ProbedLevels(failing).size(), 1u) << "a transport failure is not a refused level";
    EXPECT_EQ(other.serverSession, 0u);
    CsHandle local{};
    local.def.kind = CS_KIND_LOCAL;
    local.def.flags1 = CS_F1_CALLER_LOCAL | CS_F1_CALLER_SYSLOG | CS_F1_CALLER_STORAGE;
    EXPECT_EQ(CsNegotiateLevel(&local, 0, 0), CS_OK);
}

}  // namespace
