// The cache store and the node store: roots, object paths, pieces, writes and volume checks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"
#include "qel_local.h"
#include "qel_sm.h"
#include "sm_test_support.h"

namespace {

using smtest::MessageLog;
using smtest::ReadFile;
using smtest::TempDir;
using smtest::WriteFile;

class CacheLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ArcOS_PutEnv(("QEL_EVENTLOG_FILE=" + dir_ / "events.log").c_str());
        // qel.ini is read from <install>/etc/; the install is the parent of bin/.
        std::filesystem::create_directories(dir_ / "install/bin");
        std::filesystem::create_directories(dir_ / "install/etc");
        QelInst_SetModuleDirForTest((dir_ / "install/bin/").c_str());
    }
    void TearDown() override {
        QelInst_SetModuleDirForTest(nullptr);
        QelCacheFs_SetConnectionVolume(&handle_, nullptr);
        QelCacheFs_SetVolumeCallback(&handle_, nullptr);
    }

    void Configure(const std::string& keyLines) {
        smtest::MakeHandle(&handle_, "LOCALTEST", keyLines, &log_);
    }
    void QelIni(const std::string& text) { WriteFile(dir_ / "install/etc/qel.ini", text); }

    std::string OpenRoot() {
        QelCacheStore* store = nullptr;
        EXPECT_EQ(QelCacheFs_OpenCache(&handle_, &store), QELCFS_OK);
        std::string root = store != nullptr ? store->root : "";
        QelCacheFs_FreeHandle(&handle_, &store);
        EXPECT_EQ(store, nullptr);
        return root;
    }

    TempDir dir_;
    CsHandle handle_{};
    MessageLog log_;
};

TEST_F(CacheLayerTest, CacheRootComesFromQelIniThenItsPathsThenDirectory) {
    struct Case {
        const char* name;
        const char* qelIni;
        const char* directory;
        const char* label;
        std::string root;
    };
    const Case cases[] = {
        {"CACHE_NAME of the server", "[@SRV@_LOCALTEST]\nCACHE_NAME=/c/cache\n[PATHS]\nQEL=/q\n", "/d1,/d2",
         "", "/c/cache"},
        {"QEL path with its slash dropped", "[PATHS]\nQEL=/q/\n", "/d1", "", "/q/set"},
        {"first DIRECTORY entry", "", " /d1 , /d2", "", "/d1"},
        {"volume label appended", "", "/d1", "VOL1", "/d1/VOL1"},
        {"no second separator before the label", "", "/d1/", "VOL1", "/d1/VOL1"},
    };
    for (const Case& c : cases) {
        QelIni(c.qelIni);
        Configure(std::string("DIRECTORY=") + c.directory + "\n");
        QelCacheFs_SetConnectionVolume(&handle_, c.label);
        EXPECT_EQ(OpenRoot(), c.root) << c.name;
    }
}

TEST_F(CacheLayerTest, NoCacheConfiguredIsNoStoreRatherThanTheFileSystemRoot) {
    Configure("");
    QelCacheStore* store = nullptr;
    EXPECT_EQ(QelCacheFs_OpenCache(&handle_, &store), QELCFS_NOT_FOUND);
    EXPECT_EQ(store, nullptr);
    QelCacheHandle* cache = nullptr;
    EXPECT_EQ(QelCacheFs_NewHandle(&handle_, store, &cache), QELCFS_FAILED);
}

// A cache store rooted in the temporary directory and one handle on it.
class CacheStoreTest : public CacheLayerTest {
protected:
    void SetUp() override {
        CacheLayerTest::SetUp();
        Configure("DIRECTORY=" + dir_ / "root" + "\n");
        ASSERT_EQ(QelCacheFs_OpenCache(&handle_, &store_), QELCFS_OK);
        ASSERT_EQ(QelCacheFs_NewHandle(&handle_, store_, &cache_), QELCFS_OK);
    }
    void TearDown() override {
        QelCacheFs_FreeBuffer(&handle_, &cache_);
        QelCacheFs_FreeHandle(&handle_, &store_);
        CacheLayerTest::TearDown();
    }
    int Read(const char* name, int64_t offset, int64_t* length, int* last) {
        return QelCacheFs_ReadObject(&handle_, cache_, "AG1", name, &buffer_, offset, length, last);
    }

