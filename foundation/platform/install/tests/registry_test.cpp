// ArcReg: keys and values in the hive files, round trips of awkward data, refused names,
// two hives, and failures of the hive file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"
#include "arc_profile.h"

namespace {

namespace fs = std::filesystem;

const char* const kKey = "SOFTWARE\\Kvr\\Tidewell32\\Common\\Paths";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = ArcOS_GetEnv("QEL_REGISTRY_DIR");
        dir_ = (fs::path(::testing::TempDir()) / ("qel_registry_" + std::to_string(ArcOS_GetProcessId())))
                   .string();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ASSERT_EQ(ArcOS_PutEnv(("QEL_REGISTRY_DIR=" + dir_).c_str()), 0);
    }
    void TearDown() override {
        ArcOS_SetFaultHook({});
        QelInst_SetModuleDirForTest(nullptr);
        ArcOS_PutEnv(("QEL_REGISTRY_DIR=" + previous_.value_or("")).c_str());
        fs::remove_all(dir_);
    }
    std::string HiveText(const char* file) const {
        std::string content;
        ArcOS_ReadFile((dir_ + "/" + file).c_str(), &content);
        return content;
    }
    static std::string Read(int hive, const char* key, const char* name, int expectRc = ARCREG_OK) {
        std::string data = "<unset>";
        EXPECT_EQ(ArcReg_ReadString(hive, key, name, &data), expectRc) << key << " " << name;
        return data;
    }

    std::optional<std::string> previous_;
    std::string dir_;
};

TEST_F(RegistryTest, SetReadBackDelete) {
    EXPECT_EQ(ArcReg_KeyExists(ARCREG_HKLM, kKey), 0);
    ASSERT_EQ(ArcReg_SetString(ARCREG_HKLM, kKey, "QEL", "/srv/qel"), ARCREG_OK);
    ASSERT_EQ(ArcReg_SetNumber(ARCREG_HKLM, kKey, "TypesSupported", 7), ARCREG_OK);
    EXPECT_EQ(ArcReg_KeyExists(ARCREG_HKLM, kKey), 1);
    EXPECT_EQ(Read(ARCREG_HKLM, kKey, "QEL"), "/srv/qel");
    int64_t number = 0;
    EXPECT_EQ(ArcReg_ReadNumber(ARCREG_HKLM, kKey, "TypesSupported", &number), ARCREG_OK);
    EXPECT_EQ(number, 7);
    // The hive file is plain INI text a person can read.
    EXPECT_EQ(HiveText("HKLM.ini"), std::string("[") + kKey + "]\nQEL=/srv/qel\nTypesSupported=7\n\n");

    ASSERT_EQ(ArcReg_SetString(ARCREG_HKLM, kKey, "QEL", "/other"), ARCREG_OK);
    EXPECT_EQ(Read(ARCREG_HKLM, kKey, "QEL"), "/other");
    EXPECT_EQ(ArcReg_DeleteValue(ARCREG_HKLM, kKey, "QEL"), ARCREG_OK);
    Read(ARCREG_HKLM, kKey, "QEL", ARCREG_NOT_FOUND);
    EXPECT_EQ(ArcReg_DeleteValue(ARCREG_HKLM, kKey, "QEL"), ARCREG_NOT_FOUND);
    EXPECT_EQ(ArcReg_DeleteKey(ARCREG_HKLM, kKey), ARCREG_OK);
    EXPECT_EQ(ArcReg_KeyExists(ARCREG_HKLM, kKey), 0);
    // Unregistering twice is detectable.
    EXPECT_EQ(ArcReg_DeleteKey(ARCREG_HKLM, kKey), ARCREG_NOT_FOUND);
    EXPECT_EQ(ArcReg_DeleteValue(ARCREG_HKLM, kKey, "TypesSupported"), ARCREG_NOT_FOUND);
}

TEST_F(RegistryTest, CreateKeyWithoutValues) {
    const char* key = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tidewell for WinNT";
    ASSERT_EQ(ArcReg_CreateKey(ARCREG_HKLM, key), ARCREG_OK);
    ASSERT_EQ(ArcReg_CreateKey(ARCREG_HKLM, key), ARCREG_OK);
    EXPECT_EQ(ArcReg_KeyExists(ARCREG_HKLM, key), 1);
    std::vector<ArcRegValue> values{{"stale", "x"}};
    EXPECT_EQ(ArcReg_EnumValues(ARCREG_HKLM, key, &values), ARCREG_OK);
    EXPECT_TRUE(values.empty());
    ASSERT_EQ(ArcReg_SetString(ARCREG_HKLM, key, "EventMessageFile", "/x/libqellgs32.so"), ARCREG_OK);
    EXPECT_EQ(Read(ARCREG_HKLM, key, "EventMessageFile"), "/x/libqellgs32.so");
    const std::string hive = HiveText("HKLM.ini");
    EXPECT_EQ(std::count(hive.begin(), hive.end(), '['), 1);
}

