// The line-data reader on documents made in memory: carriage control and paging, record
// formats and their damaged forms, conversion (tables, double-byte, mixed EBCDIC, the
// code-page service), lines and their ranges, the page limit, the layout keys.
#include <gtest/gtest.h>

#include "ldr_internal.h"
#include "ldr_test_support.h"
#include "qel_client.h"
#include "qel_parm.h"

namespace {

using namespace ldrtest;
using Pages = std::vector<std::vector<std::string>>;

ArcIconvContext* Iconv() {
    static ArcIconvContext* context = [] {
        ArcIconvContext* c = nullptr;
        return ArcICONV_Startup(&c, QEL_STAGE_DIR "/locale") == ARC_ICONV_OK ? c : nullptr;
    }();
    return context;
}

// A document over its own bytes and reader.
struct Doc {
    Harness h;
    MemoryStream stream;
    ArcLdrDocument* document = nullptr;

    ArcLdrDocument* Open(std::vector<unsigned char> bytes, ArcLdrOptions options, int32_t limit = 0,
                         int32_t outputCcsid = 819, bool convert = false) {
        stream.bytes = std::move(bytes);
        options.user = &stream;
        if (!h.reader && !h.Make(outputCcsid, convert, Iconv())) return nullptr;
        document = ArcLDR_OpenDocument(h.reader.get(), options, limit);
        return document;
    }
};

ArcLdrOptions V(char cc = 'N', int32_t linesPerPage = 0, int32_t ccsid = 819) {
    ArcLdrOptions o;
    o.recordFormat = 'V';
    o.carriageControl = cc;
    o.linesPerPage = linesPerPage;
    o.dataCodePage = ccsid;
    return o;
}

// ---------------------------------------------------------------------------
// Carriage control and pages
// ---------------------------------------------------------------------------

struct PagingCase {
    const char* name;
    char cc;
    char overstrike;
    std::vector<std::string> records;
    Pages pages;
};

TEST(LdrPaging, CarriageControlCutsPagesAndSpacesLines) {
    const PagingCase cases[] = {
        {"ANSI 0 then 1", 'A', 'S', {"0A", "1B"}, {{"", "A"}, {"B"}}},
        {"ANSI minus gives two blank lines", 'A', 'S', {" A", "-B"}, {{"A", "", "", "B"}}},
        {"ANSI unknown control prints", 'A', 'S', {" A", "XB"}, {{"A", "B"}}},
        {"ANSI overprint apart", 'A', 'S', {" AB  E", "+__ X"}, {{"AB  E", "__ X"}}},
        {"ANSI overprint merged", 'A', 'M', {" AB  E", "+ _ XYZ"}, {{"A_ XYZ"}}},
        {"overprint first on its page",
         'M',
         'M',
         {"\x89"
          "A",
          "\x01"
          "C"},
         {{"A"}, {"C"}}},
        {"machine spacing after",
         'M',
         'S',
         {"\x11"
          "A",
          "\x19"
          "B",
          "\x09"
          "C"},
         {{"A", "", "B", "", "", "C"}}},
        {"machine immediate spacing",
         'M',
         'S',
         {"\x09"
          "A",
          "\x13",
          "\x1B"
          "B"},
         {{"A", "", "", "", "", "B"}}},
        {"machine new page after",
         'M',
         'S',
         {"\x89"
          "A",
          "\x09"
          "B"},
         {{"A"}, {"B"}}},
        {"machine skip alone makes no line",
         'M',
         'S',
         {"\x09"
          "A",
          "\x8B",
          "\x09"
          "B"},
         {{"A"}, {"B"}}},
        {"machine skip with text makes a line",
         'M',
         'S',
         {"\x09"
          "A",
          "\x8B"
          "B"},
         {{"A"}, {"B"}}},
        {"last page without lines dropped",
         'M',
         'S',
         {"\x09"
          "A",
          "\x8B"},
         {{"A"}}},
        {"machine overprint merged",
         'M',
         'M',
         {"\x09"
          "AB",
          "\x01"
          " C"},
         {{"AC"}}},
        {"no carriage control form feed", 'N', 'S', {"A", "\fB", "C\fD"}, {{"A"}, {"B", "CD"}}},
        {"control bytes of another set are text", 'N', 'S', {"1A", "0B"}, {{"1A", "0B"}}},
    };
    for (const PagingCase& c : cases) {
        SCOPED_TRACE(c.name);
        Doc d;
        ArcLdrOptions o = V(c.cc);
        o.overstrike = c.overstrike;
        ASSERT_NE(d.Open(VRecords(c.records), o), nullptr);
        EXPECT_EQ(AllPages(d.document), c.pages);
    }
}

TEST(LdrPaging, LinesPerPageStartsRecord61OnPage2) {
    std::vector<std::string> records;
    for (int i = 1; i <= 121; ++i) records.push_back(" L" + std::to_string(i));
    Doc d;
    ASSERT_NE(d.Open(VRecords(records), V('A', 60)), nullptr);
    const Pages pages = AllPages(d.document);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].size(), 60u);
    EXPECT_EQ(pages[1].front(), "L61");
    EXPECT_EQ(pages[2], std::vector<std::string>{"L121"});
    // Blank lines count towards the page: a '0' record takes two of the 60.
    records[1] = "0L2";
    Doc e;
    ASSERT_NE(e.Open(VRecords(records), V('A', 60)), nullptr);
    ASSERT_TRUE(ArcLDR_GotoPage(e.document, 1));
    EXPECT_EQ(PageLines(e.document).front(), "L60");
}