    QelCacheStore* store_ = nullptr;
    QelCacheHandle* cache_ = nullptr;
    std::vector<uint8_t> buffer_;
};

TEST_F(CacheStoreTest, ObjectsEndingInADigitAreResources) {
    struct Case {
        const char* name;
        const char* file;
    };
    const Case cases[] = {{"ABC1", "root/data/AG1/RES/ABC1"},
                          {"ABC", "root/data/AG1/DOC/ABC"},
                          {"1FAA", "root/data/AG1/DOC/1FAA"}};
    for (const Case& c : cases) {
        ASSERT_EQ(QelCacheFs_WriteObject(&handle_, cache_, "AG1", c.name, "data", 4), QELCFS_OK) << c.name;
        EXPECT_EQ(ReadFile(dir_ / c.file), "data") << c.name;
        int writable = 0;
        EXPECT_EQ(QelCacheFs_StatObject(&handle_, cache_, "AG1", c.name, &writable), QELCFS_OK) << c.name;
        EXPECT_EQ(writable, 1) << c.name;
    }
    EXPECT_EQ(
        std::filesystem::status(dir_ / "root/data/AG1/DOC/ABC").permissions() & std::filesystem::perms::all,
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(CacheStoreTest, NamesThatWouldLeaveTheStoreAreRefused) {
    const char* names[] = {"", "../ABC", "a/b", "..", "AB\nC", "AB\x01"};
    for (const char* name : names) {
        EXPECT_EQ(QelCacheFs_WriteObject(&handle_, cache_, "AG1", name, "x", 1), QELCFS_FAILED) << name;
        EXPECT_EQ(QelCacheFs_WriteObject(&handle_, cache_, name, "ABC", "x", 1), QELCFS_FAILED) << name;
        int writable = 0;
        EXPECT_EQ(QelCacheFs_StatObject(&handle_, cache_, "AG1", name, &writable), QELCFS_FAILED) << name;
    }
    EXPECT_EQ(QelCacheFs_WriteObject(&handle_, cache_, nullptr, "ABC", "x", 1), QELCFS_FAILED);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "ABC"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "root/data/ABC"));
}

