// Temporary and print directories and the files named in them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "qel_cs.h"
#include "request_test_support.h"

namespace {

using reqtest::EnvSetting;
using reqtest::TempDir;

std::string Dir(int element, const char* value, size_t length = 256) {
    char buffer[256];
    const char* got = CsGetDirFromEnv(buffer, length, element, value);
    return got ? std::string(got) : "<none>";
}

TEST(TempPaths, DirectoryOfAListElement) {
    EnvSetting temp("TEMP", "/from/temp");
    struct Case {
        const char* name;
        const char* value;
        int element;
        size_t length;
        const char* expected;
    } cases[] = {
        {"first of two", "/a;/b", 1, 256, "/a/"},
        {"second of two", "/a;/b", 2, 256, "/b/"},
        {"third of two", "/a;/b", 3, 256, "<none>"},
        {"no second '/'", "/a/;/b", 1, 256, "/a/"},
        {"element 0 is the whole value", "/a;/b", 0, 256, "/a;/b/"},
        {"empty elements do not count", ";;/a;", 1, 256, "/a/"},
        {"negative element", "/a", -1, 256, "<none>"},
        {"just fits", "/long/dir", 1, 11, "/long/dir/"},
        {"never cut", "/long/dir", 1, 10, "<none>"},
        {"no value: TEMP", nullptr, 1, 256, "/from/temp/"},
        {"empty value: TEMP", "", 0, 256, "/from/temp/"},
        {"TEMP has only one element", nullptr, 2, 256, "<none>"},
    };
    for (const auto& c : cases) EXPECT_EQ(Dir(c.element, c.value, c.length), c.expected) << c.name;
}

TEST(TempPaths, FallbackOrder) {
    struct Case {
        const char* temp;
        const char* tmp;
        const char* tmpdir;
        const char* expected;
    } cases[] = {
        {"/t", "/m", "/d", "/t/"},
        {"", "/m", "/d", "/m/"},
        {"", "", "/d", "/d/"},
        {"", "", "", "/tmp/"},
    };
    for (const auto& c : cases) {
        EnvSetting temp("TEMP", c.temp), tmp("TMP", c.tmp), tmpdir("TMPDIR", c.tmpdir);
        EXPECT_EQ(Dir(1, nullptr), c.expected) << c.expected;
    }
}

TEST(TempPaths, TempAndPrintDirectories) {
    EnvSetting qelTmp("QEL_TMP", "/q1;/q2");
    EnvSetting print("QEL_PRINT_PATH", "/p1;/p2");
    char buffer[64];
    EXPECT_STREQ(CsGetTempDir(buffer, sizeof buffer), "/q1/");
    EXPECT_STREQ(CsGetPrintDir(buffer, sizeof buffer, 2), "/p2/");
    EXPECT_EQ(CsGetPrintDir(buffer, sizeof buffer, 3), nullptr);
}

class TempFileTest : public ::testing::Test {
protected:
    std::string Expected(const std::string& dir, const std::string& tail) {
        return dir + "QEL." + std::to_string(ArcOS_GetProcessId()) + "." +
               std::to_string(static_cast<int64_t>(ArcOS_GetThreadId())) + tail;
    }
    TempDir dir_;
    TempDir printDir_;
    EnvSetting qelTmp_{"QEL_TMP", dir_.Path()};
    EnvSetting print_{"QEL_PRINT_PATH", "/no/such/dir;" + printDir_.Path()};
};

TEST_F(TempFileTest, NamesAndSuffixes) {
    struct Case {
        const char* first;
        const char* second;
        const char* tail;
    } cases[] = {
        {nullptr, nullptr, ""},
        {"CONVERT", nullptr, ".CONVERT"},
        {"job", "pages", ".job.pages"},
        {nullptr, "pages", ".pages"},
    };
    for (const auto& c : cases) {
        char buffer[512];
        ASSERT_NE(CsTempFileName(buffer, sizeof buffer, c.first, c.second), nullptr) << c.tail;
        EXPECT_EQ(std::string(buffer), Expected(dir_.Path(), c.tail));
        struct stat st;
        ASSERT_EQ(::stat(buffer, &st), 0) << buffer;
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u) << buffer;
        EXPECT_EQ(st.st_size, 0);
    }
}

TEST_F(TempFileTest, PrintDirectoryElements) {
    char buffer[512];
    ASSERT_NE(CsPrintFileName(buffer, sizeof buffer, 2, "prt", nullptr), nullptr);
    EXPECT_EQ(std::string(buffer), Expected(printDir_.Path(), ".prt"));
    EXPECT_EQ(CsPrintFileName(buffer, sizeof buffer, 1, "prt", nullptr), nullptr);  // no such directory
    EXPECT_EQ(CsPrintFileName(buffer, sizeof buffer, 3, "prt", nullptr), nullptr);
}

TEST_F(TempFileTest, RefusedNames) {
    char buffer[512];
    EXPECT_EQ(CsTempFileName(buffer, sizeof buffer, "../../etc/x", nullptr), nullptr);
    EXPECT_EQ(CsTempFileName(buffer, sizeof buffer, nullptr, "a/b"), nullptr);
    size_t fits = Expected(dir_.Path(), ".x").size() + 1;
    EXPECT_EQ(CsTempFileName(buffer, fits - 1, "x", nullptr), nullptr);
    EXPECT_NE(CsTempFileName(buffer, fits, "x", nullptr), nullptr);
}

TEST_F(TempFileTest, PlantedLinkIsReplacedNotFollowed) {
    std::string victim = printDir_.Path() + "victim";
    reqtest::WriteText(victim, "keep me");
    std::string name = Expected(dir_.Path(), ".link");
    std::filesystem::create_symlink(victim, name);
    char buffer[512];
    ASSERT_NE(CsTempFileName(buffer, sizeof buffer, "link", nullptr), nullptr);
    EXPECT_FALSE(std::filesystem::is_symlink(name));
    EXPECT_EQ(reqtest::ReadText(victim), "keep me");
}

}  // namespace