TEST_F(RegistryTest, KeyPathsAndNamesIgnoreCase) {
    ASSERT_EQ(ArcReg_SetString(ARCREG_HKLM, "Software\\Kvr\\Tidewell Webrika\\CurrentVersion", "InstallPath",
                               "/opt/tw"),
              ARCREG_OK);
    EXPECT_EQ(Read(ARCREG_HKLM, "SOFTWARE\\KVR\\tidewell webrika\\currentversion", "installpath"), "/opt/tw");
    ASSERT_EQ(ArcReg_SetString(ARCREG_HKLM, "software\\kvr\\TIDEWELL WEBRIKA\\CurrentVersion", "INSTALLPATH",
                               "/opt/tw2"),
              ARCREG_OK);
    EXPECT_EQ(Read(ARCREG_HKLM, "Software\\Kvr\\Tidewell Webrika\\CurrentVersion", "InstallPath"),
              "/opt/tw2");
    // The backslash is kept: another separator names another key.
    Read(ARCREG_HKLM, "Software/Kvr/Tidewell Webrika/CurrentVersion", "InstallPath", ARCREG_NOT_FOUND);
    std::vector<ArcRegValue> values;
    ASSERT_EQ(ArcReg_EnumValues(ARCREG_HKLM, "software\\kvr\\tidewell webrika\\currentversion", &values),
              ARCREG_OK);
    ASSERT_EQ(values.size(), 1u);
}

TEST_F(RegistryTest, TwoHivesAreSeparate) {
    const char* key = "Software\\Kvr\\Tidewell Image Plugin";
    ASSERT_EQ(ArcReg_SetString(ARCREG_HKLM, key, "Settings", "machine,"), ARCREG_OK);
    Read(ARCREG_HKCU, key, "Settings", ARCREG_NOT_FOUND);
    ASSERT_EQ(ArcReg_SetString(ARCREG_HKCU, key, "Settings", "user,"), ARCREG_OK);
    EXPECT_EQ(Read(ARCREG_HKLM, key, "Settings"), "machine,");
    EXPECT_EQ(Read(ARCREG_HKCU, key, "Settings"), "user,");
    EXPECT_EQ(ArcReg_DeleteKey(ARCREG_HKCU, key), ARCREG_OK);
    EXPECT_EQ(Read(ARCREG_HKLM, key, "Settings"), "machine,");
    EXPECT_EQ(ArcReg_HivePath(ARCREG_HKCU), dir_ + "/HKCU.ini");
    EXPECT_EQ(ArcReg_HivePath(7), "");
    EXPECT_EQ(ArcReg_SetString(7, key, "a", "b"), ARCREG_INVALID);
}

TEST_F(RegistryTest, DataRoundTripsUnchanged) {
    const char* cases[] = {
        "",
        " lead",
        "trail ",
        "  ",
        "\"quoted\"",
        "'single'",
        "\"",
        "'",
        "\"\"",
        "a=b=c",
        ";not a comment",
        "[not a section]",
        "\"open",
        "tab\tinside",
        "100,128,128,0,1",
        "\xff,preset\xff",
        "\"x\" and \"y\"",
        "C:\\x\\y",
    };
    for (const char* data : cases) {
        ASSERT_EQ(ArcReg_SetString(ARCREG_HKCU, "Software\\T", "v", data), ARCREG_OK) << data;
        EXPECT_EQ(Read(ARCREG_HKCU, "Software\\T", "v"), data) << "[" << data << "]";
    }
}

