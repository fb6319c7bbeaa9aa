// Delimiters of parameter text for EBCDIC servers, against Python's codecs.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "arc_codepage.h"
#include "qel_parm.h"

namespace {

// "<ccsid> <open> <close> <at>" lines written by testdata/parm/ebcdic_delimiters.py.
std::map<int, std::string> PythonDelimiters() {
    std::map<int, std::string> out;
    std::ifstream in(QEL_PARM_ORACLE);
    int ccsid;
    while (in >> ccsid) {
        std::string bytes;
        for (int i = 0; i < 3; ++i) {
            std::string hex;
            in >> hex;
            bytes += char(std::stoi(hex, nullptr, 16));
        }
        out[ccsid] = bytes;
    }
    return out;
}

class ParmDelimitersTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ArcICONV_Startup(&context_, QEL_STAGE_DIR "/locale"), 0); }
    void TearDown() override {
        ParmSetDelimiters(nullptr, 819, nullptr);
        ArcICONV_Shutdown(context_);
    }
    ArcIconvContext* context_ = nullptr;
};

TEST_F(ParmDelimitersTest, EbcdicCodePagesMatchPython) {
    auto expected = PythonDelimiters();
    ASSERT_EQ(expected.size(), 4u) << "oracle file " << QEL_PARM_ORACLE;
    for (const auto& [ccsid, bytes] : expected) {
        char got[3] = {};
        ParmSetDelimiters(context_, ccsid, got);
        EXPECT_EQ(std::string(got, 3), bytes) << "CCSID " << ccsid;
        EXPECT_EQ(ParmOpenDelimiter(), bytes[0]) << "CCSID " << ccsid;
        EXPECT_EQ(ParmCloseDelimiter(), bytes[1]) << "CCSID " << ccsid;
        EXPECT_EQ(ParmFixedSection(), bytes[2] + std::string("_FIXED_") + bytes[2]) << "CCSID " << ccsid;
    }
}

TEST_F(ParmDelimitersTest, OtherCodePagesAndFailuresKeepTheDefaults) {
    struct Case {
        const char* name;
        ArcIconvContext* context;
        int ccsid;
    } cases[] = {
        {"ASCII code page", context_, 819},
        {"UTF-8", context_, 1208},
        {"EBCDIC without a context", nullptr, 37},
    };
    for (const auto& c : cases) {
        char got[3] = {};
        ParmSetDelimiters(context_, 273, nullptr);  // something else first
        ParmSetDelimiters(c.context, c.ccsid, got);
        EXPECT_EQ(std::string(got, 3), "[]@") << c.name;
        EXPECT_EQ(ParmPrintOptionsSection(), "@_PRINT_OPTIONS_@") << c.name;
    }
}

TEST_F(ParmDelimitersTest, SectionsAreSearchedWithTheConvertedDelimiters) {
    ParmSetDelimiters(context_, 37, nullptr);
    std::string ebcdic = "\xBA\x7C_FIXED_\x7C\xBB\nCC=ANSI\n";
    std::string ascii = "[@_FIXED_@]\nCC=ANSI\n";
    EXPECT_EQ(ParmGetCc(ebcdic.c_str()), 1);
    EXPECT_EQ(ParmGetCc(ascii.c_str()), 0);

    // Setters write with them too, and a key cannot begin with the open delimiter.
    ParmText text;
    ParmSetValue(&text, ParmPageIdSection().c_str(),
                 "\xBA"
                 "PageId",
                 "7");
    EXPECT_EQ(text.text, "\xBA\x7C_PageIdentifier_\x7C\xBB\nPageId=7\n");
    EXPECT_EQ(ParmGetPageId(text.c_str()), 7);
}

}  // namespace
