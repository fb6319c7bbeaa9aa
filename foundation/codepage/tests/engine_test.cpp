// engine_test.cpp - the conversion engine: names, modifiers, substitution, shift state,
// the pair module's set-back and the table cache.
#include "context.h"
#include "test_support.h"

namespace qel::codepage::test {
namespace {

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(context_.rc(), 0); }
    ArcUconv Open(const std::string& to, const std::string& from) {
        return ArcUCONV_Open(context_.get(), to.c_str(), from.c_str());
    }
    void Close(ArcUconv converter) { EXPECT_EQ(ArcUCONV_Close(context_.get(), converter), 0); }
    StagedContext context_;
};

TEST_F(EngineTest, OpeningByName) {
    struct Case {
        const char* to;
        const char* from;
        int error;  // 0: opens
    } cases[] = {
        {"UCS-2", "utf8", 0},
        {"Utf-8", "ucs2", 0},
        {"UTF-8", "KVR-037", 0},
        {"KVR-037", "KVR-500", 0},
        {"UTF-8", "UTF-8", 0},
        {"KVR-037@endian=b,map=irv,sub=yes,subchar=\\x40", "UCS-2", 0},
        {"UCS-2", "KVR-930@endian=little:big", 0},
        {"UCS-2", "UCS-2", EINVAL},
        {"UCS-2@endian=big", "KVR-037", EINVAL},  // not UCS-2: a table of that name
        {"KVR-4711", "UCS-2", EINVAL},
        {"../locale/qelcpcs.cfg", "UCS-2", EINVAL},
        {"KVR-037@", "UCS-2", EINVAL},
        {"KVR-037@colour=red", "UCS-2", EINVAL},
        {"KVR-037@sub", "UCS-2", EINVAL},
        {"KVR-037@sub=", "UCS-2", EINVAL},
        {"KVR-037@sub=maybe", "UCS-2", EINVAL},
        {"KVR-037@sub=no,sub=no", "UCS-2", EINVAL},
        {"KVR-037@endian=big:b", "UCS-2", EINVAL},
        {"KVR-037@endian=x", "UCS-2", EINVAL},
        {"KVR-037@map=ascii", "UCS-2", EINVAL},
        {"KVR-037@subchar=\\x4040", "UCS-2", EINVAL},           // one value above 255
        {"KVR-037@subchar=\\x40\\x40", "UCS-2", EINVAL},        // two bytes for a single-byte table
        {"KVR-037@subchar=\\x40\\x40,sub=to-ucs", "UCS-2", 0},  // no substitution from UCS-2
        {"KVR-930@subchar=\\xFE\\xFE", "UCS-2", 0},
        {"KVR-954@subchar=abcdefghijklmnopqrstuvwxyz01234", "UCS-2", 0},
        {"KVR-954@subchar=abcdefghijklmnopqrstuvwxyz012345", "UCS-2", EINVAL},
        {"KVR-954@subchar=\\d65\\d66", "UCS-2", 0},
        {"KVR-954@subchar=\\d256", "UCS-2", EINVAL},
        {"KVR-954@subchar=\\x", "UCS-2", EINVAL},
    };
    for (const Case& c : cases) {
        errno = 0;
        ArcUconv converter = Open(c.to, c.from);
        if (c.error == 0) {
            EXPECT_NE(converter, ArcUconvFailed()) << c.to << " <- " << c.from << " errno " << errno;
            if (converter != ArcUconvFailed()) Close(converter);
        } else {
            EXPECT_EQ(converter, ArcUconvFailed()) << c.to << " <- " << c.from;
            EXPECT_EQ(errno, c.error) << c.to << " <- " << c.from;
        }
    }
}