TEST_F(CacheStoreTest, ReadsInPiecesAndMarksOnlyTheLastOne) {
    std::string content(70000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = char(i * 7);
    WriteFile(dir_ / "root/data/AG1/DOC/BIG", content);
    std::vector<int64_t> pieces;
    std::string got;
    int64_t offset = 100;
    for (int guard = 0; guard < 10; ++guard) {
        int64_t length = 70000 - offset;  // what is still wanted
        if (guard == 0) length = 0;       // the first call asks for the rest of the file
        int last = 0;
        ASSERT_EQ(Read("BIG", offset, &length, &last), QELCFS_OK);
        pieces.push_back(length);
        got.append(buffer_.begin(), buffer_.end());
        offset += length;
        if (last) break;
    }
    EXPECT_EQ(pieces, (std::vector<int64_t>{32767, 32767, 4366}));
    EXPECT_EQ(got, content.substr(100));
}

TEST_F(CacheStoreTest, ReadFailures) {
    WriteFile(dir_ / "root/data/AG1/DOC/SMALL", std::string(50, 'x'));
    struct Case {
        const char* name;
        const char* object;
        int64_t offset;
        int64_t length;
        int rc;
        const char* message;
    };
    const Case cases[] = {
        {"no such object, no message", "NONE", 0, 0, QELCFS_NOT_FOUND, nullptr},
        {"window beyond the end", "SMALL", 10, 100, QELCFS_FAILED,
         "Offset 10 and length 100 is larger than the size of the file"},
        {"offset beyond the end", "SMALL", 51, 0, QELCFS_FAILED, "is larger than the size of the file"},
        {"negative offset", "SMALL", -1, 0, QELCFS_FAILED, "Unable to seek within file"},
        {"huge length cannot overflow", "SMALL", 10, INT64_MAX, QELCFS_FAILED, "is larger than the size"},
    };
    for (const Case& c : cases) {
        log_.texts.clear();
        int64_t length = c.length;
        int last = 1;
        EXPECT_EQ(Read(c.object, c.offset, &length, &last), c.rc) << c.name;
        EXPECT_EQ(last, 0) << c.name;
        if (c.message == nullptr) {
            EXPECT_TRUE(log_.texts.empty()) << c.name;
        } else {
            EXPECT_TRUE(log_.Has(c.message)) << c.name << ": " << (log_.texts.empty() ? "" : log_.texts[0]);
        }
    }
    int64_t length = 0;
    int last = 0;
    EXPECT_EQ(Read("SMALL", 50, &length, &last), QELCFS_OK) << "an empty rest is a last piece";
    EXPECT_EQ(length, 0);
    EXPECT_EQ(last, 1);
}

TEST_F(CacheStoreTest, FailedWriteKeepsThePreviousCopy) {
    ASSERT_EQ(QelCacheFs_WriteObject(&handle_, cache_, "AG1", "DOC1X", "old", 3), QELCFS_OK);
    ArcOS_SetFaultHook([](const char* step) { return std::string(step) == "write" ? 28 : 0; });
    EXPECT_EQ(QelCacheFs_WriteObject(&handle_, cache_, "AG1", "DOC1X", "new!", 4), QELCFS_FAILED);
    ArcOS_SetFaultHook({});
    EXPECT_EQ(ReadFile(dir_ / "root/data/AG1/DOC/DOC1X"), "old");
    EXPECT_TRUE(log_.Has("Unable to write to file"));
}

TEST_F(CacheStoreTest, WriteThatCannotOpenReportsIt) {
    WriteFile(dir_ / "root/data", "a file where the data folder belongs");
    EXPECT_EQ(QelCacheFs_WriteObject(&handle_, cache_, "AG1", "DOC", "x", 1), QELCFS_FAILED);
    EXPECT_TRUE(log_.Has("Unable to open file >" + dir_ / "root/data/AG1/DOC/DOC" + "<"));
}

TEST_F(CacheStoreTest, SyncClearsItsWordAndUnsupportedSaysSo) {
    uint32_t word = 77;
    EXPECT_EQ(QelCacheFs_Sync(&handle_, cache_, "AG1", "X", &word), QELCFS_OK);
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(QelCacheFs_Unsupported(&handle_), QELCFS_FAILED);
}

// ---------------------------------------------------------------- node store

class NodeStoreTest : public CacheLayerTest {
protected:
    static int Answer;
    static int Calls;
    static std::vector<std::string> Seen;
    static int Callback(int kind, const char* text1, const char* text2, const char* directory, int) {
        ++Calls;
        Seen.push_back(std::to_string(kind) + "|" + (text1 ? text1 : "-") + "|" + (text2 ? text2 : "-") +
                       "|" + (directory ? directory : "-"));
        return Answer;
    }
    void SetUp() override {
        CacheLayerTest::SetUp();
        Answer = 0;
        Calls = 0;
        Seen.clear();
    }
};
int NodeStoreTest::Answer = 0;
int NodeStoreTest::Calls = 0;
std::vector<std::string> NodeStoreTest::Seen;

TEST_F(NodeStoreTest, VolumeListGetsSlashesAndNeedsADirectory) {
    Configure("DIRECTORY=/v1, /v2/ ,,/v3\n");
    QelVolumeList* list = nullptr;
    ASSERT_EQ(QelCacheFs_LoadVolumeList(&handle_, &list), QELCFS_OK);
    EXPECT_EQ(list->dirs, (std::vector<std::string>{"/v1/", "/v2/", "/v3/"}));
    QelCacheFs_FreeVolumeList(&handle_, &list);
    EXPECT_EQ(list, nullptr);
    Configure("DIRECTORY= , \n");
    EXPECT_EQ(QelCacheFs_LoadVolumeList(&handle_, &list), QELCFS_NO_VOLUMES);
    Configure("");
    EXPECT_EQ(QelCacheFs_LoadVolumeList(&handle_, &list), QELCFS_NO_VOLUMES);
    EXPECT_EQ(list, nullptr);
}

TEST_F(NodeStoreTest, VolumeCheck) {
    struct Case {
        const char* name;
        const char* file;  // null: no volume file
        const char* label;
        const char* number;
        int rc;
    };
    const Case cases[] = {
        {"label and number", "VOL1\n3\n5\n", "VOL1", "5", 0},
        {"label prefix of the line", "VOL1.EXTRA\n5\n", "VOL1", "5", 0},
        {"number as the last line without line end", "VOL1\n5", "VOL1", "5", 0},
        {"label alone when no number is asked", "VOL1", "VOL1", "", 0},
        {"other label", "VOL2\n5\n", "VOL1", "5", 4},
        {"number not listed", "VOL1\n3\n", "VOL1", "5", 4},
        {"number on the label line only", "5\n", "5", "5", 4},
        {"no volume file", nullptr, "VOL1", "5", 4},
    };
    for (const Case& c : cases) {
        TempDir volume;
        if (c.file != nullptr) WriteFile(volume / "volume", c.file);
        Calls = 0;
        EXPECT_EQ(QelLocal_ReadVolume(&handle_, volume.Dir().c_str(), c.label, c.number), c.rc) << c.name;
    }
}

TEST_F(NodeStoreTest, MismatchAsksTheCallbackOnceOrUntilItRefuses) {
    TempDir volume;
    WriteFile(volume / "volume", "OTHER\n1\n");
    std::string dir = volume.Dir();
    // Without a callback the check runs once and fails, instead of waiting forever.
    EXPECT_EQ(QelLocal_MatchVolume(&handle_, dir.c_str(), "VOL1.X", "1"), QELVOL_NO_CALLBACK);
    EXPECT_EQ(QelLocal_ReadVolume(&handle_, dir.c_str(), "VOL1.X", "1"), QELVOL_MISMATCH);

    QelCacheFs_SetVolumeCallback(&handle_, &Callback);
    Answer = 1;
    EXPECT_EQ(QelLocal_ReadVolume(&handle_, dir.c_str(), "VOL1.X", "1"), QELVOL_REFUSED);
    EXPECT_EQ(Calls, 1);
    EXPECT_EQ(Seen.back(), "0|VOL1|-|-");

    Answer = 0;
    Calls = 0;
    EXPECT_EQ(QelLocal_ReadVolume(&handle_, dir.c_str(), "VOL1.X", "1"), QELVOL_MISMATCH);
    EXPECT_EQ(Calls, QELCFS_VOLUME_RETRIES);

    EXPECT_EQ(QelLocal_MatchVolume(&handle_, "/", "VOL1.X", "7"), QELVOL_OK);
    EXPECT_EQ(Seen.back(), "1|7|VOL1|/");
}

TEST_F(NodeStoreTest, ReadsFromTheVolumeTheNumberPicks) {
    TempDir v1, v2;
    WriteFile(v1 / "volume", "ARCH\n1\n");
    WriteFile(v2 / "volume", "ARCH\n2\n");
    WriteFile(v1 / "data/AG1/DOC/OBJ", "first");
    WriteFile(v2 / "data/AG1/DOC/OBJ", "second");
    Configure("DIRECTORY=" + v1.Dir() + "," + v2.Dir().substr(0, v2.Dir().size() - 1) + "\n");
    QelVolumeList* list = nullptr;
    ASSERT_EQ(QelCacheFs_LoadVolumeList(&handle_, &list), QELCFS_OK);

    struct Case {
        const char* logon;
        int rc;
        const char* data;
    };
    const Case cases[] = {{"1", QELCFS_OK, "first"},
                          {"2", QELCFS_OK, "second"},
                          {"5", QELCFS_NOT_FOUND, ""},
                          {"0", QELCFS_NOT_FOUND, ""},
                          {"x", QELCFS_NOT_FOUND, ""}};
    for (const Case& c : cases) {
        QelNodeObject* object = nullptr;
        ASSERT_EQ(QelCacheFs_OpenObject(&handle_, list, &object, "USER", "NODE1.ARCH", c.logon, ""),
                  QELCFS_OK);
        EXPECT_EQ(object->label, "ARCH");
        std::vector<uint8_t> buffer;
        int64_t length = 0;
        int last = 0;
        EXPECT_EQ(QelCacheFs_ReadLocalObject(&handle_, object, "AG1", "OBJ", &buffer, 0, &length, &last),
                  c.rc)
            << c.logon;
        EXPECT_EQ(std::string(buffer.begin(), buffer.end()), c.data) << c.logon;
        QelCacheFs_CloseObject(&handle_, &object);
        EXPECT_EQ(object, nullptr);
    }
    QelCacheFs_FreeVolumeList(&handle_, &list);
}

TEST_F(NodeStoreTest, NodeObjectFailuresAreSilentTwos) {
    TempDir v1;
    WriteFile(v1 / "volume", "ARCH\n7\n");
    WriteFile(v1 / "data/AG1/DOC/OBJ", std::string(50, 'x'));
    Configure("DIRECTORY=" + v1.Dir() + "\n");
    QelVolumeList* list = nullptr;
    ASSERT_EQ(QelCacheFs_LoadVolumeList(&handle_, &list), QELCFS_OK);
    QelNodeObject* object = nullptr;
    EXPECT_EQ(QelCacheFs_OpenObject(&handle_, list, &object, "U", nullptr, "7", ""), QELCFS_FAILED);
    EXPECT_EQ(QelCacheFs_OpenObject(&handle_, list, &object, "U", "N.ARCH", nullptr, ""), QELCFS_FAILED);
    EXPECT_EQ(QelCacheFs_OpenObject(&handle_, nullptr, &object, "U", "N.ARCH", "7", ""), QELCFS_FAILED);
    // One directory: the volume number only has to be listed in its volume file.
    ASSERT_EQ(QelCacheFs_OpenObject(&handle_, list, &object, "U", "N.ARCH", "7", ""), QELCFS_OK);
    uint32_t words[5] = {1, 1, 1, 1, 1};
    EXPECT_EQ(QelCacheFs_ObjectSize(&handle_, object, words), QELCFS_OK);
    EXPECT_EQ(words[0], 7u);
    EXPECT_EQ(words[4], 0u);
    std::vector<uint8_t> buffer;
    int last = 0;
    int64_t length = 100;
    EXPECT_EQ(QelCacheFs_ReadLocalObject(&handle_, object, "AG1", "OBJ", &buffer, 10, &length, &last),
              QELCFS_FAILED);
    length = 0;
    EXPECT_EQ(QelCacheFs_ReadLocalObject(&handle_, object, "AG1", "NONE", &buffer, 0, &length, &last),
              QELCFS_FAILED);
    EXPECT_EQ(QelCacheFs_ReadLocalObject(&handle_, object, "AG1", "../x", &buffer, 0, &length, &last),
              QELCFS_FAILED);
    EXPECT_TRUE(log_.texts.empty());
    QelCacheFs_CloseObject(&handle_, &object);
    QelCacheFs_FreeVolumeList(&handle_, &list);
}

}  // namespace
