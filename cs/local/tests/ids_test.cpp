// Load names, segment numbers and annotation row texts.
#include <gtest/gtest.h>

#include <cstring>

#include "arc_profile.h"
#include "archive_fixture.h"
#include "table_oracle.h"

namespace {

using cstest::ReadWithConfigParser;
using localtest::ArchiveTest;
using localtest::ReadFile;
using localtest::WriteFile;

class LoadIdTest : public ArchiveTest {
protected:
    void SetGroup(const char* loadId, const char* suffix) {
        if (loadId)
            ArcPROF_WriteString("100", "LOAD_ID", loadId, archive_.Table("ag").c_str());
        else
            ArcPROF_WriteString("100", "LOAD_ID", nullptr, archive_.Table("ag").c_str());
        if (suffix)
            ArcPROF_WriteString("100", "LOAD_ID_SUFFIX", suffix, archive_.Table("ag").c_str());
        else
            ArcPROF_WriteString("100", "LOAD_ID_SUFFIX", nullptr, archive_.Table("ag").c_str());
    }
};

TEST_F(LoadIdTest, CounterAndOdometerSuffix) {
    struct Case {
        const char* loadId;  // null: key missing
        const char* suffix;
        int rc;
        const char* name;
        const char* nextId;  // after the call, as configparser reads it
        const char* nextSuffix;
    };
    const Case cases[] = {
        {"1", "FAA", 0, "1FAA", "2", "FAA"},
        {nullptr, nullptr, 0, "1FAA", "2", nullptr},
        {"41", nullptr, 0, "41FAA", "42", nullptr},
        {"999998", "FAA", 0, "999998FAA", "999999", "FAA"},
        {"999999", "FAA", 0, "999999FAA", "1", "GAA"},
        {"999999", "ZAA", 0, "999999ZAA", "1", "FBA"},
        {"999999", "ZZY", 0, "999999ZZY", "1", "FFZ"},
        {"999999", "ZZZ", 6, "", "999999", "ZZZ"},
        {"5", "FA", 6, "", "5", "FA"},
        {"5", "FAAA", 6, "", "5", "FAAA"},
        {"5", "F1A", 6, "", "5", "F1A"},
        {"0", "FAA", 6, "", "0", "FAA"},
        {"1000000", "FAA", 6, "", "1000000", "FAA"},
        {"12x", "FAA", 6, "", "12x", "FAA"},
    };
    for (const Case& c : cases) {
        SetGroup(c.loadId, c.suffix);
        char name[QELLOCAL_LOAD_NAME_SIZE] = "junk";
        EXPECT_EQ(QelLocal_NextLoadId(&handle_, 100, name), c.rc) << c.loadId << c.suffix;
        EXPECT_STREQ(name, c.name) << (c.loadId ? c.loadId : "-") << (c.suffix ? c.suffix : "-");
        auto table = ReadWithConfigParser(archive_.Table("ag"));
        EXPECT_EQ((table[{"100", "LOAD_ID"}]), c.nextId) << c.name;
        if (c.nextSuffix != nullptr) {
            EXPECT_EQ((table[{"100", "LOAD_ID_SUFFIX"}]), c.nextSuffix) << c.name;
        }
        EXPECT_EQ((table[{"100", "NAME"}]), "INVOICES") << "other keys stay";
    }
}

TEST_F(LoadIdTest, SequenceAcrossTheWrap) {
    SetGroup("999998", "ZAA");
    std::vector<std::string> names;
    for (int i = 0; i < 4; ++i) {
        char name[QELLOCAL_LOAD_NAME_SIZE];
        ASSERT_EQ(QelLocal_NextLoadId(&handle_, 100, name), 0);
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"999998ZAA", "999999ZAA", "1FBA", "2FBA"}));
}

TEST_F(LoadIdTest, SegmentIdsCountUp) {
    int32_t id = 0;
    ASSERT_EQ(QelLocal_NextSegmentId(&handle_, 100, &id), 0);
    EXPECT_EQ(id, 2);
    ASSERT_EQ(QelLocal_NextSegmentId(&handle_, 100, &id), 0);
    EXPECT_EQ(id, 3);
    EXPECT_EQ((ReadWithConfigParser(archive_.Table("ag"))[{"100", "SEG_ID"}]), "4");
    ASSERT_EQ(QelLocal_NextSegmentId(&handle_, 101, &id), 0) << "missing SEG_ID starts at 1";
    EXPECT_EQ(id, 1);
    ArcPROF_WriteString("101", "SEG_ID", "-3", archive_.Table("ag").c_str());
    EXPECT_EQ(QelLocal_NextSegmentId(&handle_, 101, &id), 6);
}

TEST_F(LoadIdTest, FailedWriteKeepsTheCounter) {
    std::string before = ReadFile(archive_.Table("ag"));
    ArcOS_SetFaultHook([](const char* step) { return std::string(step) == "rename" ? 13 : 0; });
    char name[QELLOCAL_LOAD_NAME_SIZE];
    EXPECT_EQ(QelLocal_NextLoadId(&handle_, 100, name), 6);
    int32_t id = 0;
    EXPECT_EQ(QelLocal_NextSegmentId(&handle_, 100, &id), 6);
    ArcOS_SetFaultHook({});
    EXPECT_EQ(ReadFile(archive_.Table("ag")), before);
    ASSERT_EQ(QelLocal_NextLoadId(&handle_, 100, name), 0);
    EXPECT_STREQ(name, "1FAA") << "the failed call handed out nothing";
}

TEST(FormatNoteRowTest, RowTexts) {
    struct Case {
        const char* name;
        const char* object;
        const char* further;
        size_t size;
        int rc;
        const char* row;
    };
    const Case cases[] = {
        {"plain", "1FAA", nullptr, 64, 0, "100|1FAA|10|20|30|40"},
        {"further text", "1FAA", "INV1", 64, 0, "100|1FAA|10|20|30|40|INV1"},
        {"exact fit", "1FAA", nullptr, 21, 0, "100|1FAA|10|20|30|40"},
        {"one byte short", "1FAA", nullptr, 20, 6, ""},
        {"bar in the object", "1F|AA", nullptr, 64, 6, ""},
        {"bracket ends the section", "1FAA]", nullptr, 64, 6, ""},
        {"line feed", "1FAA\n[X]", nullptr, 64, 6, ""},
        {"control in further", "1FAA", "A\x01", 64, 6, ""},
        {"no object", nullptr, nullptr, 64, 6, ""},
    };
    for (const Case& c : cases) {
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(QelLocal_FormatNoteRow(buffer, c.size, 100, c.object, 10, 20, 30, 40, c.further), c.rc)
            << c.name;
        EXPECT_STREQ(buffer, c.row) << c.name;
    }
}

}  // namespace