TEST_F(RegistryTest, RefusedNamesAndData) {
    struct Case {
        const char* what;
        const char* key;
        const char* name;
        const char* data;
    } cases[] = {
        {"null key", nullptr, "n", "d"},
        {"empty key", "", "n", "d"},
        {"bracket in key", "A]B", "n", "d"},
        {"lf in key", "A\nB", "n", "d"},
        {"null name", "K", nullptr, "d"},
        {"empty name", "K", "", "d"},
        {"equals in name", "K", "a=b", "d"},
        {"comment name", "K", ";n", "d"},
        {"section name", "K", "[n", "d"},
        {"blank before name", "K", " n", "d"},
        {"blank after name", "K", "n ", "d"},
        {"cr in name", "K", "n\r", "d"},
        {"lf in data", "K", "n", "a\n[evil]\nx=1"},
        {"cr in data", "K", "n", "a\rb"},
        {"null data", "K", "n", nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ArcReg_SetString(ARCREG_HKLM, c.key, c.name, c.data), ARCREG_INVALID) << c.what;
    }
    const std::string tooLong(ARCPROF_MAX_LINE, 'x');
    EXPECT_EQ(ArcReg_SetString(ARCREG_HKLM, "K", "n", tooLong.c_str()), ARCREG_INVALID);
    EXPECT_EQ(ArcReg_SetString(ARCREG_HKLM, "K", "n", tooLong.substr(2).c_str()), ARCREG_OK);
    EXPECT_EQ(ArcReg_ReadString(ARCREG_HKLM, "K", "", nullptr), ARCREG_INVALID);
    EXPECT_EQ(ArcReg_CreateKey(ARCREG_HKLM, "A]B"), ARCREG_INVALID);
    EXPECT_EQ(ArcReg_DeleteKey(ARCREG_HKLM, ""), ARCREG_INVALID);
    EXPECT_EQ(ArcReg_KeyExists(ARCREG_HKLM, nullptr), 0);
}

TEST_F(RegistryTest, ValueNamesAHiveCanKeep) {
    for (const char* name : {"n", "a b", "x;y[z]", "Closer, please"})
        EXPECT_TRUE(ArcReg_ValidName(name)) << name;
    const char* refused[] = {nullptr, "", "a=b", ";n", "[n", " n", "n ", "\tn", "n\r", "a\nb"};
    for (const char* name : refused) EXPECT_FALSE(ArcReg_ValidName(name)) << (name ? name : "null");
}

TEST_F(RegistryTest, NumbersFromHandWrittenHive) {
    ASSERT_EQ(ArcOS_WriteFileAtomic((dir_ + "/HKLM.ini").c_str(),
                                    "[N]\nplain=42\nneg=-17\nblank= 5 \nword=12a\nempty=\n"
                                    "max=9223372036854775807\nmin=-9223372036854775808\n"
                                    "over=9223372036854775808\nlong=00000000000000000001\n"
                                    "minus=-\nplus=+3\n"),
              0);
    struct Case {
        const char* name;
        int rc;
        int64_t value;
    } cases[] = {
        {"plain", ARCREG_OK, 42},
        {"neg", ARCREG_OK, -17},
        {"blank", ARCREG_OK, 5},
        {"word", ARCREG_NOT_NUMBER, 0},
        {"empty", ARCREG_NOT_NUMBER, 0},
        {"max", ARCREG_OK, std::numeric_limits<int64_t>::max()},
        {"min", ARCREG_OK, std::numeric_limits<int64_t>::min()},
        {"over", ARCREG_NOT_NUMBER, 0},
        {"long", ARCREG_NOT_NUMBER, 0},
        {"minus", ARCREG_NOT_NUMBER, 0},
        {"plus", ARCREG_NOT_NUMBER, 0},
        {"absent", ARCREG_NOT_FOUND, 0},
    };
    for (const Case& c : cases) {
        int64_t value = 0;
        EXPECT_EQ(ArcReg_ReadNumber(ARCREG_HKLM, "n", c.name, &value), c.rc) << c.name;
        if (c.rc == ARCREG_OK) {
            EXPECT_EQ(value, c.value) << c.name;
        }
    }
    for (int64_t n : {std::numeric_limits<int64_t>::min(), int64_t{-1}, int64_t{0},
                      std::numeric_limits<int64_t>::max()}) {
        ASSERT_EQ(ArcReg_SetNumber(ARCREG_HKCU, "N", "v", n), ARCREG_OK);
        int64_t back = 1;
        EXPECT_EQ(ArcReg_ReadNumber(ARCREG_HKCU, "N", "v", &back), ARCREG_OK);
        EXPECT_EQ(back, n);
    }
}