TEST_F(EngineTest, ModifiersChangeConversions) {
    struct Case {
        const char* name;
        const char* to;
        const char* from;
        std::string input;
        long rc;
        int error;
        std::string output;
    } cases[] = {
        {"default substitutes from UCS-2", "KVR-037", "UCS-2", Ucs2({'A', 0x4E00}), 1, 0,
         Bytes({0xC1, 0x3F})},
        {"sub=no fails", "KVR-037@sub=no", "UCS-2", Ucs2({'A', 0x4E00}), -1, EILSEQ, Bytes({0xC1})},
        {"to UCS-2 fails by default", "UCS-2", "KVR-1252", Bytes({'A', 0x81}), -1, EILSEQ, Ucs2({'A'})},
        {"sub=to-ucs", "UCS-2", "KVR-1252@sub=to-ucs", Bytes({'A', 0x81}), 1, 0, Ucs2({'A', 0x1A})},
        {"sub=yes both ways", "UCS-2", "KVR-1252@sub=yes", Bytes({0x81}), 1, 0, Ucs2({0x1A})},
        {"subchar hex", "KVR-037@subchar=\\x6F", "UCS-2", Ucs2({0x4E00}), 1, 0, Bytes({0x6F})},
        {"subchar text", "KVR-954@subchar=??", "UCS-2", Ucs2({0x0E3F}), 1, 0, "??"},
        {"mixed substitutes double-byte", "KVR-930", "UCS-2", Ucs2({'A', 0x0E3F}), 1, 0,
         Bytes({0xC1, 0x0E, 0xFE, 0xFE})},
        {"endian=big reads swapped UCS-2", "KVR-037@endian=big", "UCS-2", Bytes({0x00, 'A'}), 0, 0,
         Bytes({0xC1})},
        {"endian=little:big writes swapped", "UCS-2", "KVR-037@endian=little:big", Bytes({0xC1}), 0, 0,
         Bytes({0x00, 'A'})},
        {"map=irv keeps ASCII in a double-byte table", "UCS-2", "KVR-943@map=irv", Bytes({0x5C}), 0, 0,
         Ucs2({0x5C})},
        {"map=irv from UCS-2", "KVR-943@map=irv", "UCS-2", Ucs2({0x7E}), 0, 0, Bytes({0x7E})},
        {"odd UCS-2 input", "KVR-037", "UCS-2", Bytes({'A', 0, 'B'}), -1, EINVAL, Bytes({0xC1})},
    };
    for (const Case& c : cases) {
        ArcUconv converter = Open(c.to, c.from);
        ASSERT_NE(converter, ArcUconvFailed()) << c.name;
        Outcome outcome = EngineConvert(converter, c.input);
        EXPECT_EQ(outcome.rc, c.rc) << c.name;
        EXPECT_EQ(outcome.error, c.error) << c.name;
        EXPECT_EQ(Hex(outcome.output), Hex(c.output)) << c.name;
        Close(converter);
    }
}

TEST_F(EngineTest, MixedEbcdicShiftsAndFlush) {
    ArcUconv converter = Open("KVR-930", "UCS-2");
    ASSERT_NE(converter, ArcUconvFailed());
    std::string kanji;
    ASSERT_TRUE(GlibcConvert("IBM930", "UCS-2LE", Ucs2({0x65E5}), &kanji));
    ASSERT_EQ(kanji.size(), 4u);  // SO, two bytes, SI
    Outcome first = EngineConvert(converter, Ucs2({'A', 0x65E5}));
    EXPECT_EQ(Hex(first.output), Hex(Bytes({0xC1, 0x0E}) + kanji.substr(1, 2)));
    // The shift state carries over: the next double-byte code needs no shift-out.
    Outcome second = EngineConvert(converter, Ucs2({0x65E5}));
    EXPECT_EQ(Hex(second.output), Hex(kanji.substr(1, 2)));
    // Flush without room fails, then with room writes shift-in once.
    char buffer[4];
    char* out = buffer;
    size_t outLeft = 0;
    EXPECT_EQ(ArcUCONV_Convert(converter, nullptr, nullptr, &out, &outLeft), -1);
    EXPECT_EQ(errno, E2BIG);
    outLeft = sizeof buffer;
    EXPECT_EQ(ArcUCONV_Convert(converter, nullptr, nullptr, &out, &outLeft), 0);
    EXPECT_EQ(Hex(std::string(buffer, out)), "0F");
    EXPECT_EQ(ArcUCONV_Convert(converter, nullptr, nullptr, &out, &outLeft), 0);
    EXPECT_EQ(out, buffer + 1);
    // Shift-out and a code do not fit in two bytes: nothing is written.
    Outcome tight = EngineConvert(converter, Ucs2({0x65E5}), 2);
    EXPECT_EQ(tight.error, E2BIG);
    EXPECT_EQ(tight.output, "");
    Close(converter);
}

