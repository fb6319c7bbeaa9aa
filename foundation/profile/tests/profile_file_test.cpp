// Profile files: load, save, lookup and edit on disk, and rewrites that fail midway.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "arc_platform.h"
#include "arc_profile.h"

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = (std::filesystem::path(::testing::TempDir()) /
                ("qel_profile_" + std::to_string(ArcOS_GetProcessId()) + "_" + info->name()))
                   .string() +
               "/";
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        ArcOS_SetFaultHook({});
        std::filesystem::remove_all(dir_);
    }
    std::string Path(const char* name) const { return dir_ + name; }
    static std::string Read(const std::string& path) {
        std::string content;
        EXPECT_EQ(ArcOS_ReadFile(path.c_str(), &content), 0) << path;
        return content;
    }
    static std::string Get(const char* section, const char* key, const std::string& path) {
        char buffer[64];
        const size_t n = ArcPROF_GetString(section, key, "dflt", buffer, sizeof buffer, path.c_str());
        return std::string(buffer, n);
    }

    std::string dir_;
};

struct Freer {
    void operator()(char* p) const { std::free(p); }
};

TEST_F(ProfileFileTest, LoadSaveRoundTrip) {
    const std::string path = Path("a.ini");
    ASSERT_EQ(ArcPROF_SaveFile(path.c_str(), "[s]\r\nk=v\r\n"), 0);
    char* raw = nullptr;
    ASSERT_EQ(ArcPROF_LoadFile(path.c_str(), &raw), 0);
    std::unique_ptr<char, Freer> text(raw);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text.get(), "[s]\r\nk=v\r\n");
    ASSERT_EQ(ArcPROF_SaveFile(path.c_str(), nullptr), 0);
    EXPECT_EQ(Read(path), "");
}

TEST_F(ProfileFileTest, LoadMissingAndUnreadable) {
    char* raw = reinterpret_cast<char*>(1);
    EXPECT_EQ(ArcPROF_LoadFile(Path("missing.ini").c_str(), &raw), 0);
    EXPECT_EQ(raw, nullptr);
    // A directory cannot be read as a file: its errno comes back and no text.
    raw = reinterpret_cast<char*>(1);
    const std::string sub = Path("sub");
    ASSERT_EQ(ArcOS_MakeDirectory(sub.c_str()), 0);
    EXPECT_NE(ArcPROF_LoadFile(sub.c_str(), &raw), 0);
    EXPECT_EQ(raw, nullptr);
}

TEST_F(ProfileFileTest, LoadStopsAtZeroByte) {
    const std::string path = Path("nul.ini");
    ASSERT_EQ(ArcOS_WriteFileAtomic(path.c_str(), std::string("[s]\nk=v\n\0[t]\n", 13)), 0);
    char* raw = nullptr;
    ASSERT_EQ(ArcPROF_LoadFile(path.c_str(), &raw), 0);
    std::unique_ptr<char, Freer> text(raw);
    EXPECT_STREQ(text.get(), "[s]\nk=v\n");
}

TEST_F(ProfileFileTest, GetStringDefaultsForMissingAndUnreadableFiles) {
    EXPECT_EQ(Get("s", "k", Path("missing.ini")), "dflt");
    const std::string sub = Path("dir.ini");
    ASSERT_EQ(ArcOS_MakeDirectory(sub.c_str()), 0);
    EXPECT_EQ(Get("s", "k", sub), "dflt");
    EXPECT_EQ(Get("s", "k", std::string()), "dflt");
}

TEST_F(ProfileFileTest, WriteStringEditsAndReadsBack) {
    const std::string path = Path("w.ini");
    ASSERT_EQ(ArcPROF_WriteString("Paths", "QEL", "/opt/x", path.c_str()), 0);
    EXPECT_EQ(Read(path), "[Paths]\nQEL=/opt/x\n\n");
    ASSERT_EQ(ArcPROF_WriteString("paths", "qel", "/opt/y", path.c_str()), 0);
    ASSERT_EQ(ArcPROF_WriteString("paths", "second", "2", path.c_str()), 0);
    EXPECT_EQ(Get("PATHS", "QEL", path), "/opt/y");
    EXPECT_EQ(Read(path), "[Paths]\nqel=/opt/y\nsecond=2\n\n");
    // Nothing to delete: 1, and the file stays as it was.
    EXPECT_EQ(ArcPROF_WriteString("paths", "absent", nullptr, path.c_str()), 1);
    // Refused injection: 1, file unchanged.
    EXPECT_EQ(ArcPROF_WriteString("paths", "qel", "x\n[evil]", path.c_str()), 1);
    EXPECT_EQ(Read(path), "[Paths]\nqel=/opt/y\nsecond=2\n\n");
    ASSERT_EQ(ArcPROF_WriteString("paths", nullptr, nullptr, path.c_str()), 0);
    EXPECT_EQ(Read(path), "");
}

TEST_F(ProfileFileTest, EditThatChangesNothingCreatesNoFile) {
    const std::string path = Path("none.ini");
    EXPECT_EQ(ArcPROF_WriteString("s", nullptr, nullptr, path.c_str()), 0);
    ArcOSStat st;
    EXPECT_NE(ArcOS_Stat64(path.c_str(), &st), 0);
}

TEST_F(ProfileFileTest, WriteIntoFileWithoutFinalLineFeed) {
    const std::string path = Path("nolf.ini");
    ASSERT_EQ(ArcPROF_SaveFile(path.c_str(), "[a]\nx=1"), 0);
    ASSERT_EQ(ArcPROF_WriteString("b", "k", "v", path.c_str()), 0);
    EXPECT_EQ(Read(path), "[a]\nx=1\n[b]\nk=v\n\n");
    EXPECT_EQ(Get("a", "x", path), "1");
    EXPECT_EQ(Get("b", "k", path), "v");
}

TEST_F(ProfileFileTest, InterruptedRewriteLeavesOldFileWhole) {
    const std::string path = Path("keep.ini");
    const std::string old = "[s]\nk=old\nother=" + std::string(5000, 'x') + "\n";
    ASSERT_EQ(ArcPROF_SaveFile(path.c_str(), old.c_str()), 0);
    for (const char* failing : {"open", "write", "fsync", "rename"}) {
        ArcOS_SetFaultHook([failing](const char* step) { return std::strcmp(step, failing) == 0 ? EIO : 0; });
        EXPECT_EQ(ArcPROF_WriteString("s", "k", "new", path.c_str()), EIO) << failing;
        EXPECT_EQ(ArcPROF_SaveFile(path.c_str(), "short"), EIO) << failing;
        ArcOS_SetFaultHook({});
        EXPECT_EQ(Read(path), old) << failing;
        // No temporary file is left beside it.
        ArcOSFind* find = ArcOS_FindFirst(dir_.c_str());
        char name[512];
        int count = 0;
        while (find != nullptr && ArcOS_FindNext(find, name, sizeof name) == 0) {
            ++count;
        }
        ArcOS_FindClose(find);
        EXPECT_EQ(count, 1) << failing;
    }
    ASSERT_EQ(ArcPROF_WriteString("s", "k", "new", path.c_str()), 0);
    EXPECT_EQ(Get("s", "k", path), "new");
}

}  // namespace