TEST_F(RegistryTest, EnumeratesInFileOrderFirstNameWins) {
    ASSERT_EQ(ArcOS_WriteFileAtomic((dir_ + "/HKLM.ini").c_str(),
                                    "[K]\nb=1\n; note\na=2\nB=3\n=default value\n[K]\nc=4\n"),
              0);
    std::vector<ArcRegValue> values;
    ASSERT_EQ(ArcReg_EnumValues(ARCREG_HKLM, "k", &values), ARCREG_OK);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].name, "b");
    EXPECT_EQ(values[0].data, "1");
    EXPECT_EQ(values[1].name, "a");
    EXPECT_EQ(values[2].name, "");  // the key's unnamed value
    EXPECT_EQ(values[2].data, "default value");
    EXPECT_EQ(Read(ARCREG_HKLM, "K", "B"), "1");
    EXPECT_EQ(ArcReg_EnumValues(ARCREG_HKLM, "missing", &values), ARCREG_NOT_FOUND);
    EXPECT_TRUE(values.empty());
}

TEST_F(RegistryTest, MissingHiveIsEmptyAndReadsCreateNothing) {
    Read(ARCREG_HKLM, kKey, "QEL", ARCREG_NOT_FOUND);
    EXPECT_EQ(ArcReg_KeyExists(ARCREG_HKLM, kKey), 0);
    EXPECT_EQ(ArcReg_DeleteKey(ARCREG_HKLM, kKey), ARCREG_NOT_FOUND);
    EXPECT_FALSE(fs::exists(dir_ + "/HKLM.ini"));
}

TEST_F(RegistryTest, UnreadableHiveIsAnError) {
    fs::create_directories(dir_ + "/HKLM.ini");
    Read(ARCREG_HKLM, kKey, "QEL", ARCREG_IO_ERROR);
    EXPECT_EQ(ArcReg_SetString(ARCREG_HKLM, kKey, "QEL", "x"), ARCREG_IO_ERROR);
    EXPECT_EQ(ArcReg_KeyExists(ARCREG_HKLM, kKey), 0);
    std::vector<ArcRegValue> values;
    EXPECT_EQ(ArcReg_EnumValues(ARCREG_HKLM, kKey, &values), ARCREG_IO_ERROR);
}

TEST_F(RegistryTest, FailedWriteKeepsHiveWhole) {
    ASSERT_EQ(ArcReg_SetString(ARCREG_HKLM, kKey, "QEL", "/old"), ARCREG_OK);
    const std::string before = HiveText("HKLM.ini");
    ArcOS_SetFaultHook([](const char* step) { return std::strcmp(step, "rename") == 0 ? EIO : 0; });
    EXPECT_EQ(ArcReg_SetString(ARCREG_HKLM, kKey, "QEL", "/new"), ARCREG_IO_ERROR);
    EXPECT_EQ(ArcReg_DeleteKey(ARCREG_HKLM, kKey), ARCREG_IO_ERROR);
    ArcOS_SetFaultHook({});
    EXPECT_EQ(HiveText("HKLM.ini"), before);
    EXPECT_EQ(Read(ARCREG_HKLM, kKey, "QEL"), "/old");
}

TEST_F(RegistryTest, DefaultDirectoryIsUnderTheInstallTree) {
    ArcOS_PutEnv("QEL_REGISTRY_DIR=");
    fs::create_directories(dir_ + "/inst/bin");
    QelInst_SetModuleDirForTest((dir_ + "/inst/bin").c_str());
    EXPECT_EQ(ArcReg_HivePath(ARCREG_HKLM), dir_ + "/inst/etc/registry/HKLM.ini");
    // The first write makes the registry directory.
    fs::create_directories(dir_ + "/inst/etc");
    ASSERT_EQ(ArcReg_SetString(ARCREG_HKLM, "K", "n", "v"), ARCREG_OK);
    EXPECT_TRUE(fs::exists(dir_ + "/inst/etc/registry/HKLM.ini"));
}

TEST_F(RegistryTest, ConcurrentWritersLoseNoValue) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 25; ++i) {
                const std::string name = "v" + std::to_string(t) + "_" + std::to_string(i);
                EXPECT_EQ(ArcReg_SetNumber(ARCREG_HKCU, "Software\\Load", name.c_str(), i), ARCREG_OK);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::vector<ArcRegValue> values;
    ASSERT_EQ(ArcReg_EnumValues(ARCREG_HKCU, "Software\\Load", &values), ARCREG_OK);
    EXPECT_EQ(values.size(), 100u);
}

}  // namespace
