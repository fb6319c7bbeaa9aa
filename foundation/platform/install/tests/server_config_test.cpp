// A server's configuration read from the registry into a profile image.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "arc_install.h"
#include "arc_platform.h"
#include "arc_profile.h"

namespace {

namespace fs = std::filesystem;

struct Freer {
    void operator()(char* p) const { std::free(p); }
};
using Image = std::unique_ptr<char, Freer>;

std::string ServerKey(const std::string& server) {
    return std::string(QELINST_SERVER_KEY) + "\\@SRV@_" + server;
}

std::string Lookup(const Image& image, const char* section, const char* key) {
    char buffer[256];
    const size_t n = ArcPROF_GetFromImage(section, key, "<none>", buffer, sizeof buffer, image.get());
    return std::string(buffer, n);
}

class ServerConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = ArcOS_GetEnv("QEL_REGISTRY_DIR");
        dir_ = (fs::path(::testing::TempDir()) / ("qel_srvcfg_" + std::to_string(ArcOS_GetProcessId())))
                   .string();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ASSERT_EQ(ArcOS_PutEnv(("QEL_REGISTRY_DIR=" + dir_).c_str()), 0);
    }
    void TearDown() override {
        ArcOS_PutEnv(("QEL_REGISTRY_DIR=" + previous_.value_or("")).c_str());
        fs::remove_all(dir_);
    }
    static void Set(const std::string& key, const char* name, const char* value) {
        ASSERT_EQ(ArcReg_SetString(ARCREG_HKLM, key.c_str(), name, value), ARCREG_OK);
    }
    static int Load(const char* server, Image* image) {
        char* raw = reinterpret_cast<char*>(1);
        const int rc = QelInst_LoadServerConfig(server, &raw);
        image->reset(raw);
        return rc;
    }
    // A server with its three configuration sub-keys.
    static void FullServer(const std::string& server, const char* qkValue) {
        const std::string key = ServerKey(server);
        Set(key, "HOST", "archive.example");
        Set(key, "SRVR_QK_CFG", "1");
        Set(key + "\\SRVR_QK_CFG", "QEL_TEST_QK_VALUE", qkValue);
        Set(key + "\\SRVR_DB_CFG", "DB_NAME", "archdb");
        Set(key + "\\SRVR_SM_CFG", "QEL_SM_SINGLE_LOGIN", "1");
    }

    std::optional<std::string> previous_;
    std::string dir_;
};

TEST(ServerSection, NamesTheSection) {
    struct Case {
        const char* server;
        size_t size;
        const char* expected;
        size_t length;
    } cases[] = {
        {"PROD", 64, "@SRV@_PROD", 10}, {"", 64, "@SRV@_ARCHIVE", 13}, {nullptr, 64, "@SRV@_ARCHIVE", 13},
        {"PROD", 11, "@SRV@_PROD", 10}, {"PROD", 10, "", 0},
    };
    for (const Case& c : cases) {
        char buffer[64] = "#";
        EXPECT_EQ(QelInst_ServerSection(c.server, buffer, c.size), c.length) << c.expected;
        EXPECT_STREQ(buffer, c.expected);
    }
}

TEST_F(ServerConfigTest, ServerWithoutSubKeysGivesOneSection) {
    Set(ServerKey("PROD"), "HOST", "prod.example");
    Set(ServerKey("PROD"), "PORT", "1445");
    Set(ServerKey("PROD"), "EMPTY", "");
    Image image;
    ASSERT_EQ(Load("PROD", &image), QELINST_OK);
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(image.get(), "[@SRV@_PROD]\nHOST=prod.example\nPORT=1445\n\n");
    EXPECT_EQ(Lookup(image, "@SRV@_prod", "port"), "1445");
}

TEST_F(ServerConfigTest, EmptyServerNameReadsArchive) {
    Set(ServerKey("ARCHIVE"), "HOST", "default.example");
    for (const char* server : {"", static_cast<const char*>(nullptr)}) {
        Image image;
        ASSERT_EQ(Load(server, &image), QELINST_OK);
        EXPECT_EQ(Lookup(image, "@SRV@_ARCHIVE", "HOST"), "default.example");
    }
}

TEST_F(ServerConfigTest, UnknownServerIsNoError) {
    Image image;
    EXPECT_EQ(Load("NOWHERE", &image), QELINST_OK);
    EXPECT_EQ(image, nullptr);
    // A server name the hive cannot hold as a key names no key either.
    EXPECT_EQ(Load("a]b", &image), QELINST_OK);
    EXPECT_EQ(image, nullptr);
}