TEST_F(EngineTest, PairSetsInputBackToWhatWasWritten) {
    struct Case {
        const char* name;
        const char* to;
        const char* from;
        std::string input;
        size_t room;
        int error;
        size_t inputLeft;
        std::string output;
    } cases[] = {
        {"single-byte pair, output full", "KVR-037", "KVR-819", "ABCD", 2, E2BIG, 2, Bytes({0xC1, 0xC2})},
        {"to utf-8, output full mid-character", "UTF-8", "KVR-819",
         "A\xE9"
         "B",
         2, E2BIG, 2, "A"},
        {"unmappable in the target", "KVR-037@sub=no", "KVR-1252",
         "AB\x80"
         "C",
         16, EILSEQ, 2, Bytes({0xC1, 0xC2})},
        {"unmappable in the source", "KVR-037", "KVR-1252",
         "AB\x81"
         "C",
         16, EILSEQ, 2, Bytes({0xC1, 0xC2})},
        {"double-byte source, output full", "KVR-037", "KVR-943",
         "A\x82\xA0"
         "B",
         1, E2BIG, 3, Bytes({0xC1})},
        {"mixed source, shift state restored", "UTF-8", "KVR-930",
         Bytes({0x0E, 0x40, 0x40, 0x40, 0x40, 0x0F}), 4, E2BIG, 3, ""},
        {"nothing fits", "UTF-8", "KVR-819", "\xE9", 1, E2BIG, 1, ""},
    };
    for (const Case& c : cases) {
        ArcUconv converter = Open(c.to, c.from);
        ASSERT_NE(converter, ArcUconvFailed()) << c.name;
        Outcome outcome = EngineConvert(converter, c.input, c.room);
        EXPECT_EQ(outcome.rc, -1) << c.name;
        EXPECT_EQ(outcome.error, c.error) << c.name;
        EXPECT_EQ(outcome.inputLeft, c.inputLeft) << c.name;
        if (std::string(c.name).find("mixed") == std::string::npos) {
            EXPECT_EQ(Hex(outcome.output), Hex(c.output)) << c.name;
        } else {
            // One three-byte character fitted; the input resumes at the next code.
            EXPECT_EQ(outcome.output.size(), 3u) << c.name;
            Outcome rest = EngineConvert(converter, c.input.substr(c.input.size() - outcome.inputLeft));
            EXPECT_EQ(rest.rc, 0) << c.name;
            EXPECT_EQ(rest.output.size(), 3u) << c.name;
        }
        Close(converter);
    }
}

TEST_F(EngineTest, PairOverLargeInputMatchesGlibc) {
    // Longer than one intermediate slice, with double-byte characters throughout.
    std::string text;
    for (int i = 0; i < 20000; ++i) text += Ucs2({static_cast<uint16_t>('A' + i % 26), 0x65E5});
    std::string sjis;
    ASSERT_TRUE(GlibcConvert("IBM943", "UCS-2LE", text, &sjis));
    std::string expected;
    ASSERT_TRUE(GlibcConvert("IBM930", "IBM943", sjis, &expected));
    ArcUconv converter = Open("KVR-930", "KVR-943");
    ASSERT_NE(converter, ArcUconvFailed());
    Outcome outcome = EngineConvert(converter, sjis, expected.size());
    EXPECT_EQ(outcome.rc, 0);
    EXPECT_EQ(outcome.inputLeft, 0u);
    // The closing shift-in comes with the flush.
    char tail[1];
    char* out = tail;
    size_t outLeft = 1;
    EXPECT_EQ(ArcUCONV_Convert(converter, nullptr, nullptr, &out, &outLeft), 0);
    EXPECT_TRUE(outcome.output + std::string(tail, out) == expected);
    Close(converter);
}

TEST_F(EngineTest, BadHandles) {
    char buffer[4];
    const char* in = "A";
    size_t inLeft = 1;
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    for (ArcUconv bad : {static_cast<ArcUconv>(nullptr), ArcUconvFailed()}) {
        errno = 0;
        EXPECT_EQ(ArcUCONV_Convert(bad, &in, &inLeft, &out, &outLeft), -1);
        EXPECT_EQ(errno, EBADF);
        errno = 0;
        EXPECT_EQ(ArcUCONV_Close(context_.get(), bad), -1);
        EXPECT_EQ(errno, EBADF);
    }
}

TEST_F(EngineTest, TablesAreLoadedOnceAndFreedWithTheLastConverter) {
    ArcIconvContext* context = context_.get();
    ASSERT_EQ(context->tables.Size(), 0u);
    ArcUconv a = Open("KVR-037", "UCS-2");
    ArcUconv b = Open("UCS-2", "KVR-037");
    ArcUconv c = Open("KVR-037", "KVR-500");
    ASSERT_NE(a, ArcUconvFailed());
    ASSERT_NE(b, ArcUconvFailed());
    ASSERT_NE(c, ArcUconvFailed());
    EXPECT_EQ(context->tables.Size(), 2u);
    Close(a);
    Close(c);
    EXPECT_EQ(context->tables.Size(), 1u);
    Close(b);
    EXPECT_EQ(context->tables.Size(), 0u);
}

}  // namespace
}  // namespace qel::codepage::test
