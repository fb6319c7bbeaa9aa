// Server definitions read from the registry layer's hive file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "arc_profile.h"
#include "qel_cs.h"
#include "request_test_support.h"

namespace {

using reqtest::EnvSetting;
using reqtest::TempDir;

const char* kKey = "SOFTWARE\\Kvr\\Tidewell for WinNT\\@SRV@_";

// Sections with a REPLY_LIMIT_MB key, added to the hive.
const std::pair<const char*, const char*> kReplyLimits[] = {
    {"REPLY1", "1"},       {"REPLY4096", "4096"}, {"REPLYEMPTY", ""},  {"REPLY0", "0"},
    {"REPLY4097", "4097"}, {"REPLYUNIT", "64M"},  {"REPLYNEG", "-64"}, {"REPLYLONG", "00064"},
};

class ServerDefTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string hive = reqtest::ReadText(QEL_TESTDATA_DIR "/request/HKLM.ini");
        ASSERT_FALSE(hive.empty());
        hive += std::string("[") + kKey + "LONGHOST]\nHOST=" + std::string(256, 'h') + "\n";
        hive += std::string("[") + kKey + "HOST255]\nHOST=" + std::string(255, 'h') + "\n";
        for (const auto& [name, value] : kReplyLimits)
            hive += std::string("[") + kKey + name + "]\nREPLY_LIMIT_MB=" + value + "\n";
        reqtest::WriteText(dir_.Path() + "HKLM.ini", hive);
    }

    TempDir dir_;
    EnvSetting registry_{"QEL_REGISTRY_DIR", dir_.Path()};
    EnvSetting eventLog_{"QEL_EVENTLOG_FILE", dir_.Path() + "events.log"};
};

TEST_F(ServerDefTest, RemoteDefinitions) {
    constexpr uint32_t kNoData = CS_F1_NO_COMPRESS_DATA;
    constexpr uint32_t kNone = CS_F1_NO_COMPRESS;
    constexpr uint32_t kDisc = CS_F1_DISCONNECT;
    struct Case {
        const char* server;
        int rc;
        uint16_t kind;
        std::string host;
        uint16_t port;
        uint32_t flags;  // of kNoData | kNone | kDisc
    } cases[] = {
        {"ARCHIVE", 0, 2, "localhost", 0, 0},
        {"", 0, 2, "localhost", 0, 0},
        {nullptr, 0, 2, "localhost", 0, 0},
        {"REMOTE1", 0, 4, "archive.example.com", 1445, kNoData | kNone | kDisc},
        {"PLAIN", 0, 2, "PLAIN", 65535, 0},
        {"NOSUCH", 0, 2, "NOSUCH", 0, 0},
        {"PORTLONG", 0, 2, "PORTLONG", 1446, 0},
        {"HOST255", 0, 2, std::string(255, 'h'), 0, 0},
        {"KIND3", 6, 3, "", 0, 0},
        {"LOCAL1", 6, 1, "", 0, 0},
        {"PORT0", 6, 2, "", 0, 0},
        {"PORTBIG", 6, 2, "", 0, 0},
        {"PORTTEXT", 6, 2, "", 0, 0},
        {"PORTNEG", 6, 2, "", 0, 0},
        {"LONGHOST", 6, 2, "", 0, 0},
    };
    for (const auto& c : cases) {
        const char* name = c.server ? c.server : "(null)";
        CsServerDef def;
        def.request.running = 1;
        ASSERT_EQ(CsParseServerDef(c.server, 0, &def), c.rc) << name;
        EXPECT_EQ(def.kind, c.kind) << name;
        EXPECT_EQ(def.flags1 & CS_F1_LEVEL_BITS, CS_F1_LEVEL_BITS) << name;
        EXPECT_EQ(def.flags2 & CS_F2_LEVEL_BITS, CS_F2_LEVEL_BITS) << name;
        if (c.rc != 0) continue;
        EXPECT_EQ(def.host, c.host) << name;
        EXPECT_EQ(def.port, c.port) << name;
        EXPECT_EQ(def.flags1 & (kNoData | kNone | kDisc), c.flags) << name;
        EXPECT_EQ(def.request.running, 0u) << name;
        EXPECT_TRUE(def.profile.empty()) << name;
    }
}

// The bound of one reply's decoded records: whole MiB from 1 to 4096; missing or empty
// leaves the codec's default (0); anything else refuses the definition.
TEST_F(ServerDefTest, ReplyLimitInMebibytes) {
    constexpr uint64_t kMiB = 1024 * 1024;
    struct Case {
        const char* server;
        int rc;
        uint64_t bytes;
    } cases[] = {
        {"ARCHIVE", CS_OK, 0},       {"REPLY1", CS_OK, kMiB},    {"REPLY4096", CS_OK, 4096 * kMiB},
        {"REPLYEMPTY", CS_OK, 0},    {"REPLY0", CS_FAILED, 0},   {"REPLY4097", CS_FAILED, 0},
        {"REPLYUNIT", CS_FAILED, 0}, {"REPLYNEG", CS_FAILED, 0}, {"REPLYLONG", CS_OK, 64 * kMiB},
    };
    for (const auto& c : cases) {
        CsServerDef def;
        def.replyLimit = 12345;
        EXPECT_EQ(CsParseServerDef(c.server, 0, &def), c.rc) << c.server;
        if (c.rc == CS_OK) {
            EXPECT_EQ(def.replyLimit, c.bytes) << c.server;
        }
    }
}