TEST(LdrPaging, CountsOfPagesAndWidths) {
    Doc d;
    ASSERT_NE(d.Open(VRecords({" ABC", "+DEFGH", "0X", "1", " 123456789"}), V('A')), nullptr);
    const ArcLdrDocumentInfo info = ArcLDR_GetInfo(d.document);
    EXPECT_EQ(info.pageCount, 2);
    EXPECT_EQ(info.maxLines, 4);         // ABC, DEFGH, blank, X
    EXPECT_EQ(info.maxPrintedLines, 3);  // the overprint is not printed again
    EXPECT_EQ(info.widestRecord, 10);
    EXPECT_EQ(info.widestLine, 9);
    EXPECT_EQ(info.currentPage, -1);
}

TEST(LdrPaging, FormFeedThroughTheServiceStartsAPage) {
    ASSERT_NE(Iconv(), nullptr);
    Doc d;
    // "AB", then a form feed and "CD" in code page 37.
    ASSERT_NE(d.Open(VRecords({"\xC1\xC2", "\x0C\xC3\xC4"}), V('N', 0, 37), 0, 1208, true), nullptr);
    EXPECT_TRUE(ArcLDR_GetInfo(d.document).converted);
    EXPECT_EQ(AllPages(d.document), (Pages{{"AB"}, {"CD"}}));
}

TEST(LdrPaging, EbcdicAnsiControlsAreEbcdicCharacters) {
    ASSERT_NE(Iconv(), nullptr);
    Doc d;
    // '0' is 0xF0 and '1' is 0xF1 in code page 37.
    ASSERT_NE(d.Open(VRecords({"\xF0\xC1", "\xF1\xC2", "\x4E\xC3"}), V('A', 0, 37), 0, 1208, true), nullptr);
    EXPECT_EQ(AllPages(d.document), (Pages{{"", "A"}, {"B", "C"}}));
}

TEST(LdrPaging, PageLimitKeepsTheFirstPages) {
    std::vector<std::string> records;
    for (int i = 0; i < 10; ++i) records.push_back("1P" + std::to_string(i));
    for (int32_t limit : {1, 2, 9, 10, 11}) {
        SCOPED_TRACE(limit);
        Doc d;
        ASSERT_NE(d.Open(VRecords(records), V('A'), limit), nullptr);
        const int32_t expected = std::min(limit, 10);
        EXPECT_EQ(ArcLDR_GetInfo(d.document).pageCount, expected);
        ASSERT_TRUE(ArcLDR_GotoPage(d.document, expected - 1));
        EXPECT_EQ(PageLines(d.document), std::vector<std::string>{"P" + std::to_string(expected - 1)});
        EXPECT_FALSE(ArcLDR_GotoPage(d.document, expected));
    }
}

TEST(LdrPaging, GotoPageRefusesPagesOutsideTheDocument) {
    Doc d;
    ASSERT_NE(d.Open(VRecords({"1A", "1B"}), V('A')), nullptr);
    for (int32_t page : {-1, 2, 1000}) {
        EXPECT_FALSE(ArcLDR_GotoPage(d.document, page)) << page;
        EXPECT_EQ(ArcLDR_GetInfo(d.document).currentPage, -1);
        EXPECT_FALSE(ArcLDR_GetLine(d.document, 0, 0, 0, false));
    }
    ASSERT_TRUE(ArcLDR_GotoPage(d.document, 1));
    EXPECT_EQ(ArcLDR_GetInfo(d.document).lineCount, 1);
    // A page that cannot be read leaves no page current.
    d.stream.refuseSeek = true;
    EXPECT_FALSE(ArcLDR_GotoPage(d.document, 0));
    EXPECT_EQ(ArcLDR_GetInfo(d.document).currentPage, -1);
}

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

TEST(LdrRecords, VariableLengthAbove1000EndsTheDocument) {
    std::vector<unsigned char> bytes = VRecords({" A", " B"});
    AddV(&bytes, " " + std::string(1000, 'x'));  // 1001 bytes
    AddV(&bytes, " C");
    Doc d;
    ASSERT_NE(d.Open(bytes, V('A')), nullptr);
    EXPECT_EQ(AllPages(d.document), (Pages{{"A", "B"}}));
    // Exactly 1000 is a record.
    Doc e;
    ASSERT_NE(e.Open(VRecords({" " + std::string(999, 'y')}), V('A')), nullptr);
    EXPECT_EQ(AllPages(e.document), (Pages{{std::string(999, 'y')}}));
}

