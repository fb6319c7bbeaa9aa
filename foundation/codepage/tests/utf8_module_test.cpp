// utf8_module_test.cpp - the engine's UTF-8 module against Python's encoder.
#include "test_support.h"

namespace qel::codepage::test {
namespace {

class Utf8ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(context_.rc(), 0);
        toUtf8_ = ArcUCONV_Open(context_.get(), "UTF-8", "UCS-2");
        fromUtf8_ = ArcUCONV_Open(context_.get(), "ucs2", "utf8");
        ASSERT_NE(toUtf8_, ArcUconvFailed());
        ASSERT_NE(fromUtf8_, ArcUconvFailed());
    }
    void TearDown() override {
        EXPECT_EQ(ArcUCONV_Close(context_.get(), toUtf8_), 0);
        EXPECT_EQ(ArcUCONV_Close(context_.get(), fromUtf8_), 0);
    }
    StagedContext context_;
    ArcUconv toUtf8_ = nullptr;
    ArcUconv fromUtf8_ = nullptr;
};

TEST_F(Utf8ModuleTest, EveryUnitBothWaysAgainstPython) {
    const std::string oracle = ReadBinary(QEL_CODEPAGE_ORACLE "/utf8.bin");
    ASSERT_EQ(oracle.size(), 0x10000u * 4);
    std::string allUnits;
    std::string allUtf8;
    for (uint32_t unit = 0; unit < 0x10000; ++unit) {
        std::string expected = oracle.substr(unit * 4 + 1, static_cast<uint8_t>(oracle[unit * 4]));
        allUnits += Ucs2({static_cast<uint16_t>(unit)});
        allUtf8 += expected;
    }
    Outcome encoded = EngineConvert(toUtf8_, allUnits, allUtf8.size());
    EXPECT_EQ(encoded.rc, 0);
    EXPECT_TRUE(encoded.output == allUtf8);
    Outcome decoded = EngineConvert(fromUtf8_, allUtf8, allUnits.size());
    EXPECT_EQ(decoded.rc, 0);
    EXPECT_TRUE(decoded.output == allUnits);
    // Spot a few units so that a failure shows what went wrong.
    for (uint32_t unit : {0x00u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD800u, 0xFFFFu}) {
        std::string expected = oracle.substr(unit * 4 + 1, static_cast<uint8_t>(oracle[unit * 4]));
        EXPECT_EQ(Hex(EngineConvert(toUtf8_, Ucs2({static_cast<uint16_t>(unit)})).output), Hex(expected))
            << unit;
    }
}

TEST_F(Utf8ModuleTest, DecodingErrors) {
    struct Case {
        const char* name;
        std::string input;
        int error;
        size_t inputLeft;  // where the conversion stopped
        std::string output;
    } cases[] = {
        {"overlong two bytes", Bytes({0x41, 0xC0, 0x80}), EILSEQ, 2, Ucs2({0x41})},
        {"overlong C1", Bytes({0xC1, 0xBF}), EILSEQ, 2, ""},
        {"overlong three bytes", Bytes({0xE0, 0x9F, 0xBF}), EILSEQ, 3, ""},
        {"four-byte sequence", Bytes({0xF0, 0x9F, 0x98, 0x80}), EILSEQ, 4, ""},
        {"five-byte lead", Bytes({0xF8, 0x88, 0x80, 0x80, 0x80}), EILSEQ, 5, ""},
        {"lone continuation", Bytes({0x80}), EILSEQ, 1, ""},
        {"bad continuation", Bytes({0xE2, 0x41, 0x41}), EILSEQ, 3, ""},
        {"FE", Bytes({0xFE}), EILSEQ, 1, ""},
        {"cut three bytes", Bytes({0x41, 0xE2, 0x82}), EINVAL, 2, Ucs2({0x41})},
        {"cut two bytes", Bytes({0xC3}), EINVAL, 1, ""},
        {"cut after lead only", Bytes({0xE2}), EINVAL, 1, ""},
        {"cut with a bad byte is invalid", Bytes({0xE2, 0x41}), EILSEQ, 2, ""},
    };
    for (const Case& c : cases) {
        Outcome outcome = EngineConvert(fromUtf8_, c.input);
        EXPECT_EQ(outcome.rc, -1) << c.name;
        EXPECT_EQ(outcome.error, c.error) << c.name;
        EXPECT_EQ(outcome.inputLeft, c.inputLeft) << c.name;
        EXPECT_EQ(Hex(outcome.output), Hex(c.output)) << c.name;
    }
}

TEST_F(Utf8ModuleTest, EncodingEdges) {
    struct Case {
        const char* name;
        std::string input;
        size_t room;
        long rc;
        int error;
        std::string output;
        size_t inputLeft;
    } cases[] = {
        {"euro", Ucs2({0x20AC}), 16, 0, 0, Bytes({0xE2, 0x82, 0xAC}), 0},
        {"three bytes do not fit in two", Ucs2({0x41, 0x20AC}), 3, -1, E2BIG, "A", 2},
        {"two bytes do not fit in one", Ucs2({0xE9}), 1, -1, E2BIG, "", 2},
        {"odd length", Bytes({0x41, 0x00, 0x42}), 16, -1, EINVAL, "A", 1},
        {"surrogate encoded like any unit", Ucs2({0xDC00}), 16, 0, 0, Bytes({0xED, 0xB0, 0x80}), 0},
    };
    for (const Case& c : cases) {
        Outcome outcome = EngineConvert(toUtf8_, c.input, c.room);
        EXPECT_EQ(outcome.rc, c.rc) << c.name;
        EXPECT_EQ(outcome.error, c.error) << c.name;
        EXPECT_EQ(Hex(outcome.output), Hex(c.output)) << c.name;
        EXPECT_EQ(outcome.inputLeft, c.inputLeft) << c.name;
    }
}

TEST_F(Utf8ModuleTest, OutputCountZeroCountsWithoutConverting) {
    struct Case {
        ArcUconv converter;
        std::string input;
        size_t needed;
    } cases[] = {
        {toUtf8_, Ucs2({0x41, 0xE9, 0x20AC}), 6},
        {fromUtf8_, "A\xC3\xA9\xE2\x82\xAC", 6},
    };
    for (const Case& c : cases) {
        const char* in = c.input.data();
        size_t inLeft = c.input.size();
        char* out = nullptr;
        size_t outLeft = 0;
        EXPECT_EQ(ArcUCONV_Convert(c.converter, &in, &inLeft, &out, &outLeft), 0);
        EXPECT_EQ(outLeft, c.needed);
        EXPECT_EQ(inLeft, c.input.size());
        EXPECT_EQ(in, c.input.data());
    }
}

}  // namespace
}  // namespace qel::codepage::test
