// Table writes: quoting, refusals, read-back and atomic rewrites, checked against configparser.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "arc_platform.h"
#include "qel_local.h"
#include "sm_test_support.h"
#include "table_oracle.h"

namespace {

using cstest::ReadWithConfigParser;
using smtest::ReadFile;
using smtest::TempDir;
using smtest::WriteFile;

const char* kFixture =
    "[100]\n"
    "NAME=\"INVOICES\"\n"
    "LOAD_ID=\"7\"\n"
    "\n"
    "[OTHER]\n"
    "KEEP=\"me\"\n";

struct Case {
    const char* name;
    const char* section;
    const char* key;
    std::string value;
    int rc;
    const char* readBack;  // what configparser must see; null when nothing may change
};

TEST(PutValueTest, WritesQuotedValuesOrRefusesThemWhole) {
    const Case cases[] = {
        {"plain value", "100", "LOAD_ID", "8", 0, "8"},
        {"caller quoted", "100", "LOAD_ID", "\"8\"", 0, "8"},
        {"blanks kept", "100", "DESCRIPTION", " two words ", 0, " two words "},
        {"inner quote", "100", "DESCRIPTION", "a\"b", 0, "a\"b"},
        {"empty value", "100", "DESCRIPTION", "", 0, ""},
        {"new section", "200", "NAME", "PAYROLL", 0, "PAYROLL"},
        {"line feed in value", "100", "NAME", "A\nB", 6, nullptr},
        {"carriage return in value", "100", "NAME", "A\rB", 6, nullptr},
        {"bracket in section", "1]x", "NAME", "A", 6, nullptr},
        {"line feed in section", "1\n[x", "NAME", "A", 6, nullptr},
        {"equals in key", "100", "NA=ME", "A", 6, nullptr},
        {"key starting a comment", "100", ";NAME", "A", 6, nullptr},
        {"empty section", "", "NAME", "A", 6, nullptr},
        {"line past the reader's limit", "100", "LIST", std::string(32766, '1'), 14, nullptr},
        {"quoted value that reads back otherwise", "100", "NAME", "\"abc\"x", 14, "\"abc\"x"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string table = dir / "ag.tbl";
        WriteFile(table, kFixture);
        cstest::TableValues before = ReadWithConfigParser(table);

        EXPECT_EQ(QelLocal_PutValue(c.section, c.key, c.value.c_str(), table.c_str()), c.rc) << c.name;

        cstest::TableValues after = ReadWithConfigParser(table);
        if (c.readBack == nullptr) {
            EXPECT_EQ(ReadFile(table), kFixture) << c.name;
            continue;
        }
        std::string key = c.key;
        auto it = after.find({c.section, key});
        ASSERT_NE(it, after.end()) << c.name;
        EXPECT_EQ(it->second, c.readBack) << c.name;
        after.erase(it);
        before.erase({c.section, key});
        EXPECT_EQ(after, before) << c.name << ": other keys changed";
    }
}

TEST(PutValueTest, LongestLineTheReaderKeepsIsAccepted) {
    TempDir dir;
    std::string table = dir / "seg.tbl";
    // "SEGMENTS=" and the two quotes leave this much room on a 32766-character line.
    std::string list(32766 - 9 - 2, 'S');
    EXPECT_EQ(QelLocal_PutValue("100", "SEGMENTS", list.c_str(), table.c_str()), 0);
    EXPECT_EQ((ReadWithConfigParser(table)[{"100", "SEGMENTS"}]), list);
    list += 'S';
    EXPECT_EQ(QelLocal_PutValue("100", "SEGMENTS", list.c_str(), table.c_str()), 14);
}

TEST(PutValuesTest, SeveralKeysInOneRewriteAndDeletions) {
    TempDir dir;
    std::string table = dir / "ag.tbl";
    WriteFile(table, kFixture);
    const QelTableValue values[] = {{"100", "LOAD_ID_SUFFIX", "GAA"},
                                    {"100", "LOAD_ID", "1"},
                                    {"100", "NAME", nullptr},
                                    {"OTHER", nullptr, nullptr}};
    ASSERT_EQ(QelLocal_PutValues(table.c_str(), values, 4), 0);
    cstest::TableValues expected = {{{"100", "LOAD_ID"}, "1"}, {{"100", "LOAD_ID_SUFFIX"}, "GAA"}};
    EXPECT_EQ(ReadWithConfigParser(table), expected);
}

TEST(PutValuesTest, OneRefusedValueWritesNothing) {
    TempDir dir;
    std::string table = dir / "ag.tbl";
    WriteFile(table, kFixture);
    const QelTableValue values[] = {{"100", "LOAD_ID", "9"}, {"100", "NAME", "bad\nname"}};
    EXPECT_EQ(QelLocal_PutValues(table.c_str(), values, 2), 6);
    EXPECT_EQ(ReadFile(table), kFixture);
}

TEST(PutValuesTest, FailedRewriteLeavesThePreviousCopy) {
    for (const char* step : {"open", "write", "fsync", "rename"}) {
        TempDir dir;
        std::string table = dir / "ag.tbl";
        WriteFile(table, kFixture);
        ArcOS_SetFaultHook([step](const char* at) { return std::string(at) == step ? 28 /*ENOSPC*/ : 0; });
        EXPECT_EQ(QelLocal_PutValue("100", "LOAD_ID", "8", table.c_str()), 6) << step;
        ArcOS_SetFaultHook({});
        EXPECT_EQ(ReadFile(table), kFixture) << step;
        int files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Dir())) {
            (void)entry;
            ++files;
        }
        EXPECT_EQ(files, 1) << step << ": a temporary file was left behind";
    }
}

