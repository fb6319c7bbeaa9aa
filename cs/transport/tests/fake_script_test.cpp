// The fake transport's script reader: what each word makes and which lines it refuses.
#include <gtest/gtest.h>

#include <string>

#include "fake_script.h"

namespace qel::transport::fake {
namespace {

TEST(FakeScript, ReadsEveryWord) {
    const std::string text =
        "# a comment\n"
        "version 4\n"
        "info  peer one \n"
        "cancel ignore\n"
        "connect 0 delay 20\n"
        "send\n"
        "send any\n"
        "send 12\n"
        "send hex 0001 ff\n"
        "send prefix AB\n"
        "send short 3\n"
        "send fail\n"
        "reply 00000001 0000000c\n"
        "reply-repeat 3 0a\n"
        "reply-repeat * 0b0c\n"
        "delay 250\n"
        "close\n"
        "recv-fail\n"
        "hang\n"
        "connection\n"
        "connect 13\n";
    Script s;
    std::string why;
    ASSERT_EQ(ParseScript(text, ".", &s, &why), 0) << why;
    EXPECT_EQ(s.version, 4);
    EXPECT_EQ(s.info, "peer one");
    EXPECT_TRUE(s.cancelIgnored);
    ASSERT_EQ(s.connections.size(), 2u);
    EXPECT_EQ(s.connections[0].connectDelayMs, 20u);
    EXPECT_EQ(s.connections[1].connectResult, 13);
    EXPECT_TRUE(s.connections[1].steps.empty());

    using K = Step::Kind;
    using M = Step::SendMode;
    struct Expect {
        K kind;
        M mode;
        uint64_t count;
        std::vector<unsigned char> bytes;
    };
    const Expect expected[] = {
        {K::Send, M::Any, 0, {}},        {K::Send, M::Any, 0, {}},
        {K::Send, M::Length, 12, {}},    {K::Send, M::Exact, 0, {0x00, 0x01, 0xff}},
        {K::Send, M::Prefix, 0, {0xab}}, {K::Send, M::Short, 3, {}},
        {K::Send, M::Fail, 0, {}},       {K::Reply, M::Any, 1, {0, 0, 0, 1, 0, 0, 0, 0x0c}},
        {K::Reply, M::Any, 3, {0x0a}},   {K::Reply, M::Any, kEndless, {0x0b, 0x0c}},
        {K::Delay, M::Any, 250, {}},     {K::Close, M::Any, 0, {}},
        {K::RecvFail, M::Any, 0, {}},    {K::Hang, M::Any, 0, {}},
    };
    const auto& steps = s.connections[0].steps;
    ASSERT_EQ(steps.size(), std::size(expected));
    for (size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].kind, expected[i].kind) << "step " << i;
        EXPECT_EQ(steps[i].sendMode, expected[i].mode) << "step " << i;
        EXPECT_EQ(steps[i].count, expected[i].count) << "step " << i;
        EXPECT_EQ(steps[i].bytes, expected[i].bytes) << "step " << i;
        EXPECT_EQ(steps[i].line, static_cast<int>(i) + 6) << "step " << i;
    }
}

TEST(FakeScript, RefusesBadLinesNamingThem) {
    const struct {
        const char* text;
        const char* why;
    } cases[] = {
        {"frobnicate\n", "line 1: unknown word"},
        {"send\nreply 0\n", "line 2: reply wants hex"},
        {"reply 0g\n", "hex"},
        {"reply\n", "hex"},
        {"send hex\n", "hex"},
        {"send short\n", "send wants"},
        {"send 12 13\n", "send wants"},
        {"send -1\n", "send wants"},
        {"reply-repeat 0 00\n", "count from 1"},
        {"reply-repeat 2\n", "COUNT"},
        {"delay\n", "delay"},
        {"delay 3600001\n", "delay"},
        {"version\n", "version"},
        {"version 99999999\n", "version"},
        {"cancel maybe\n", "cancel"},
        {"info\n", "info"},
        {"send\nconnect 0\n", "line 2: connect must come before"},
        {"connect x\n", "connect wants"},
        {"connect 0 wait 5\n", "connect wants"},
        {"connection now\n", "stands alone"},
        {"close 1\n", "stands alone"},
        {"reply-file missing-file.bin\n", "cannot read"},
    };
    for (const auto& c : cases) {
        Script s;
        std::string why;
        EXPECT_EQ(ParseScript(c.text, "/nonexistent-dir", &s, &why), 6) << c.text;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.text << " gave: " << why;
    }
}

}  // namespace
}  // namespace qel::transport::fake
