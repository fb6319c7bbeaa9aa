// service_test.cpp - the code-page service: start-up, names, opening, chains, errors.
#include <cstdlib>
#include <cstring>

#include "arc_platform.h"
#include "test_support.h"

namespace qel::codepage::test {
namespace {

struct Converted {
    int rc;
    std::string output;
};

Converted Convert(ArcIconvContext* context, int32_t source, int32_t target, const std::string& input,
                  size_t room = 4096) {
    ArcIconvHandle* handle = nullptr;
    int rc = ArcICONV_Open(context, source, target, &handle);
    if (rc != ARC_ICONV_OK) return {rc + 100, {}};  // 100+: the open failed
    std::string buffer(room, '\0');
    size_t length = room;
    rc = ArcICONV_Convert(handle, input.data(), input.size(), buffer.data(), &length);
    EXPECT_EQ(ArcICONV_Close(handle), ARC_ICONV_OK);
    return {rc, buffer.substr(0, length)};
}

TEST(CodepageService, BracketsAndAtSignBetweenEbcdicPages) {
    StagedContext context;
    ASSERT_EQ(context.rc(), ARC_ICONV_OK);
    struct Case {
        int32_t ccsid;
        std::string bytes;  // '[', ']', '@'
    } cases[] = {
        {37, Bytes({0xBA, 0xBB, 0x7C})},
        {277, Bytes({0x9E, 0x9F, 0x80})},
        {500, Bytes({0x4A, 0x5A, 0x7C})},
        {1047, Bytes({0xAD, 0xBD, 0x7C})},
    };
    for (const Case& from : cases) {
        Converted ascii = Convert(context.get(), from.ccsid, 819, from.bytes);
        EXPECT_EQ(ascii.rc, 0) << from.ccsid;
        EXPECT_EQ(ascii.output, "[]@") << from.ccsid;
        for (const Case& to : cases) {
            Converted result = Convert(context.get(), from.ccsid, to.ccsid, from.bytes);
            EXPECT_EQ(result.rc, 0) << from.ccsid << "->" << to.ccsid;
            EXPECT_EQ(Hex(result.output), Hex(to.bytes)) << from.ccsid << "->" << to.ccsid;
        }
    }
}

TEST(CodepageService, ChainsAndDirectConvertersAgreeWithGlibc) {
    StagedContext context;
    ASSERT_EQ(context.rc(), ARC_ICONV_OK);
    const std::string latin =
        "Gr\xFC\xDF"
        "e, Stra\xDF"
        "e [1] @ \xE9";
    struct Case {
        int32_t source;
        int32_t target;
        const char* glibcSource;
        const char* glibcTarget;
    } cases[] = {
        {37, 1208, "IBM037", "UTF-8"},      {850, 500, "IBM850", "IBM500"},
        {819, 1208, "ISO-8859-1", "UTF-8"}, {1208, 273, "UTF-8", "IBM273"},
        {1200, 1047, "UCS-2LE", "IBM1047"}, {1141, 13488, "IBM1141", "UCS-2LE"},
        {1252, 1208, "CP1252", "UTF-8"},    {37, 930, "IBM037", "IBM930"},
    };
    for (const Case& c : cases) {
        std::string input;
        ASSERT_TRUE(GlibcConvert(c.glibcSource, "ISO-8859-1", latin, &input)) << c.source;
        std::string expected;
        ASSERT_TRUE(GlibcConvert(c.glibcTarget, c.glibcSource, input, &expected)) << c.source;
        Converted result = Convert(context.get(), c.source, c.target, input);
        EXPECT_EQ(result.rc, 0) << c.source << "->" << c.target;
        EXPECT_EQ(Hex(result.output), Hex(expected)) << c.source << "->" << c.target;
    }
}

TEST(CodepageService, CopyingConverters) {
    StagedContext context;
    ASSERT_EQ(context.rc(), ARC_ICONV_OK);
    struct Case {
        int32_t source;
        int32_t target;
    } cases[] = {{819, 819}, {1200, 13488}, {13488, 1200}, {5, 5}};
    for (const Case& c : cases) {
        const std::string input = Bytes({0x00, 0xFF, 0x41, 0x80});
        Converted whole = Convert(context.get(), c.source, c.target, input, input.size());
        EXPECT_EQ(whole.rc, 0) << c.source;
        EXPECT_EQ(whole.output, input) << c.source;
        Converted cut = Convert(context.get(), c.source, c.target, input, input.size() - 1);
        EXPECT_EQ(cut.rc, ARC_ICONV_OUTPUT_TOO_SMALL) << c.source;
        EXPECT_EQ(cut.output, input.substr(0, 3)) << c.source;
    }
}

TEST(CodepageService, ResultCodes) {
    StagedContext context;
    ASSERT_EQ(context.rc(), ARC_ICONV_OK);
    struct Case {
        const char* name;
        int32_t source;
        int32_t target;
        std::string input;
        size_t room;
        int expected;  // 100 + open result when the open fails
    } cases[] = {
        {"unknown table", 4711, 819, "A", 16, 100 + ARC_ICONV_NOT_SUPPORTED},
        {"ccsid 0", 0, 819, "A", 16, 100 + ARC_ICONV_NOT_SUPPORTED},
        {"ucs-2 to unknown, no chain through utf-8", 1200, 4711, Ucs2({0x41}), 16,
         100 + ARC_ICONV_NOT_SUPPORTED},
        {"unmappable byte", 1252, 1208, Bytes({0x41, 0x81}), 16, ARC_ICONV_INVALID_INPUT},
        {"bad utf-8", 1208, 1200, Bytes({0xC0, 0x80}), 16, ARC_ICONV_INVALID_INPUT},
        {"cut utf-8", 1208, 1200, Bytes({0x41, 0xE2, 0x82}), 16, ARC_ICONV_INCOMPLETE_INPUT},
        {"cut double-byte", 943, 1200, Bytes({0x41, 0x82}), 16, ARC_ICONV_INCOMPLETE_INPUT},
        {"odd ucs-2", 1200, 1208, Bytes({0x41, 0x00, 0x42}), 16, ARC_ICONV_INCOMPLETE_INPUT},
        {"output too small", 819, 1208, "\xE9\xE9", 3, ARC_ICONV_OUTPUT_TOO_SMALL},
        {"output of size 0", 37, 819, "A", 0, ARC_ICONV_OUTPUT_TOO_SMALL},
        {"empty input", 37, 819, "", 0, ARC_ICONV_OK},
    };
    for (const Case& c : cases) {
        Converted result = Convert(context.get(), c.source, c.target, c.input, c.room);
        EXPECT_EQ(result.rc, c.expected) << c.name;
    }
}

TEST(CodepageService, PartialOutputIsKeptOnOutputTooSmall) {
    StagedContext context;
    Converted result = Convert(context.get(), 819, 1208, "ab\xE9", 3);
    EXPECT_EQ(result.rc, ARC_ICONV_OUTPUT_TOO_SMALL);
    EXPECT_EQ(result.output, "ab");
}

TEST(CodepageService, MixedEbcdicTextsAreWholeAndIndependent) {
    // Every call ends its text with shift-in and starts the next in single-byte state.
    StagedContext context;
    ArcIconvHandle* handle = nullptr;
    ASSERT_EQ(ArcICONV_Open(context.get(), 1200, 930, &handle), ARC_ICONV_OK);
    const std::string text = Ucs2({0x65E5});  // one kanji
    std::string expected;
    ASSERT_TRUE(GlibcConvert("IBM930", "UCS-2LE", text, &expected));
    for (int round = 0; round < 2; ++round) {
        char out[16];
        size_t length = sizeof out;
        EXPECT_EQ(ArcICONV_Convert(handle, text.data(), text.size(), out, &length), 0);
        EXPECT_EQ(Hex(std::string(out, length)), Hex(expected)) << "round " << round;
    }
    // Shift-in does not fit: the text is not complete.
    char out[3];
    size_t length = sizeof out;
    EXPECT_EQ(ArcICONV_Convert(handle, text.data(), text.size(), out, &length), ARC_ICONV_OUTPUT_TOO_SMALL);
    EXPECT_EQ(ArcICONV_Close(handle), 0);
}

TEST(CodepageService, ConvertAllocGuessesAndGrows) {
    StagedContext context;
    ASSERT_EQ(context.rc(), ARC_ICONV_OK);
    struct Case {
        const char* name;
        int32_t source;
        int32_t target;
        std::string input;
        const char* glibcSource;
        const char* glibcTarget;
    } cases[] = {
        {"ucs-2 to single-byte", 1200, 819, Ucs2({'a', 'b', 'c', 'd', 0xE9}), "UCS-2LE", "ISO-8859-1"},
        {"latin-1 to utf-8, shrinks", 819, 1208, "abcdefghi\xE9", "ISO-8859-1", "UTF-8"},
        {"grows past twice the input", 1200, 1208, Ucs2({0x20AC, 0x20AC, 0x20AC}), "UCS-2LE", "UTF-8"},
        {"grows from a small guess", 819, 37, std::string(1, 'x'), "ISO-8859-1", "IBM037"},
        {"chain through ucs-2", 850, 500, "\x84\x94\x81[]", "IBM850", "IBM500"},
        {"chain, growing", 37, 930, std::string("\xC1\xC2\xC3", 3), "IBM037", "IBM930"},
    };
    for (const Case& c : cases) {
        ArcIconvHandle* handle = nullptr;
        ASSERT_EQ(ArcICONV_Open(context.get(), c.source, c.target, &handle), 0) << c.name;
        char* output = nullptr;
        size_t length = 0;
        EXPECT_EQ(ArcICONV_ConvertAlloc(handle, c.input.data(), c.input.size(), &output, &length), 0)
            << c.name;
        std::string expected;
        ASSERT_TRUE(GlibcConvert(c.glibcTarget, c.glibcSource, c.input, &expected)) << c.name;
        ASSERT_NE(output, nullptr) << c.name;
        EXPECT_EQ(Hex(std::string(output, length)), Hex(expected)) << c.name;
        std::free(output);
        EXPECT_EQ(ArcICONV_Close(handle), 0);
    }
}

TEST(CodepageService, ConvertAllocReportsErrors) {
    StagedContext context;
    ArcIconvHandle* handle = nullptr;
    ASSERT_EQ(ArcICONV_Open(context.get(), 1208, 37, &handle), 0);
    char* output = reinterpret_cast<char*>(1);
    size_t length = 99;
    const std::string bad = "ok\xFF";
    EXPECT_EQ(ArcICONV_ConvertAlloc(handle, bad.data(), bad.size(), &output, &length),
              ARC_ICONV_INVALID_INPUT);
    EXPECT_EQ(output, nullptr);
    EXPECT_EQ(ArcICONV_Close(handle), 0);
}

TEST(CodepageService, CcsidNames) {
    TempDir dir;
    WriteBinary(dir.Path() + "/qelcpcs.cfg",
                "# comment\n"
                " 37 IGNORED\n"
                "1047 KVR-1047\n"
                "37 KVR-037 # the US page\n"
                "37\tLATER\n"
                "500  #only a comment\n"
                "819 " +
                    std::string(80, 'N') +
                    "\n"
                    "1252 first#second\n");
    StagedContext context(dir.Path());
    ASSERT_EQ(context.rc(), ARC_ICONV_OK);
    struct Case {
        int32_t ccsid;
        std::string name;
    } cases[] = {
        {37, "LATER"},    {1047, "KVR-1047"}, {500, "KVR-500"},     {819, std::string(64, 'N')},
        {1252, "first"},  {5, "KVR-005"},     {12345, "KVR-12345"}, {1200, "UCS-2"},
        {13488, "UCS-2"}, {1208, "UTF-8"},
    };
    for (const Case& c : cases) {
        char name[ARC_ICONV_NAME_MAX + 1];
        EXPECT_EQ(ArcICONV_CcsidToName(context.get(), c.ccsid, name), 0) << c.ccsid;
        EXPECT_EQ(std::string(name), c.name) << c.ccsid;
    }
    char name[ARC_ICONV_NAME_MAX + 1];
    EXPECT_EQ(ArcICONV_CcsidToName(context.get(), 0, name), ARC_ICONV_NOT_SUPPORTED);
}

TEST(CodepageService, StartupFailures) {
    struct Case {
        const char* name;
        std::string config;  // empty: no file
        int expected;
    } cases[] = {
        {"no file", "", ARC_ICONV_OTHER},
        {"only a ccsid", "37\n", ARC_ICONV_OTHER},
        {"only a ccsid, trailing blanks", "37   \n", ARC_ICONV_OTHER},
        {"no blank after the ccsid", "37#x\n", ARC_ICONV_OTHER},
        {"not a number", "abc def\n", ARC_ICONV_OTHER},
        {"bad line among good ones", "37 KVR-037\n500x\n819 KVR-819\n", ARC_ICONV_OTHER},
        {"too short lines are skipped", "\n#\n5", ARC_ICONV_OK},
        {"crlf", "37 KVR-037\r\n", ARC_ICONV_OK},
        // The tail of an over-long line is dropped, not read as a line of its own.
        {"long line", "37 KVR-037" + std::string(5000, ' ') + "garbage\n819 KVR-819\n", ARC_ICONV_OK},
        {"long line, bad tail", "37 KVR-037 #" + std::string(5000, ' ') + "500x\n", ARC_ICONV_OK},
    };
    for (const Case& c : cases) {
        TempDir dir;
        if (!c.config.empty()) WriteBinary(dir.Path() + "/qelcpcs.cfg", c.config);
        ArcIconvContext* context = reinterpret_cast<ArcIconvContext*>(1);
        int rc = ArcICONV_Startup(&context, dir.Path().c_str());
        EXPECT_EQ(rc, c.expected) << c.name;
        if (rc == ARC_ICONV_OK) {
            ArcICONV_Shutdown(context);
        } else {
            EXPECT_EQ(context, nullptr) << c.name;
        }
    }
}

TEST(CodepageService, LocalePathFromEnvironmentCutAtSemicolon) {
    ASSERT_EQ(ArcOS_PutEnv(("QKLOCPATH=" + StagedLocale() + ";/nonexistent").c_str()), 0);
    ArcIconvContext* context = nullptr;
    EXPECT_EQ(ArcICONV_Startup(&context, nullptr), ARC_ICONV_OK);
    Converted result = Convert(context, 819, 37, "A");
    EXPECT_EQ(result.output, "\xC1");
    ArcICONV_Shutdown(context);
    ASSERT_EQ(ArcOS_PutEnv("QKLOCPATH="), 0);
}

TEST(CodepageService, ClassPredicates) {
    struct Case {
        int32_t ccsid;
        int ucs2, utf8, ebcdic, mixed, ascii, doubleByte, multiByte, singleByte;
    } cases[] = {
        {37, 0, 0, 1, 0, 0, 0, 0, 1},    {1047, 0, 0, 1, 0, 0, 0, 0, 1}, {1145, 0, 0, 1, 0, 0, 0, 0, 1},
        {1150, 0, 0, 0, 0, 1, 0, 0, 1},  {819, 0, 0, 0, 0, 1, 0, 0, 1},  {850, 0, 0, 0, 0, 1, 0, 0, 1},
        {930, 0, 0, 1, 1, 0, 0, 0, 0},   {1388, 0, 0, 1, 1, 0, 0, 0, 0}, {300, 0, 0, 1, 0, 0, 1, 1, 0},
        {943, 0, 0, 0, 0, 1, 0, 1, 0},   {932, 0, 0, 0, 0, 1, 1, 1, 0},  {1200, 1, 0, 0, 0, 0, 1, 1, 0},
        {13488, 1, 0, 0, 0, 0, 1, 1, 0}, {1208, 0, 1, 0, 0, 0, 1, 1, 0}, {0, 0, 0, 0, 0, 1, 0, 0, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ArcICONV_IsUcs2Ccsid(c.ccsid), c.ucs2) << c.ccsid;
        EXPECT_EQ(ArcICONV_IsUtf8Ccsid(c.ccsid), c.utf8) << c.ccsid;
        EXPECT_EQ(ArcICONV_IsEbcdicCcsid(c.ccsid), c.ebcdic) << c.ccsid;
        EXPECT_EQ(ArcICONV_IsMixedEbcdicCcsid(c.ccsid), c.mixed) << c.ccsid;
        EXPECT_EQ(ArcICONV_IsAsciiCcsid(c.ccsid), c.ascii) << c.ccsid;
        EXPECT_EQ(ArcICONV_IsDoubleByteCcsid(c.ccsid), c.doubleByte) << c.ccsid;
        EXPECT_EQ(ArcICONV_IsMultiByteCcsid(c.ccsid), c.multiByte) << c.ccsid;
        EXPECT_EQ(ArcICONV_IsSingleByteCcsid(c.ccsid), c.singleByte) << c.ccsid;
    }
}

// No tables at all: with QEL_IGN_ICONV_ERR the built-in tables carry on.
class FallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBinary(dir_.Path() + "/qelcpcs.cfg", "# nothing\n");
        ASSERT_EQ(ArcOS_PutEnv("QEL_IGN_ICONV_ERR=1"), 0);
        ASSERT_EQ(ArcICONV_Startup(&context_, dir_.Path().c_str()), 0);
        ASSERT_EQ(ArcOS_PutEnv("QEL_IGN_ICONV_ERR="), 0);
    }
    void TearDown() override { ArcICONV_Shutdown(context_); }

