// The server definition text as the transport reads it.
#include <gtest/gtest.h>

#include <string>

#include "server_def.h"

namespace qel::transport {
namespace {

struct GoodCase {
    const char* name;
    std::string text;
    std::string host;
    uint16_t port;
    int kind;
    int connectSeconds;
    int idleSeconds;
};

TEST(ServerDefinition, ReadsWhatTheTransportNeeds) {
    const GoodCase cases[] = {
        {"plain", "HOST=archive.example\nPORT=1445\n", "archive.example", 1445, 2, 30, 300},
        {"no final line feed", "HOST=h\nPORT=1", "h", 1, 2, 30, 300},
        {"keys ignore case, blanks trimmed", "  host =  h1 \r\n\tPort\t=\t65535\r\n", "h1", 65535, 2, 30,
         300},
        {"quotes removed once", "HOST=\"h2\"\nPORT='7'\n", "h2", 7, 2, 30, 300},
        {"first key wins", "HOST=a\nHOST=b\nPORT=5\nPORT=6\n", "a", 5, 2, 30, 300},
        {"comments and a section header", "[@SRV@_ARCHIVE]\n;HOST=x\n# PORT=9\nHOST=h\nPORT=2\n", "h", 2, 2,
         30, 300},
        {"a second section ends the definition", "[a]\nHOST=h\nPORT=3\n[b]\nIDLE_TIMEOUT=5\n", "h", 3, 2, 30,
         300},
        {"other keys of the section are ignored",
         "PROTOCOL=2\nCOMPRESS=0\nHOST=h\nDISCONNECT=1\nPORT=4\nnot a key line\n", "h", 4, 2, 30, 300},
        {"kind letter T", "HOST=h\nPORT=1\nPROTOCOL=T\n", "h", 1, 2, 30, 300},
        {"kind letter S", "HOST=h\nPORT=1\nPROTOCOL=s\n", "h", 1, 4, 30, 300},
        {"kind 4", "HOST=h\nPORT=1\nPROTOCOL=4\n", "h", 1, 4, 30, 300},
        {"kind 0 reads as 2", "HOST=h\nPORT=1\nPROTOCOL=0\n", "h", 1, 2, 30, 300},
        {"time-outs", "HOST=h\nPORT=1\nCONNECT_TIMEOUT=2\nIDLE_TIMEOUT=86400\n", "h", 1, 2, 2, 86400},
        {"zero or empty time-out is the default", "HOST=h\nPORT=1\nCONNECT_TIMEOUT=0\nIDLE_TIMEOUT=\n", "h",
         1, 2, 30, 300},
        {"bracketed IPv6 literal", "HOST=[::1]\nPORT=80\n", "::1", 80, 2, 30, 300},
        {"host of 255 bytes", "HOST=" + std::string(255, 'a') + "\nPORT=1\n", std::string(255, 'a'), 1, 2, 30,
         300},
    };
    for (const auto& c : cases) {
        ServerDefinition def;
        std::string why;
        ASSERT_EQ(ParseServerDefinition(c.text, &def, &why), 0) << c.name << ": " << why;
        EXPECT_EQ(def.host, c.host) << c.name;
        EXPECT_EQ(def.port, c.port) << c.name;
        EXPECT_EQ(def.kind, c.kind) << c.name;
        EXPECT_EQ(def.connectTimeoutSeconds, c.connectSeconds) << c.name;
        EXPECT_EQ(def.idleTimeoutSeconds, c.idleSeconds) << c.name;
    }
}

struct BadCase {
    const char* name;
    std::string text;
    const char* reason;  // a word the reason must hold
};

TEST(ServerDefinition, RefusesWhatCannotBeConnected) {
    const BadCase cases[] = {
        {"empty text", "", "HOST"},
        {"no host", "PORT=1\n", "HOST"},
        {"empty host", "HOST=\nPORT=1\n", "HOST"},
        {"host of 256 bytes", "HOST=" + std::string(256, 'a') + "\nPORT=1\n", "255"},
        {"blank inside the host", "HOST=a b\nPORT=1\n", "HOST"},
        {"control byte in the host", "HOST=a\x01\nPORT=1\n", "HOST"},
        {"no port", "HOST=h\n", "PORT"},
        {"port 0", "HOST=h\nPORT=0\n", "PORT"},
        {"port above 65535", "HOST=h\nPORT=65536\n", "PORT"},
        {"negative port", "HOST=h\nPORT=-1\n", "PORT"},
        {"port with letters", "HOST=h\nPORT=80x\n", "PORT"},
        {"huge port", "HOST=h\nPORT=99999999999999999999999\n", "PORT"},
        {"local kind", "HOST=h\nPORT=1\nPROTOCOL=1\n", "PROTOCOL"},
        {"unknown kind", "HOST=h\nPORT=1\nPROTOCOL=X\n", "PROTOCOL"},
        {"time-out with letters", "HOST=h\nPORT=1\nIDLE_TIMEOUT=5s\n", "IDLE_TIMEOUT"},
        {"negative time-out", "HOST=h\nPORT=1\nCONNECT_TIMEOUT=-1\n", "CONNECT_TIMEOUT"},
        {"time-out above a day", "HOST=h\nPORT=1\nCONNECT_TIMEOUT=86401\n", "CONNECT_TIMEOUT"},
        {"keys after a second section", "[a]\nX=1\n[b]\nHOST=h\nPORT=1\n", "HOST"},
    };
    for (const auto& c : cases) {
        ServerDefinition def;
        def.host = "untouched";
        std::string why;
        EXPECT_EQ(ParseServerDefinition(c.text, &def, &why), 2) << c.name;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.name << ": " << why;
        EXPECT_EQ(def.host, "untouched") << c.name;
    }
}

}  // namespace
}  // namespace qel::transport
