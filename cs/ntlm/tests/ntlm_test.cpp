// The NTLM handshake: GSSAPI with gss-ntlmssp and user files, the fake's tokens, and the
// rules every backend shares (order of steps, the token limit, failures leave nothing).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arc_platform.h"
#include "qel_ntlm.h"
#include "qel_ntlm_fake.h"

namespace {

const std::string kData = QEL_TESTDATA_DIR "/ntlm/";

void SetEnv(const std::string& name, const std::string& value) {
    ASSERT_EQ(ArcOS_PutEnv((name + "=" + value).c_str()), 0);
}

struct Context {
    QelNtlmContext* p = nullptr;
    Context() { EXPECT_EQ(QelNtlm_Create(&p), 0); }
    ~Context() { QelNtlm_Free(p); }
};

struct Token {
    const void* data = nullptr;
    size_t size = 0;
    int done = -1;
    std::string text() const { return data ? std::string(static_cast<const char*>(data), size) : ""; }
};

int ClientStep(Context& c, const Token& peer, Token* out) {
    return QelNtlm_ClientStep(c.p, peer.data, peer.size, &out->data, &out->size, &out->done);
}
int ServerStep(Context& c, const Token& peer, Token* out) {
    return QelNtlm_ServerStep(c.p, peer.data, peer.size, &out->data, &out->size, &out->done);
}

class NtlmTest : public ::testing::Test {
protected:
    void TearDown() override {
        QelNtlmFake_Remove();
        QelNtlmFake_SetIdentity(nullptr, nullptr);
        for (const char* name : {"QEL_NTLM_BACKEND", "QEL_GSSAPI_LIBRARY", "QEL_NTLM_FAKE_USER",
                                 "QEL_NTLM_FAKE_SECRET", "NTLM_USER_FILE"}) {
            SetEnv(name, "");
        }
    }
};

TEST_F(NtlmTest, GssapiHandshakeChecksTheUserFile) {
    if (!QelNtlm_Available()) GTEST_SKIP() << "libgssapi_krb5 with gss-ntlmssp is not installed";
    struct Case {
        const char* name;
        const char* clientFile;  // the client's credentials
        bool accepted;
    };
    const Case cases[] = {
        {"right password", "client-alice.txt", true},
        {"wrong password", "client-alice-wrong-password.txt", false},
        {"unknown user", "client-bob.txt", false},
    };
    const std::string serverFile = kData + "server-users.txt";
    for (const auto& c : cases) {
        Context client, server;
        Token negotiate, challenge, authenticate, last;
        // One process plays both sides: each side reads its own file.
        SetEnv("NTLM_USER_FILE", kData + c.clientFile);
        ASSERT_EQ(ClientStep(client, {}, &negotiate), 0) << c.name;
        EXPECT_EQ(negotiate.done, 0) << c.name;
        ASSERT_GT(negotiate.size, 8u) << c.name;
        EXPECT_EQ(negotiate.text().substr(0, 8), std::string("NTLMSSP\0", 8)) << c.name;

        SetEnv("NTLM_USER_FILE", serverFile);
        ASSERT_EQ(ServerStep(server, negotiate, &challenge), 0) << c.name;
        EXPECT_EQ(challenge.done, 0) << c.name;
        ASSERT_GT(challenge.size, 0u) << c.name;
        EXPECT_EQ(QelNtlm_PeerName(server.p), nullptr) << c.name;

        SetEnv("NTLM_USER_FILE", kData + c.clientFile);
        ASSERT_EQ(ClientStep(client, challenge, &authenticate), 0) << c.name;
        EXPECT_EQ(authenticate.done, 1) << c.name;
        ASSERT_GT(authenticate.size, 0u) << c.name;

        SetEnv("NTLM_USER_FILE", serverFile);
        int rc = ServerStep(server, authenticate, &last);
        if (c.accepted) {
            EXPECT_EQ(rc, 0) << c.name;
            EXPECT_EQ(last.done, 1) << c.name;
            EXPECT_EQ(last.size, 0u) << c.name;
            ASSERT_NE(QelNtlm_PeerName(server.p), nullptr) << c.name;
            EXPECT_STREQ(QelNtlm_PeerName(server.p), "TESTDOM\\alice") << c.name;
        } else {
            EXPECT_EQ(rc, 1) << c.name;
            EXPECT_EQ(last.data, nullptr) << c.name;
            EXPECT_EQ(last.done, 0) << c.name;
            EXPECT_EQ(QelNtlm_PeerName(server.p), nullptr) << c.name;
        }
    }
}

TEST_F(NtlmTest, GssapiRefusesDamagedTokens) {
    if (!QelNtlm_Available()) GTEST_SKIP() << "libgssapi_krb5 with gss-ntlmssp is not installed";
    SetEnv("NTLM_USER_FILE", kData + "server-users.txt");
    Context server;
    std::string garbage(200, '\x5a');
    Token out;
    EXPECT_EQ(ServerStep(server, {garbage.data(), garbage.size()}, &out), 1);
    EXPECT_EQ(out.data, nullptr);
    std::string negotiate("NTLMSSP\0\x01\0\0\0", 12);  // truncated
    Context again;
    EXPECT_EQ(ServerStep(again, {negotiate.data(), negotiate.size()}, &out), 1);
}

// Neither a backend nor a library comes from the environment: the shipped library
// knows GSSAPI from the system's library directories alone.
TEST_F(NtlmTest, TheEnvironmentChoosesNoBackend) {
    SetEnv("QEL_NTLM_FAKE_USER", "u");
    SetEnv("NTLM_USER_FILE", kData + "client-alice.txt");
    const bool gssapi = QelNtlm_Available();
    struct Case {
        const char* name;
        const char* variable;
        const char* value;
    };
    const Case cases[] = {
        {"fake by name", "QEL_NTLM_BACKEND", "fake"},
        {"library at a missing path", "QEL_GSSAPI_LIBRARY", "/nonexistent/libgssapi_krb5.so.2"},
    };
    for (const auto& c : cases) {
        SetEnv(c.variable, c.value);
        EXPECT_EQ(QelNtlm_Available(), gssapi) << c.name;
        QelNtlmContext* context = reinterpret_cast<QelNtlmContext*>(1);
        int rc = QelNtlm_Create(&context);
        if (!gssapi) {
            EXPECT_EQ(rc, 1) << c.name;
            EXPECT_EQ(context, nullptr) << c.name;
        } else {
            ASSERT_EQ(rc, 0) << c.name;
            const void* token = nullptr;
            size_t size = 0;
            int done = 0;
            ASSERT_EQ(QelNtlm_ClientStep(context, nullptr, 0, &token, &size, &done), 0) << c.name;
            std::string text(static_cast<const char*>(token), size);
            EXPECT_FALSE(text.starts_with("QELNTLM1 ")) << c.name << ": a fake token";
            QelNtlm_Free(context);
        }
        SetEnv(c.variable, "");
    }
    EXPECT_EQ(QelNtlm_Create(nullptr), 1);
}

TEST_F(NtlmTest, FakeTokensAreTheDocumentedOnes) {
    QelNtlmFake_Install();
    QelNtlmFake_SetIdentity("TESTDOM\\alice", nullptr);
    ASSERT_TRUE(QelNtlm_Available());
    Context client, server;
    Token negotiate, challenge, authenticate, last;
    ASSERT_EQ(ClientStep(client, {}, &negotiate), 0);
    EXPECT_EQ(negotiate.text(), "QELNTLM1 NEGOTIATE TESTDOM\\alice");
    EXPECT_EQ(negotiate.done, 0);
    ASSERT_EQ(ServerStep(server, negotiate, &challenge), 0);
    EXPECT_EQ(challenge.text(), "QELNTLM1 CHALLENGE c143ff6296b2d567");
    EXPECT_EQ(challenge.done, 0);
    ASSERT_EQ(ClientStep(client, challenge, &authenticate), 0);
    EXPECT_EQ(authenticate.text(), "QELNTLM1 AUTHENTICATE TESTDOM\\alice 1af9e6644af35863");
    EXPECT_EQ(authenticate.done, 1);
    ASSERT_EQ(ServerStep(server, authenticate, &last), 0);
    EXPECT_EQ(last.done, 1);
    EXPECT_EQ(last.size, 0u);
    EXPECT_STREQ(QelNtlm_PeerName(server.p), "TESTDOM\\alice");
    EXPECT_EQ(QelNtlm_PeerName(client.p), nullptr) << "only a server learns who the peer is";

    // A complete context takes no further step.
    Token more;
    EXPECT_EQ(ServerStep(server, authenticate, &more), 1);
    EXPECT_EQ(ClientStep(client, challenge, &more), 1);
}

TEST_F(NtlmTest, FakeServerRefusesWrongAnswers) {
    QelNtlmFake_Install();
    QelNtlmFake_SetIdentity("TESTDOM\\alice", nullptr);
    struct Case {
        const char* name;
        std::string authenticate;  // empty: run the client with secret "other"
    };
    const Case cases[] = {
        {"another secret", ""},
        {"another user", "QELNTLM1 AUTHENTICATE TESTDOM\\bob 1af9e6644af35863"},
        {"response changed", "QELNTLM1 AUTHENTICATE TESTDOM\\alice 1af9e6644af35864"},
        {"response cut", "QELNTLM1 AUTHENTICATE TESTDOM\\alice 1af9e6644af3586"},
        {"negotiate again", "QELNTLM1 NEGOTIATE TESTDOM\\alice"},
    };
    for (const auto& c : cases) {
        Context client, server;
        Token negotiate, challenge, authenticate, last;
        ASSERT_EQ(ClientStep(client, {}, &negotiate), 0) << c.name;
        ASSERT_EQ(ServerStep(server, negotiate, &challenge), 0) << c.name;
        std::string answer = c.authenticate;
        if (answer.empty()) {
            QelNtlmFake_SetIdentity("TESTDOM\\alice", "other");
            ASSERT_EQ(ClientStep(client, challenge, &authenticate), 0) << c.name;
            answer = authenticate.text();
            QelNtlmFake_SetIdentity("TESTDOM\\alice", nullptr);
        }
        EXPECT_EQ(ServerStep(server, {answer.data(), answer.size()}, &last), 1) << c.name;
        EXPECT_EQ(last.data, nullptr) << c.name;
        EXPECT_EQ(QelNtlm_PeerName(server.p), nullptr) << c.name;
        EXPECT_EQ(ServerStep(server, {answer.data(), answer.size()}, &last), 1)
            << c.name << ": a failed handshake stays failed";
    }
}

TEST_F(NtlmTest, StepsAreCheckedBeforeAnyBackendSeesThem) {
    QelNtlmFake_Install();
    QelNtlmFake_SetIdentity("u", nullptr);
    const std::string prefix = "QELNTLM1 NEGOTIATE ";
    const std::string atLimit = prefix + std::string(QEL_NTLM_MAX_TOKEN - prefix.size(), 'a');
    const std::string overLimit = atLimit + "a";
    struct Case {
        const char* name;
        bool server;
        std::string peer;
        bool nullPeerPointer;
        int expected;
    };
    const Case cases[] = {
        {"first client step with a token", false, "QELNTLM1 CHALLENGE 0123456789abcdef", false, 1},
        {"first server step without a token", true, "", false, 1},
        {"length without bytes", true, "x", true, 1},
        {"token of 64 KiB", true, atLimit, false, 0},
        {"token above 64 KiB", true, overLimit, false, 1},
    };
    for (const auto& c : cases) {
        Context context;
        Token out;
        const void* peer = c.nullPeerPointer ? nullptr : c.peer.data();
        int rc = c.server
                     ? QelNtlm_ServerStep(context.p, peer, c.peer.size(), &out.data, &out.size, &out.done)
                     : QelNtlm_ClientStep(context.p, peer, c.peer.size(), &out.data, &out.size, &out.done);
        EXPECT_EQ(rc, c.expected) << c.name;
        if (rc != 0) {
            EXPECT_EQ(out.data, nullptr) << c.name;
            EXPECT_EQ(out.size, 0u) << c.name;
            EXPECT_EQ(out.done, 0) << c.name;
        }
    }

    Context mixed;
    Token out;
    ASSERT_EQ(ClientStep(mixed, {}, &out), 0);
    std::string challenge = "QELNTLM1 CHALLENGE 0123456789abcdef";
    EXPECT_EQ(ServerStep(mixed, {challenge.data(), challenge.size()}, &out), 1)
        << "a client context cannot turn server";
    const void* token;
    size_t size;
    int done;
    EXPECT_EQ(QelNtlm_ClientStep(nullptr, nullptr, 0, &token, &size, &done), 1);
    EXPECT_EQ(QelNtlm_ClientStep(mixed.p, nullptr, 0, nullptr, &size, &done), 1);
    QelNtlm_Free(nullptr);
}

TEST_F(NtlmTest, TheTestSeamSwitchesBetweenFakeAndGssapi) {
    QelNtlmFake_SetIdentity("u", nullptr);
    SetEnv("NTLM_USER_FILE", kData + "client-alice.txt");
    struct Case {
        const char* name;
        bool installed;
    };
    const Case cases[] = {{"fake installed", true}, {"fake removed", false}, {"fake again", true}};
    for (const auto& c : cases) {
        if (c.installed)
            QelNtlmFake_Install();
        else
            QelNtlmFake_Remove();
        if (!c.installed && !QelNtlm_Available()) continue;  // no GSSAPI here
        Context context;
        Token out;
        ASSERT_EQ(ClientStep(context, {}, &out), 0) << c.name;
        EXPECT_EQ(out.text().starts_with("QELNTLM1 "), c.installed) << c.name;
    }
}

}  // namespace