TEST(PutValuesTest, NextWriterRemovesOnlyOldLeftoversOfKilledWriters) {
    TempDir dir;
    std::filesystem::create_directory(dir / "index");
    std::string profile = dir / "index/INVOICES.seg";
    WriteFile(profile, kFixture);
    // What an updatedoc killed during its rewrite leaves, and what a live one holds.
    const std::string old = dir / "index/.INVOICES.seg.tmpQ7xk2P";
    const std::string live = dir / "index/.INVOICES.seg.tmpZ0aB9c";
    WriteFile(old, "[100]\nLOAD_ID=\"half");
    WriteFile(live, "[100]\nLOAD_ID=\"ha");
    const auto hourAgo =
        std::filesystem::file_time_type::clock::now() - std::chrono::seconds(ARCOS_WRITE_LEFTOVER_AGE + 60);
    std::filesystem::last_write_time(old, hourAgo);

    // An unchanged table writes nothing and leaves the folder alone.
    EXPECT_EQ(QelLocal_PutValue("100", "LOAD_ID", "7", profile.c_str()), 0);
    EXPECT_TRUE(std::filesystem::exists(old));
    EXPECT_EQ(QelLocal_PutValue("100", "LOAD_ID", "8", profile.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(old));
    EXPECT_TRUE(std::filesystem::exists(live)) << "a live writer's temporary file must stay";
    EXPECT_EQ((ReadWithConfigParser(profile)[{"100", "LOAD_ID"}]), "8");
}

TEST(PutValuesTest, MissingFolderIsAFailure) {
    TempDir dir;
    std::string table = dir / "missing/ag.tbl";
    EXPECT_EQ(QelLocal_PutValue("100", "LOAD_ID", "8", table.c_str()), 6);
}

struct DirCase {
    const char* name;
    const char* relative;  // below the temporary directory
    int created;
    const char* expectDir;  // a folder that must exist afterwards
};

TEST(MakeDirsTest, CreatesEachMissingFolderUpToTheLastSlash) {
    const DirCase cases[] = {
        {"file name is not a folder", "a/b/file.seg", 2, "a/b"},
        {"trailing slash makes the last one", "a/b/c/", 3, "a/b/c"},
        {"double slash is one step", "a//b/x", 2, "a/b"},
        {"dot steps are skipped", "a/./b/x", 2, "a/b"},
        {"nothing to make", "file", 0, ""},
    };
    for (const DirCase& c : cases) {
        TempDir dir;
        std::string path = dir / c.relative;
        EXPECT_EQ(QelLocal_MakeDirs(path.c_str()), c.created) << c.name;
        EXPECT_TRUE(std::filesystem::is_directory(dir / c.expectDir)) << c.name;
        EXPECT_EQ(QelLocal_MakeDirs(path.c_str()), 0) << c.name << ": second call";
    }
    EXPECT_EQ(QelLocal_MakeDirs("no-separator"), 0);
    EXPECT_EQ(QelLocal_MakeDirs(nullptr), 0);
}

TEST(MakeDirsTest, AFileInTheWayIsNotCountedAsAFolder) {
    TempDir dir;
    WriteFile(dir / "a", "x");
    std::string path = dir / "a/b/c";
    EXPECT_EQ(QelLocal_MakeDirs(path.c_str()), 0);
}

}  // namespace