TEST_F(ServerConfigTest, SubKeysBecomeSectionsAndQkValuesTheEnvironment) {
    FullServer("FULL", "first");
    Image image;
    ASSERT_EQ(Load("FULL", &image), QELINST_OK);
    EXPECT_EQ(Lookup(image, "@SRV@_FULL", "HOST"), "archive.example");
    EXPECT_EQ(Lookup(image, "SRVR_QK_CFG", "QEL_TEST_QK_VALUE"), "first");
    EXPECT_EQ(Lookup(image, "SRVR_DB_CFG", "DB_NAME"), "archdb");
    EXPECT_EQ(Lookup(image, "SRVR_SM_CFG", "QEL_SM_SINGLE_LOGIN"), "1");
    EXPECT_EQ(ArcOS_GetEnv("QEL_TEST_QK_VALUE").value_or("<unset>"), "first");

    // Exported once per process: a later read keeps the environment as it was.
    Set(ServerKey("FULL") + "\\SRVR_QK_CFG", "QEL_TEST_QK_VALUE", "second");
    ASSERT_EQ(Load("FULL", &image), QELINST_OK);
    EXPECT_EQ(Lookup(image, "SRVR_QK_CFG", "QEL_TEST_QK_VALUE"), "second");
    EXPECT_EQ(ArcOS_GetEnv("QEL_TEST_QK_VALUE").value_or("<unset>"), "first");
}

TEST_F(ServerConfigTest, EmptyQkSwitchSkipsSubKeys) {
    Set(ServerKey("OFF"), "HOST", "h");
    Set(ServerKey("OFF"), "SRVR_QK_CFG", "");
    Image image;
    ASSERT_EQ(Load("OFF", &image), QELINST_OK);
    EXPECT_EQ(Lookup(image, "SRVR_DB_CFG", nullptr), "0");
}

// The run settings and printers of a local server, with or without the other sub-keys;
// absent, they are no error.
TEST_F(ServerConfigTest, SettingsAndPrintersBecomeSections) {
    Set(ServerKey("PRT"), "HOST", "h");
    Set(ServerKey("PRT") + "\\CFG", "QEL_SERVER_PRINT_SCRIPT", "/srv/archive/programs/qelprt");
    Set(ServerKey("PRT") + "\\PRINTERS", "LPT1", "P,Spool printer");
    FullServer("BOTH", "x");
    Set(ServerKey("BOTH") + "\\PRINTERS", "FAX1", "F");
    Image image;
    ASSERT_EQ(Load("PRT", &image), QELINST_OK);
    EXPECT_EQ(Lookup(image, "CFG", "QEL_SERVER_PRINT_SCRIPT"), "/srv/archive/programs/qelprt");
    EXPECT_EQ(Lookup(image, "PRINTERS", "LPT1"), "P,Spool printer");
    ASSERT_EQ(Load("BOTH", &image), QELINST_OK);
    EXPECT_EQ(Lookup(image, "PRINTERS", "FAX1"), "F");
    EXPECT_EQ(Lookup(image, "SRVR_DB_CFG", "DB_NAME"), "archdb");
    EXPECT_EQ(Lookup(image, "CFG", nullptr), "0");
}

TEST_F(ServerConfigTest, MissingSubKeyGives678AndNoImage) {
    for (const char* missing : {"SRVR_QK_CFG", "SRVR_DB_CFG", "SRVR_SM_CFG"}) {
        FullServer("PART", "v");
        ASSERT_EQ(ArcReg_DeleteKey(ARCREG_HKLM, (ServerKey("PART") + "\\" + missing).c_str()), ARCREG_OK);
        Image image;
        EXPECT_EQ(Load("PART", &image), QELINST_NO_SUBKEY) << missing;
        EXPECT_EQ(image, nullptr) << missing;
    }
}

TEST_F(ServerConfigTest, ReadRegistryKeyResults) {
    Set("Some\\Key", "A", "1");
    struct Case {
        const char* what;
        int kind;
        const char* section;
        const char* keyPath;
        int rc;
    } cases[] = {
        {"server key present", QELINST_KIND_SERVER, "S", "Some\\Key", QELINST_OK},
        {"server key missing", QELINST_KIND_SERVER, "S", "No\\Key", QELINST_OK},
        {"db key missing", QELINST_KIND_DB, "S", "No\\Key", QELINST_NO_SUBKEY},
        {"sm key missing", QELINST_KIND_SM, "S", "No\\Key", QELINST_NO_SUBKEY},
        {"section the image refuses", QELINST_KIND_DB, "S]x", "Some\\Key", QELINST_IMAGE_FAILED},
    };
    for (const Case& c : cases) {
        char* image = nullptr;
        EXPECT_EQ(QelInst_ReadRegistryKey(c.kind, c.section, c.keyPath, &image), c.rc) << c.what;
        std::free(image);
    }
}

TEST_F(ServerConfigTest, UnreadableRegistryGives736) {
    fs::create_directories(dir_ + "/HKLM.ini");
    Image image;
    EXPECT_EQ(Load("PROD", &image), QELINST_ENUM_FAILED);
    EXPECT_EQ(image, nullptr);
}

}  // namespace