TEST(LdrRecords, RecordsShorterThanTheirPrefixAreBlankLines) {
    ArcLdrOptions trc = V('A');
    trc.trc = true;
    struct Case {
        const char* name;
        ArcLdrOptions options;
        std::vector<std::string> records;
        Pages pages;
    } cases[] = {
        {"V length 0 without control", V('N'), {"A", "", "B"}, {{"A", "", "B"}}},
        {"V length 0 with control", V('A'), {" A", "", " B"}, {{"A", "", "B"}}},
        {"V length 1 with TRC", trc, {" xA", " ", " xB"}, {{"A", "", "B"}}},
        {"V length 1 with TRC and a skip", trc, {" xA", "1", " xB"}, {{"A"}, {"", "B"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Doc d;
        ASSERT_NE(d.Open(VRecords(c.records), c.options), nullptr);
        EXPECT_EQ(AllPages(d.document), c.pages);
    }
}

TEST(LdrRecords, DamagedVariableRecords) {
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        Pages pages;  // empty: no document
    } cases[] = {
        {"nothing", {}, {}},
        {"one length byte", {0x00}, {}},
        {"record cut off keeps its bytes", {0x00, 0x05, 'A', 'B'}, {{"AB"}}},
        {"length only", {0x00, 0x05}, {}},
        {"length 1001 first", {0x03, 0xE9, 'A'}, {}},
        {"zero bytes are blanks", {0x00, 0x03, 'A', 0x00, 'B'}, {{"A B"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Doc d;
        ArcLdrDocument* document = d.Open(c.bytes, V('N'));
        if (c.pages.empty()) {
            EXPECT_EQ(document, nullptr);
            continue;
        }
        ASSERT_NE(document, nullptr);
        EXPECT_EQ(AllPages(document), c.pages);
    }
}

TEST(LdrRecords, FixedRecords) {
    struct Case {
        const char* name;
        int32_t length;
        bool trc;
        std::string bytes;
        Pages pages;  // empty: no document
    } cases[] = {
        {"three records", 3, false, " AB CD0EF", {{"AB", "CD", "", "EF"}}},
        {"last record cut off", 3, false, " AB C", {{"AB", "C"}}},
        {"TRC taken off", 4, true, " xAB1yCD", {{"AB"}, {"CD"}}},
        {"record shorter than its prefix", 1, true, "  1", {{"", ""}, {""}}},
        {"length 0", 0, false, " AB", {}},
        {"length 1001", 1001, false, std::string(2002, ' '), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Doc d;
        ArcLdrOptions o = V('A');
        o.recordFormat = 'F';
        o.recordLength = c.length;
        o.trc = c.trc;
        ArcLdrDocument* document = d.Open(Bytes(c.bytes), o);
        if (c.pages.empty()) {
            EXPECT_EQ(document, nullptr);
            continue;
        }
        ASSERT_NE(document, nullptr);
        EXPECT_EQ(AllPages(document), c.pages);
    }
}

TEST(LdrRecords, DelimitersFromTheirText) {
    struct Case {
        const char* name;
        std::optional<std::string> text;
        std::vector<std::string> lines;
        bool reported;
    } cases[] = {
        {"missing key: line feed", std::nullopt, {"A\r", "B", "C,,D"}, false},
        {"empty: CR LF", "", {"A", "B\nC,,D"}, false},
        {"two bytes", "2C2C", {"A\r\nB\nC", "D"}, false},
        {"lower-case hex", "0d0a", {"A", "B\nC,,D"}, false},
        {"odd length falls back", "0D0", {"A\r", "B", "C,,D"}, true},
        {"not hex falls back", "0G", {"A\r", "B", "C,,D"}, true},
        {"17 characters fall back", "0D0A0D0A0D0A0D0A0", {"A\r", "B", "C,,D"}, true},
        {"18 characters fall back", "0D0A0D0A0D0A0D0A0D", {"A\r", "B", "C,,D"}, true},
        {"16 characters are read", "414141414141410A", {"A\r\nB\nC,,D"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Doc d;
        ArcLdrOptions o = V('N');
        o.recordFormat = 'S';
        o.recordDelimiter = c.text;
        ASSERT_NE(d.Open(Bytes("A\r\nB\nC,,D"), o), nullptr);
        EXPECT_EQ(AllPages(d.document), Pages{c.lines});
        EXPECT_EQ(!d.h.errors.empty(), c.reported);
        if (c.reported) {
            EXPECT_EQ(d.h.errors.front(), ARC_ICONV_INVALID_INPUT);
        }
    }
}

TEST(LdrRecords, DelimitedRecordsWithoutADelimiterAreCutAt991) {
    Doc d;
    ArcLdrOptions o = V('N');
    o.recordFormat = 'S';
    o.recordDelimiter = "0D0A";
    // 2000 bytes without a delimiter, then one record; then 991 bytes followed by the
    // delimiter straddling the block, which is one record.
    std::string bytes;
    for (int i = 0; i < 2000; ++i) bytes += static_cast<char>('a' + i % 26);
    bytes += "\r\nY\r\n" + std::string(991, 'z') + "\r\nEND";
    ASSERT_NE(d.Open(Bytes(bytes), o), nullptr);
    const Pages pages = AllPages(d.document);
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].size(), 6u);
    EXPECT_EQ(pages[0][0], bytes.substr(0, 991));
    EXPECT_EQ(pages[0][1], bytes.substr(991, 991));
    EXPECT_EQ(pages[0][2], bytes.substr(1982, 18));
    EXPECT_EQ(pages[0][3], "Y");
    EXPECT_EQ(pages[0][4], std::string(991, 'z'));
    EXPECT_EQ(pages[0][5], "END");
    EXPECT_LE(d.stream.largestRead, ARC_LDR_DELIMITED_BLOCK + 2);
}

TEST(LdrRecords, DelimitedPagesReadFromTheirPositions) {
    Doc d;
    ArcLdrOptions o = V('A');
    o.recordFormat = 'S';
    o.recordDelimiter = "";
    ASSERT_NE(d.Open(Bytes(" A\r\n B\r\n1C\r\n D\r\n1E"), o), nullptr);
    ASSERT_TRUE(ArcLDR_GotoPage(d.document, 2));
    EXPECT_EQ(PageLines(d.document), std::vector<std::string>{"E"});
    ASSERT_TRUE(ArcLDR_GotoPage(d.document, 1));
    EXPECT_EQ(PageLines(d.document), (std::vector<std::string>{"C", "D"}));
}

// ---------------------------------------------------------------------------
// Conversion
// ---------------------------------------------------------------------------

TEST(LdrConvert, DoubleBytePairsThroughTheCallersTable) {
    std::vector<uint16_t> codes(20000);
    for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<uint16_t>(0x8000 + i);
    struct Case {
        int32_t mode;
        uint16_t pair;
        int expected;  // the entry, or -1 for "@@"
    } cases[] = {
        {0, 0x4040, 0},
        {0, 0x4141, 0x4141 - 16704},
        {0, 0x4140, -1},
        {0, 0x0E0F, -1},
        {0, 0xFCFC, -1},
        {0, 20000 + 16703, 19999},
        {0, 20000 + 16704, -1},
        {16, 0x4141, 0x4141 - 16704},
        {16, 20544, 20544 - 16704},
        {16, 20545, 20545 - 17795},
        {16, 33856, 33856 - 17795},
        {16, 33857, 33857 - 23857},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << std::hex << c.pair);
        const auto out = qelldr::ConvertPair(codes, c.mode, c.pair);
        if (c.expected < 0) {
            EXPECT_EQ(std::string(out.data(), 2), "@@");
        } else {
            const uint16_t code = codes[static_cast<size_t>(c.expected)];
            EXPECT_EQ(static_cast<unsigned char>(out[0]), code >> 8);
            EXPECT_EQ(static_cast<unsigned char>(out[1]), code & 0xFF);
        }
    }
    EXPECT_EQ(std::string(qelldr::ConvertPair({}, 0, 0x4141).data(), 2), "@@");
}

TEST(LdrConvert, WithoutADoubleByteTableEveryPairIsUnknown) {
    Doc d;
    // CCSID 300 is double-byte; the lone last byte is one substitute.
    ASSERT_NE(d.Open(VRecords({"\x45\x41\x45\x42\x40\x40\x45"}), V('N', 0, 300)), nullptr);
    EXPECT_EQ(AllPages(d.document), (Pages{{"@@@@@@@"}}));
    EXPECT_EQ(ArcLDR_GetInfo(d.document).charKind, 'D');
}

TEST(LdrConvert, MixedDataThroughTables) {
    struct Case {
        const char* name;
        char shiftKind;
        std::string record;
        std::string line;
        int32_t chars;
    } cases[] = {
        {"shift bytes become blanks", '1', "\xC1\x0E\x41\x41\x0F\xC2", "A \x81\x01 B", 5},
        {"shift kind 2 drops them", '2', "\xC1\x0E\x41\x41\x0F\xC2",
         "A\x81\x01"
         "B",
         3},
        {"lone byte before shift-in", '2', "\x0E\x41\x41\x42\x0F\xC3", "\x81\x01@C", 3},
        {"lone byte at the end", '2', "\x0E\x41", "@", 1},
        {"unknown pair", '2', "\x0E\xFC\xFC\x0F", "@@", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Doc d;
        d.h.dbcs = {0x8000, 0x8101, 0x8202};
        ArcLdrOptions o = V('N', 0, 930);
        o.shiftKind = c.shiftKind;
        ASSERT_NE(d.Open(VRecords({c.record}), o), nullptr);
        EXPECT_EQ(ArcLDR_GetInfo(d.document).charKind, 'C');
        ASSERT_TRUE(ArcLDR_GotoPage(d.document, 0));
        const auto line = ArcLDR_GetLine(d.document, 0, 0, 0, false);
        ASSERT_TRUE(line);
        EXPECT_EQ(std::string(line->text), c.line);
        EXPECT_EQ(line->width, c.chars);
        // The single-byte part's table is asked for, not the mixed CCSID's.
        EXPECT_EQ(d.h.tableRequests, std::vector<int32_t>{290});
    }
}

TEST(LdrConvert, MixedDataThroughTheServiceKeepsColumnsAndWholeLines) {
    ASSERT_NE(Iconv(), nullptr);
    const std::string kanji = "\x45\x62";  // U+65E5 in 930, three bytes in UTF-8
    struct Case {
        const char* name;
        char shiftKind;
        std::string record;
        int32_t chars;
        size_t bytes;
    } cases[] = {
        {"shift bytes become blanks", '1', "\xC1\x0E" + kanji + "\x0F\xC2", 5, 1 + 1 + 3 + 1 + 1},
        {"shift kind 2", '2', "\xC1\x0E" + kanji + "\x0F\xC2", 3, 5},
        {"lone byte", '2', "\x0E" + kanji + "\x45\x0F", 2, 3 + 1},
        {"998 double bytes grow to 1497", '2',
         "\x0E" +
             [&] {
                 std::string s;
                 for (int i = 0; i < 499; ++i) s += kanji;
                 return s;
             }() +
             "\x0F",
         499, 1497},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Doc d;
        ArcLdrOptions o = V('N', 0, 930);
        o.shiftKind = c.shiftKind;
        ASSERT_NE(d.Open(VRecords({c.record}), o, 0, 1208, true), nullptr);
        EXPECT_TRUE(ArcLDR_GetInfo(d.document).converted);
        ASSERT_TRUE(ArcLDR_GotoPage(d.document, 0));
        const auto line = ArcLDR_GetLine(d.document, 0, 0, 0, false);
        ASSERT_TRUE(line);
        EXPECT_EQ(line->width, c.chars);
        EXPECT_EQ(line->text.size(), c.bytes);
        EXPECT_TRUE(d.h.errors.empty());
    }
}

TEST(LdrConvert, SingleByteTables) {
    // A configured table: comment lines, a line feed line, a target 0 left blank, bad lines.
    auto line = [](const std::string& text) { return text + std::string(80 - text.size(), ' '); };
    const std::string table = line("; comment C1 41") + line("\n") + line("X C1 = 61") + line("X C2 = 00") +
                              line("X C3 = 6") + line("X C4 = 6G") + line("X C5 = 65");
    struct Case {
        const char* name;
        int32_t ccsid;
        bool configured;
        std::string record;
        std::string line;
    } cases[] = {
        {"configured", 37, true, "\xC1\xC2\xC3\xC4\xC5", "a   e"},
        {"built-in EBCDIC", 37, false, "\xC8\x85\x93\x93\x96", "Hello"},
        {"built-in EBCDIC zero byte", 500, false, std::string("\xC1\x00\xC2", 3), "A B"},
        {"identity", 850, false, "\xC1\x82", "\xC1\x82"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Doc d;
        if (c.configured) d.h.tables[c.ccsid] = table;
        ASSERT_NE(d.Open(VRecords({c.record}), V('N', 0, c.ccsid)), nullptr);
        EXPECT_EQ(AllPages(d.document), (Pages{{c.line}}));
    }
}

TEST(LdrConvert, TablesAreAskedForOncePerReader) {
    Doc d;
    ASSERT_NE(d.Open(VRecords({"\xC1"}), V('N', 0, 37)), nullptr);
    MemoryStream second;
    second.bytes = VRecords({"\xC2"});
    ArcLdrOptions o = V('N', 0, 37);
    o.user = &second;
    ArcLdrDocument* other = ArcLDR_OpenDocument(d.h.reader.get(), o, 0);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(AllPages(other), (Pages{{"B"}}));
    EXPECT_EQ(d.h.tableRequests, std::vector<int32_t>{37});
    EXPECT_EQ(ArcLDR_DocumentCount(d.h.reader.get()), 2u);
    ArcLDR_CloseDocument(other);
    EXPECT_EQ(ArcLDR_DocumentCount(d.h.reader.get()), 1u);
    ArcLDR_CloseDocument(nullptr);
    EXPECT_EQ(ArcLDR_DocumentCount(d.h.reader.get()), 1u);
}

TEST(LdrConvert, AConverterThatDoesNotOpenFallsBackToTheTable) {
    ASSERT_NE(Iconv(), nullptr);
    Doc d;
    ASSERT_NE(d.Open(VRecords({"\xC1\xC2"}), V('N', 0, 4711), 0, 1208, true), nullptr);
    EXPECT_FALSE(ArcLDR_GetInfo(d.document).converted);
    ASSERT_EQ(d.h.errors.size(), 1u);
    EXPECT_NE(d.h.errors[0], ARC_ICONV_OK);
    EXPECT_EQ(AllPages(d.document), (Pages{{"\xC1\xC2"}}));
}

TEST(LdrConvert, InvalidInputIsReportedAndTheRecordKept) {
    ASSERT_NE(Iconv(), nullptr);
    Doc d;
    // UTF-8 input with a byte that never starts a character.
    ASSERT_NE(d.Open(VRecords({"ok",
                               "A\xC0"
                               "B"}),
                     V('N', 0, 1208), 0, 819, true),
              nullptr);
    EXPECT_EQ(AllPages(d.document), (Pages{{"ok",
                                            "A\xC0"
                                            "B"}}));
    EXPECT_FALSE(d.h.errors.empty());
}

// ---------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------

TEST(LdrLines, RangesOfALine) {
    struct Case {
        int32_t column;
        int32_t width;
        bool words;
        const char* text;
        int32_t outColumn;
        int32_t outWidth;
    } cases[] = {
        {0, 0, false, "Hello brave new world", 0, 21},
        {7, 0, false, "Hello brave new world", 0, 21},
        {6, 5, false, "brave", 6, 5},
        {8, 5, false, "ave n", 8, 5},
        {8, 5, true, "brave new ", 6, 10},
        {-3, 5, false, "Hello", 0, 5},
        {6, -4, false, "Hello brave new world", 0, 21},
        {16, 100, false, "world", 16, 5},
        {21, 3, false, "", 21, 0},
        {40, 3, false, "", 21, 0},
        {22, 8, false, "", 21, 0},  // the widest line (30) leaves 8 after column 22
    };
    Doc d;
    ASSERT_NE(d.Open(VRecords({"Hello brave new world", std::string(30, '-')}), V('N')), nullptr);
    ASSERT_TRUE(ArcLDR_GotoPage(d.document, 0));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.column << "," << c.width << "," << c.words);
        const auto line = ArcLDR_GetLine(d.document, 0, c.column, c.width, c.words);
        ASSERT_TRUE(line);
        EXPECT_EQ(line->text, c.text);
        EXPECT_EQ(line->column, c.outColumn);
        EXPECT_EQ(line->width, c.outWidth);
    }
    // The width is cut to what the widest line leaves after the column.
    const auto cut = ArcLDR_GetLine(d.document, 1, 25, 50, false);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->width, 5);
    EXPECT_FALSE(ArcLDR_GetLine(d.document, 2, 0, 0, false));
    EXPECT_FALSE(ArcLDR_GetLine(d.document, -1, 0, 0, false));
    EXPECT_FALSE(ArcLDR_GetLine(nullptr, 0, 0, 0, false));
}

TEST(LdrLines, DoubleByteCharactersCountOnceAndAreNeverSplit) {
    Doc d;
    d.h.dbcs = {0x8000, 0x8101, 0x8202};
    ArcLdrOptions o = V('N', 0, 930);
    o.shiftKind = '2';
    // A, two double-byte characters, B.
    ASSERT_NE(d.Open(VRecords({"\xC1\x0E\x41\x41\x41\x42\x0F\xC2"}), o), nullptr);
    ASSERT_TRUE(ArcLDR_GotoPage(d.document, 0));
    const auto line = ArcLDR_GetLine(d.document, 0, 1, 2, false);
    ASSERT_TRUE(line);
    EXPECT_EQ(std::string(line->text), "\x81\x01\x82\x02");
    EXPECT_EQ(line->width, 2);
}

TEST(LdrLines, LockedFieldsStayInFrontOfTheScrolledPart) {
    struct Case {
        int32_t lockedFields;
        int32_t line, column, width;
        bool words;
        std::string text;
        int32_t outColumn, outWidth, outLocked;
    } cases[] = {
        {1, 0, 10, 8, false, "ID01 bet", 10, 4, 4},
        {1, 0, 0, 8, false, "ID01 alp", 4, 4, 4},  // the scrolled part starts after the block
        {1, 0, 10, 3, false, "ID0", 10, 0, 3},
        {1, 0, 12, 8, true, "ID01beta ", 11, 5, 4},  // words grow no further left than the block
        {1, 1, 10, 8, false, "X   ", 1, 0, 4},       // a short line is padded to the block
        {1, 0, 10, 0, false, "ID01 alpha beta gamma", 0, 21, 0},
        {0, 0, 10, 8, false, " beta ga", 10, 8, 0},
        {5, 0, 10, 8, false, "ID01 bet", 10, 4, 4},  // more locked fields than fields
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.lockedFields << ": " << c.line << "," << c.column << "," << c.width);
        Doc d;
        ArcLdrOptions o = V('A');
        o.lockedFields = c.lockedFields;
        o.fieldColumns = {{2, 5}};  // record columns over the control byte: line columns 0..3
        ASSERT_NE(d.Open(VRecords({" ID01 alpha beta gamma", " X"}), o), nullptr);
        ASSERT_TRUE(ArcLDR_GotoPage(d.document, 0));
        const auto line = ArcLDR_GetLine(d.document, c.line, c.column, c.width, c.words);
        ASSERT_TRUE(line);
        EXPECT_EQ(std::string(line->text), c.text);
        EXPECT_EQ(line->column, c.outColumn);
        EXPECT_EQ(line->width, c.outWidth);
        EXPECT_EQ(line->locked, c.outLocked);
    }
}

// ---------------------------------------------------------------------------
// Reader
// ---------------------------------------------------------------------------

TEST(LdrReader, CreateNeedsEveryCallback) {
    ArcLdrCallbacks all;
    all.read = MemoryRead;
    all.table = [](int32_t, std::string*, int32_t*) { return false; };
    all.error = [](void*, int) {};
    for (int missing = 0; missing < 3; ++missing) {
        SCOPED_TRACE(missing);
        ArcLdrCallbacks callbacks = all;
        if (missing == 0) callbacks.read = nullptr;
        if (missing == 1) callbacks.table = nullptr;
        if (missing == 2) callbacks.error = nullptr;
        ArcLdrReaderPtr reader;
        EXPECT_FALSE(ArcLDR_Create(&reader, callbacks, {}, 1208, false, nullptr));
        EXPECT_FALSE(reader);
    }
    ArcLdrReaderPtr reader;
    ArcLdrCallbacks callbacks = all;
    EXPECT_FALSE(ArcLDR_Create(nullptr, callbacks, {}, 1208, false, nullptr));
    ASSERT_TRUE(ArcLDR_Create(&reader, callbacks, {}, 1208, false, nullptr));
    EXPECT_EQ(ArcLDR_DocumentCount(reader.get()), 0u);
    ArcLDR_Destroy(&reader);
    EXPECT_FALSE(reader);
}

// ---------------------------------------------------------------------------
// Layout keys
// ---------------------------------------------------------------------------

std::string Fixed(const std::string& keys) { return "[" + ParmFixedSection() + "]\n" + keys; }

TEST(LdrLayout, RecordValuesBecomeLineValuesOfPage1) {
    struct Case {
        const char* name;
        int32_t pageHeader, fieldHeader, valueRow, valueColumn;
        std::string keys;
        int expectedPageHeader, expectedFieldHeader, expectedValueRow, expectedValueColumn;
        int fieldFirst, fieldSecond;
    } cases[] = {
        // Lines: 0 TITLE, 1 blank, 2 HEAD, 3 VAL 42, 4 blank, 5 blank, 6 MORE.
        {"every key", 1, 1, 3, 6, "PAGEHDRROWS=1\nFLDHDRROWS=1\nVALROW=3\nVALCOL=6\nFLD01=7,12,AMT,Amount\n",
         1, 2, 4, 4, 5, 10},
        {"header of two records", 2, 2, 4, 1, "PAGEHDRROWS=2\nFLDHDRROWS=2\nVALROW=4\nVALCOL=1\n", 3, 4, 7, 0,
         -1, -1},
        {"records past page 1 unchanged", 9, 1, 12, 2, "PAGEHDRROWS=9\nFLDHDRROWS=1\nVALROW=12\nVALCOL=2\n",
         9, 1, 12, 0, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Doc d;
        ArcLdrOptions o = V('A');
        o.trc = false;
        o.pageHeaderRows = c.pageHeader;
        o.fieldHeaderRows = c.fieldHeader;
        o.valueRow = c.valueRow;
        o.valueColumn = c.valueColumn;
        o.parmText = Fixed(c.keys);
        ASSERT_NE(d.Open(VRecords({"1TITLE", "0HEAD", " VAL 42", "-MORE", "1NEXT", " PAGE"}), o), nullptr);
        ASSERT_TRUE(ArcLDR_GotoPage(d.document, 1));
        ASSERT_TRUE(ArcLDR_SaveFixedLayout(d.document));
        EXPECT_EQ(ArcLDR_GetInfo(d.document).currentPage, 1);  // the page shown stays
        const auto& text = ArcLDR_LayoutText(d.document);
        ASSERT_TRUE(text);
        EXPECT_EQ(ParmGetPageHdrRows(text->c_str()), c.expectedPageHeader);
        EXPECT_EQ(ParmGetFldHdrRows(text->c_str()), c.expectedFieldHeader);
        EXPECT_EQ(ParmGetValRow(text->c_str()), c.expectedValueRow);
        EXPECT_EQ(ParmGetValCol(text->c_str()), c.expectedValueColumn);
        if (c.fieldFirst >= 0) {
            ParmFieldDef fields[PARM_MAX_FIELDS];
            ASSERT_EQ(ParmGetFields(text->c_str(), fields), 1);
            EXPECT_EQ(fields[0].first, c.fieldFirst);
            EXPECT_EQ(fields[0].second, c.fieldSecond);
            EXPECT_STREQ(fields[0].name, "AMT");
        }
    }
}

TEST(LdrLayout, ATextTooLongForTheBufferKeepsThePreviousOne) {
    Doc d;
    ArcLdrOptions o = V('A');
    o.pageHeaderRows = 1;
    o.parmText = Fixed("PAGEHDRROWS=1\n");
    ASSERT_NE(d.Open(VRecords({" A", " B"}), o), nullptr);
    ASSERT_TRUE(ArcLDR_SaveFixedLayout(d.document));
    const std::string first = *ArcLDR_LayoutText(d.document);
    Doc e;
    o.parmText = Fixed("PAGEHDRROWS=1\nX=" + std::string(ARC_LDR_LAYOUT_TEXT_MAX, 'x') + "\n");
    ASSERT_NE(e.Open(VRecords({" A", " B"}), o), nullptr);
    EXPECT_FALSE(ArcLDR_SaveFixedLayout(e.document));
    EXPECT_FALSE(ArcLDR_LayoutText(e.document));
    EXPECT_EQ(ParmGetPageHdrRows(first.c_str()), 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// Options from an open document
// ---------------------------------------------------------------------------

TEST(LdrOptions, FromAnOpenDocument) {
    OpenDocument document;
    document.recordFormat = 'F';
    document.recordLength = 133;
    document.carriageControl = 'M';
    document.trc = 1;
    document.dataCodePage = 500;
    document.linesPerPage = 66;
    document.shiftKind = '2';
    document.view.overstrike = 'M';
    document.pageHeaderRows = 3;
    document.fieldHeaderRows = 2;
    document.valueRow = 7;
    document.valueColumn = 12;
    document.recordDelimiter = "0D0A0D0A0D0A0D0A";  // the copy cut to 16 characters
    document.view.lockedFields = 2;
    document.layoutFields.resize(2);
    document.layoutFields[0].numbers[0] = 2;
    document.layoutFields[0].numbers[1] = 9;
    document.layoutFields[1].numbers[0] = 12;
    document.layoutFields[1].numbers[1] = 20;
    const ArcLdrOptions o = ArcLDR_OptionsFrom(document);
    EXPECT_EQ(o.recordFormat, 'F');
    EXPECT_EQ(o.recordLength, 133);
    EXPECT_EQ(o.carriageControl, 'M');
    EXPECT_TRUE(o.trc);
    EXPECT_EQ(o.dataCodePage, 500);
    EXPECT_EQ(o.linesPerPage, 66);
    EXPECT_EQ(o.shiftKind, '2');
    EXPECT_EQ(o.overstrike, 'M');
    EXPECT_EQ(o.pageHeaderRows, 3);
    EXPECT_EQ(o.fieldHeaderRows, 2);
    EXPECT_EQ(o.valueRow, 7);
    EXPECT_EQ(o.valueColumn, 12);
    EXPECT_EQ(o.lockedFields, 2);
    EXPECT_EQ(o.fieldColumns, (std::vector<std::array<int32_t, 2>>{{2, 9}, {12, 20}}));
    EXPECT_EQ(o.recordDelimiter, std::optional<std::string>("0D0A0D0A0D0A0D0A"));  // no parameter text

    // With the application's parameter text, RECDELIM is read from it as written.
    struct Case {
        const char* name;
        std::string keys;
        std::optional<std::string> delimiter;
        bool reported;
    } cases[] = {
        {"missing", "CC=YES\n", std::nullopt, false},
        {"empty", "RECDELIM=\n", "", false},
        {"two bytes", "RECDELIM=0D25\n", "0D25", false},
        {"18 characters", "RECDELIM=0D0A0D0A0D0A0D0A0D\n", "0D0A0D0A0D0A0D0A0D", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DocApplParmEntry parm;
        parm.text = Fixed(c.keys);
        document.parmEntry = &parm;
        ArcLdrOptions from = ArcLDR_OptionsFrom(document);
        EXPECT_EQ(from.parmText, parm.text);
        EXPECT_EQ(from.recordDelimiter, c.delimiter);
        from.recordFormat = 'S';
        from.carriageControl = 'N';
        Doc d;
        ASSERT_NE(d.Open(Bytes("A\nB"), from), nullptr);
        EXPECT_EQ(!d.h.errors.empty(), c.reported);
    }
    document.parmEntry = nullptr;
}