TEST_F(ServerDefTest, RemoteKeepsThePortItHad) {
    CsServerDef def;
    def.kind = CS_KIND_TCP;
    def.port = 999;
    ASSERT_EQ(CsReadServerDef("REMOTE1", 0, &def), 0);
    EXPECT_EQ(def.port, 999);
    EXPECT_EQ(def.kind, CS_KIND_SNA);

    // A definition of another kind had no port to keep.
    CsServerDef local;
    local.kind = CS_KIND_LOCAL;
    local.port = 999;
    ASSERT_EQ(CsReadServerDef("REMOTE1", 0, &local), 0);
    EXPECT_EQ(local.port, 1445);
}

TEST_F(ServerDefTest, LocalDefinitions) {
    struct Case {
        const char* server;
        int rc;
        uint16_t transport;
        uint16_t instancePort;
        std::string instance;
        uint32_t flags1;  // of the four local flags
        uint32_t flags2;
        std::string directory;
    } cases[] = {
        {"LOCAL1", 0, 2, 1450, "ONDEMAND", CS_F1_SECURITY_EXIT | CS_F1_COM_DEBUG, CS_F2_UNIFIED_TXMON,
         "/srv/archive,/srv/other"},
        {"LOCAL2", 0, 2, 0, "LOCAL2", CS_F1_SRVR_DISCONNECT, 0, "/srv/local2"},
        {"LOCALSNA", 0, 4, 0, "", CS_F1_SRVR_DISCONNECT, 0, ""},
        {"NOSUCH", 0, 2, 0, "NOSUCH", CS_F1_SRVR_DISCONNECT, 0, ""},
        {"KIND3", 6, 0, 0, "", 0, 0, ""},
        {"PORTBIG", 6, 2, 0, "", 0, 0, ""},
    };
    constexpr uint32_t kLocalFlags = CS_F1_SRVR_DISCONNECT | CS_F1_SECURITY_EXIT | CS_F1_COM_DEBUG;
    for (const auto& c : cases) {
        CsServerDef def;
        ASSERT_EQ(CsParseServerDef(c.server, 1, &def), c.rc) << c.server;
        EXPECT_EQ(def.kind, CS_KIND_LOCAL) << c.server;
        if (c.rc != 0) continue;
        EXPECT_EQ(def.transportKind, c.transport) << c.server;
        EXPECT_EQ(def.instancePort, c.instancePort) << c.server;
        EXPECT_EQ(def.instance, c.instance) << c.server;
        EXPECT_EQ(def.flags1 & kLocalFlags, c.flags1) << c.server;
        EXPECT_EQ(def.flags2 & CS_F2_UNIFIED_TXMON, c.flags2) << c.server;
        // The profile block stays with the definition for the local file server.
        char directory[256];
        ArcPROF_GetFromImage((std::string("@SRV@_") + c.server).c_str(), "DIRECTORY", "", directory,
                             sizeof directory, def.profile.c_str());
        EXPECT_EQ(std::string(directory), c.directory) << c.server;
    }
}

TEST_F(ServerDefTest, LocalImageCarriesTheConfigurationSubKeys) {
    CsServerDef def;
    ASSERT_EQ(CsParseServerDef("QKSERVER", 1, &def), 0);
    char value[64];
    ArcPROF_GetFromImage("SRVR_DB_CFG", "DB_ENGINE", "", value, sizeof value, def.profile.c_str());
    EXPECT_STREQ(value, "lmdb");
    ArcPROF_GetFromImage("SRVR_SM_CFG", "SM_CACHE", "", value, sizeof value, def.profile.c_str());
    EXPECT_STREQ(value, "/srv/cache");
    EXPECT_EQ(ArcOS_GetEnv("QEL_REQUEST_TEST_QK").value_or(""), "from-registry");
}

TEST_F(ServerDefTest, UnreadableConfiguration) {
    std::filesystem::remove(dir_.Path() + "HKLM.ini");
    std::filesystem::create_directory(dir_.Path() + "HKLM.ini");

    // A remote definition falls back to the defaults.
    CsServerDef remote;
    ASSERT_EQ(CsParseServerDef("ARCHIVE", 0, &remote), 0);
    EXPECT_STREQ(remote.host, "localhost");

    // The local server cannot do without it: message 126 and 6.
    CsServerDef local;
    testing::internal::CaptureStderr();
    EXPECT_EQ(CsParseServerDef("LOCAL1", 1, &local), 6);
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("Unable to initialize server environment.  rc=736"), std::string::npos) << errors;
    std::string events = reqtest::ReadText(dir_.Path() + "events.log");
    EXPECT_NE(events.find("Tidewell for WinNT|1|"), std::string::npos) << events;
    EXPECT_NE(events.find("rc=736"), std::string::npos) << events;
}

TEST_F(ServerDefTest, Resolver) {
    CsServerDef def;
    const char* current = "REMOTE1";
    EXPECT_EQ(CsResolveServerDef(current, "REMOTE1", &def), current);
    EXPECT_EQ(CsResolveServerDef(current, "remote1", &def), current) << "names compare ignoring case";
    EXPECT_EQ(def.kind, 0);  // untouched

    // Another server: its definition is read (the registry finds the key ignoring case).
    EXPECT_EQ(CsResolveServerDef("OTHER", "remote1", &def), nullptr);
    EXPECT_EQ(def.kind, CS_KIND_SNA);
    EXPECT_STREQ(def.host, "archive.example.com");

    CsServerDef other;
    EXPECT_EQ(CsResolveServerDef(nullptr, "REMOTE1", &other), nullptr);
    EXPECT_STREQ(other.host, "archive.example.com");
}

}  // namespace