    TempDir dir_;
    ArcIconvContext* context_ = nullptr;
};

TEST_F(FallbackTest, BuiltInTables) {
    struct Case {
        const char* name;
        int32_t source;
        int32_t target;
        std::string input;
        std::string expected;
    } cases[] = {
        {"latin-1 to 37", 819, 37, "ABC", "\xC1\xC2\xC3"},
        {"37 to ucs-2", 37, 1200, "\xC1\xC2\xC3", Ucs2({'A', 'B', 'C'})},
        {"latin-1 to ucs-2", 819, 1200, "\xE9", Ucs2({0xE9})},
        {"latin-1 to 277 uses the iso table", 819, 277, "@[", Bytes({0x80, 0x9E})},
        {"latin-1 to 500", 819, 500, "[]", Bytes({0x4A, 0x5A})},
        {"850 to 37 uses the 850 table", 850, 37, Bytes({0x82, 0x1A, 0x1C, 0x7F}),
         Bytes({0x51, 0x1C, 0x07, 0x3F})},
        {"37 to 850", 37, 850, Bytes({0x51, 0x1C, 0x07, 0x3F}), Bytes({0x82, 0x1A, 0x1C, 0x7F})},
        {"37 to latin-1", 37, 819, Bytes({0x51, 0xBA}), "\xE9["},
        {"ucs-2 above 0xFF is substituted", 1200, 37, Ucs2({0x41, 0x20AC}), Bytes({0xC1, 0x3F})},
        {"ucs-2 above 0xFF to ascii", 1200, 819, Ucs2({0x41, 0x0141}), Bytes({0x41, 0x1A})},
        {"ucs-2 to 850", 1200, 850, Ucs2({0xE9}), Bytes({0x82})},
        {"utf-8 to 37", 1208, 37, "A\xC3\xA9", Bytes({0xC1, 0x51})},
        {"37 to utf-8", 37, 1208, Bytes({0xC1, 0x51}), "A\xC3\xA9"},
        {"850 to latin-1", 850, 819, Bytes({0x82}), "\xE9"},
        {"ebcdic exchange 37 to 1047", 37, 1047, Bytes({0xBA, 0xBB, 0x7C, 0xC1}),
         Bytes({0xAD, 0xBD, 0x7C, 0xC1})},
        {"ebcdic exchange unknown page", 37, 273, Bytes({0xBA}), Bytes({0xBA})},
    };
    for (const Case& c : cases) {
        Converted result = Convert(context_, c.source, c.target, c.input);
        EXPECT_EQ(result.rc, 0) << c.name;
        EXPECT_EQ(Hex(result.output), Hex(c.expected)) << c.name;
    }
}

