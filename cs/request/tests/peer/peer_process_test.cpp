// The helper that starts the loopback peer: it reports the peer's port, ends the peer
// when asked, and reports a peer that refused its script instead of waiting forever.
#include "peer_process.h"

#include <gtest/gtest.h>

namespace {

TEST(PeerProcess, StartsReportsItsPortAndStops) {
    qel_peer::PeerProcess peer(qel_peer::Script("basic.json"));
    ASSERT_NE(peer.port(), 0);
    EXPECT_EQ(peer.Definition(), "HOST=127.0.0.1\nPORT=" + std::to_string(peer.port()) + "\n");
    EXPECT_EQ(peer.Stop(), 0);
    EXPECT_EQ(peer.Stop(), -1) << "a second stop has nothing to wait for";
}

TEST(PeerProcess, RefusedScriptsGivePortZeroAtOnce) {
    struct Case {
        const char* name;
        std::string script;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"missing script", qel_peer::Script("no-such-script.json"), {}},
        {"unknown fault kind", "", {"--fault", "{\"kind\": \"explode\"}"}},
    };
    for (const Case& c : cases) {
        const int64_t start = ArcOS_MonotonicMs();
        qel_peer::PeerProcess peer(c.script, c.args);
        EXPECT_EQ(peer.port(), 0) << c.name;
        EXPECT_LT(ArcOS_MonotonicMs() - start, 10000) << c.name;
        EXPECT_EQ(peer.Stop(), 2) << c.name;
    }
}

}  // namespace