TEST_F(FallbackTest, Errors) {
    struct Case {
        const char* name;
        int32_t source;
        int32_t target;
        std::string input;
        size_t room;
        int expected;
    } cases[] = {
        {"odd ucs-2", 1200, 37, Bytes({0x41}), 16, ARC_ICONV_INVALID_INPUT},
        {"bad utf-8", 1208, 37, Bytes({0xFF}), 16, ARC_ICONV_INVALID_INPUT},
        {"cut utf-8", 1208, 37, Bytes({0xC3}), 16, ARC_ICONV_INCOMPLETE_INPUT},
        {"too small", 819, 1200, "AB", 3, ARC_ICONV_OUTPUT_TOO_SMALL},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Convert(context_, c.source, c.target, c.input, c.room).rc, c.expected) << c.name;
    }
}

TEST(CodepageService, MissingTableWithoutIgnoreFlagFails) {
    TempDir dir;
    WriteBinary(dir.Path() + "/qelcpcs.cfg", "# nothing\n");
    StagedContext context(dir.Path());
    ASSERT_EQ(context.rc(), 0);
    ArcIconvHandle* handle = reinterpret_cast<ArcIconvHandle*>(1);
    EXPECT_EQ(ArcICONV_Open(context.get(), 819, 37, &handle), ARC_ICONV_NOT_SUPPORTED);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(ArcICONV_Close(nullptr), 0);
}

}  // namespace
}  // namespace qel::codepage::test
