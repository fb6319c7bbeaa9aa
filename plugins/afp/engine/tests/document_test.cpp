// Reading line-data text and AFP into pages; damaged and hostile input.
#include <gtest/gtest.h>

#include <optional>

#include "afp_fixture.h"
#include "document.h"
#include "text_layout.h"

using namespace knvw;
using namespace knvw_test;

namespace {

std::vector<std::string> PageLines(const Page& page) {
    std::vector<std::string> lines;
    for (const auto& run : page.runs) lines.push_back(run.text);
    return lines;
}

// Includes overlay name with its origin at (x, y).
std::string IncludeOverlay(const std::string& name, unsigned x, unsigned y) {
    std::string data = Name8(name);
    data += std::string{static_cast<char>(x >> 16), static_cast<char>(x >> 8), static_cast<char>(x)};
    data += std::string{static_cast<char>(y >> 16), static_cast<char>(y >> 8), static_cast<char>(y)};
    return Field(0xD3, 0xAF, 0xD8, data);
}

}  // namespace

TEST(LineData, PagesAndLines) {
    struct Case {
        const char* name;
        std::string text;
        int linesPerPage;
        std::vector<std::vector<std::string>> pages;
    };
    const std::vector<Case> cases = {
        {"form feeds", "one\ftwo\fthree", 0, {{"one"}, {"two"}, {"three"}}},
        {"form feed at the end closes the page", "one\ntwo\n\f", 0, {{"one", "two"}}},
        {"carriage returns dropped", "a\r\nb\r\n", 0, {{"a", "b"}}},
        {"tabs to the next stop, trailing blanks dropped", "a\tb   \n", 0, {{"a       b"}}},
        {"controls shown as blanks", std::string("x\x01y"), 0, {{"x y"}}},
        {"lines per page break long pages", "1\n2\n3\n4\n5", 2, {{"1", "2"}, {"3", "4"}, {"5"}}},
        {"empty pages kept between form feeds", "a\f\fb", 0, {{"a"}, {}, {"b"}}},
        // The formatter's pages: a line feed after every line, a form feed after every page.
        {"full pages as the formatter writes them", "1\n2\n\f3\n4\n\f", 2, {{"1", "2"}, {"3", "4"}}},
        {"blank lines before a form feed stay lines", "1\n\n\n\f2", 2, {{"1"}, {}, {"2"}}},
    };
    for (const auto& c : cases) {
        LineDataParms parms;
        parms.linesPerPage = c.linesPerPage;
        const Document d = ReadLineData(c.text, parms);
        ASSERT_EQ(d.pages.size(), c.pages.size()) << c.name;
        for (std::size_t p = 0; p < c.pages.size(); ++p)
            EXPECT_EQ(PageLines(d.pages[p]), c.pages[p]) << c.name;
    }
}

TEST(LineData, GeometryFollowsPitchAndSpacing) {
    LineDataParms parms{12, 8, 0};
    const Document d = ReadLineData("AB\n\nC", parms);
    ASSERT_EQ(d.pages.size(), 1u);
    const Page& page = d.pages[0];
    EXPECT_EQ(page.unitsPerInch, 1440);
    EXPECT_EQ(page.width, 8.5 * 1440);
    EXPECT_EQ(page.height, 11 * 1440);
    ASSERT_EQ(page.runs.size(), 2u);
    EXPECT_DOUBLE_EQ(page.runs[0].cellWidth, 120);   // 1440 / 12
    EXPECT_DOUBLE_EQ(page.runs[0].cellHeight, 180);  // 1440 / 8
    // The third line (the second is blank) lies two line heights below the first.
    EXPECT_DOUBLE_EQ(page.runs[1].baseline - page.runs[0].baseline, 360);
    EXPECT_DOUBLE_EQ(page.runs[0].x, 720);  // half-inch margin
}

TEST(LineData, WideTextWidensThePageUpToTheLargest) {
    const Document d = ReadLineData(std::string(200, 'W'), LineDataParms{10, 6, 0});
    EXPECT_DOUBLE_EQ(d.pages[0].width, 720 * 2 + 200 * 144.0);
    EXPECT_EQ(d.pages[0].runs[0].text.size(), 200u);
    // A line longer than a 100-inch page holds is cut at its edge.
    const Document huge = ReadLineData(std::string(50000, 'W'), LineDataParms{10, 6, 0});
    EXPECT_DOUBLE_EQ(huge.pages[0].width, kMaxPageInches * 1440);
    EXPECT_EQ(huge.pages[0].runs[0].text.size(), 990u);
}

TEST(PageTextLimit, HugePagesKeepABoundedText) {
    Page page;
    for (int n = 0; n < 3; ++n)
        page.runs.push_back(TextRun{0, 240.0 * (n + 1), 144, 240, std::string(600000, 'a')});
    const PageText text(page);
    EXPECT_LE(text.Text().size(), kMaxPageChars + 2);
    EXPECT_EQ(text.Text().size(), text.Cells().size());
}

TEST(LineData, FloodsOfPagesAndLinesStayBounded) {
    const Document pages = ReadLineData(std::string(kMaxPages + 50, '\f') + "x", LineDataParms{});
    EXPECT_EQ(pages.pages.size(), kMaxPages);
    EXPECT_TRUE(pages.truncated);
    const Document lines = ReadLineData(std::string(100000, '\n') + "end", LineDataParms{});
    EXPECT_GT(lines.pages.size(), 1u);  // lines beyond the largest page go on a new page
    for (const auto& page : lines.pages) EXPECT_LE(page.height, kMaxPageInches * 1440);
}

TEST(Afp, PagesTextAndSize) {
    const std::string afp = AfpDocument({{{1440, 1440, "Hello World"}, {1440, 1800, "second line"}},
                                         {{2880, 2160, "Page 2"}},
                                         {{100, 200, "Page 3"}}},
                                        8.5, 11);
    std::vector<Overlay> overlays;
    const Document d = ReadAfp(afp, overlays);
    ASSERT_EQ(d.pages.size(), 3u);
    EXPECT_FALSE(d.truncated);
    const Page& first = d.pages[0];
    EXPECT_DOUBLE_EQ(first.unitsPerInch, 1440);
    EXPECT_DOUBLE_EQ(first.width, 12240);
    EXPECT_DOUBLE_EQ(first.height, 15840);
    ASSERT_EQ(first.runs.size(), 2u);
    EXPECT_EQ(first.runs[0].text, "Hello World");
    EXPECT_DOUBLE_EQ(first.runs[0].x, 1440);
    EXPECT_DOUBLE_EQ(first.runs[0].baseline, 1440);
    EXPECT_EQ(first.runs[1].text, "second line");
    EXPECT_EQ(d.pages[1].runs[0].text, "Page 2");
    EXPECT_DOUBLE_EQ(d.pages[1].runs[0].x, 2880);
    EXPECT_EQ(PageText(first).Text(), "Hello World\nsecond line");
}

TEST(Afp, LandscapePageSize) {
    const Document d = [] {
        std::vector<Overlay> none;
        return ReadAfp(AfpDocument({{{0, 300, "X"}}}, 11, 8.5), none);
    }();
    ASSERT_EQ(d.pages.size(), 1u);
    EXPECT_DOUBLE_EQ(d.pages[0].width, 15840);
    EXPECT_DOUBLE_EQ(d.pages[0].height, 12240);
}

TEST(Afp, ControlSequences) {
    // Unchained sequences each with their own 0x2BD3; relative moves; a new line; a rule.
    std::string ptx;
    auto seq = [&](unsigned char type, std::string args) {
        ptx += "\x2B\xD3";
        ptx.push_back(static_cast<char>(2 + args.size()));
        ptx.push_back(static_cast<char>(type));
        ptx += args;
    };
    seq(0xD2, std::string("\x01\x00", 2));  // AMB 256
    seq(0xC6, std::string("\x00\x64", 2));  // AMI 100
    seq(0xDA, Ebcdic("AB"));                // TRN: inline position moves on by two cells
    seq(0xC8, std::string("\x00\x10", 2));  // RMI +16
    seq(0xDA, Ebcdic("C"));
    seq(0xD0, std::string("\x00\xF0", 2));  // SBI 240
    seq(0xD8, "");                          // BLN: next line at the margin (0)
    seq(0xDA, Ebcdic("D"));
    seq(0xE4, std::string("\x01\x00\x00\x05", 4));  // DIR 256 long, 5 thick
    const std::string afp = Field(0xD3, 0xA8, 0xAF) + Environment(8.5, 11) + Field(0xD3, 0xEE, 0x9B, ptx) +
                            Field(0xD3, 0xA9, 0xAF);
    std::vector<Overlay> overlays;
    const Document d = ReadAfp(afp, overlays);
    ASSERT_EQ(d.pages.size(), 1u);
    const auto& runs = d.pages[0].runs;
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].text, "AB");
    EXPECT_DOUBLE_EQ(runs[0].x, 100);
    EXPECT_DOUBLE_EQ(runs[0].baseline, 256);
    EXPECT_EQ(runs[1].text, "C");
    EXPECT_DOUBLE_EQ(runs[1].x, 100 + 2 * 144 + 16);
    EXPECT_EQ(runs[2].text, "D");
    EXPECT_DOUBLE_EQ(runs[2].x, 0);
    EXPECT_DOUBLE_EQ(runs[2].baseline, 256 + 240);
    ASSERT_EQ(d.pages[0].rules.size(), 1u);
    EXPECT_DOUBLE_EQ(d.pages[0].rules[0].x, 144);
    EXPECT_DOUBLE_EQ(d.pages[0].rules[0].width, 256);
    EXPECT_DOUBLE_EQ(d.pages[0].rules[0].height, 5);
}

TEST(Afp, CodePage37WhenTheFontSaysSo) {
    // 0x4F is '|' in code page 37 and '!' in code page 500.
    const std::string ptx = std::string("\x2B\xD3\x03\xDA\x4F", 5);
    const std::string mcf = Field(0xD3, 0xAB, 0x8A, std::string("\x00\x00", 2) + Ebcdic("T1V10037"));
    for (const auto& [prefix, expected] : {std::pair{std::string(), "!"}, std::pair{mcf, "|"}}) {
        const std::string afp =
            Field(0xD3, 0xA8, 0xAF) + prefix + Field(0xD3, 0xEE, 0x9B, ptx) + Field(0xD3, 0xA9, 0xAF);
        std::vector<Overlay> overlays;
        const Document d = ReadAfp(afp, overlays);
        ASSERT_EQ(d.pages.size(), 1u);
        ASSERT_EQ(d.pages[0].runs.size(), 1u);
        EXPECT_EQ(d.pages[0].runs[0].text, expected);
    }
}

TEST(Afp, OverlaysFromTheResourceFileAndFramesForTheRest) {
    // Include overlay O1 at (720, 1440) and an overlay nobody has; an image with its area.
    const std::string obd = Field(0xD3, 0xA6, 0x6B, std::string("\x09\x4C\x02\x00\x05\xA0\x00\x02\xD0", 9));
    const std::string obp =
        Field(0xD3, 0xAC, 0x6B, std::string("\x01\x17\x00\x01\x00\x00\x02\x00", 8) + std::string(15, '\0'));
    const std::string image = Field(0xD3, 0xA8, 0xFB) + obd + obp + Field(0xD3, 0xA9, 0xFB);
    const std::string afp =
        AfpDocument({{{0, 300, "Body"}}}, 8.5, 11,
                    IncludeOverlay("O1", 720, 1440) + IncludeOverlay("MISSING", 0, 0) + image);
    auto overlays = ReadAfpResources(AfpOverlay("O1", {{100, 200, "Overlay text"}}));
    ASSERT_EQ(overlays.size(), 1u);
    EXPECT_EQ(overlays[0].name, "O1");
    const Document d = ReadAfp(afp, overlays);
    ASSERT_EQ(d.pages.size(), 1u);
    const Page& page = d.pages[0];
    ASSERT_EQ(page.runs.size(), 2u);
    EXPECT_EQ(page.runs[0].text, "Overlay text");
    EXPECT_DOUBLE_EQ(page.runs[0].x, 820);
    EXPECT_DOUBLE_EQ(page.runs[0].baseline, 1640);
    ASSERT_EQ(page.frames.size(), 2u);
    EXPECT_EQ(page.frames[0].label, "overlay MISSING");
    EXPECT_EQ(page.frames[1].label, "image");
    EXPECT_DOUBLE_EQ(page.frames[1].x, 256);
    EXPECT_DOUBLE_EQ(page.frames[1].y, 512);
    EXPECT_DOUBLE_EQ(page.frames[1].width, 1440);
    EXPECT_DOUBLE_EQ(page.frames[1].height, 720);
}

TEST(Afp, TheFirstOverlayOfANameIsTheOneIncluded) {
    // Two in the resource file and one inside the document, all named O1.
    auto overlays =
        ReadAfpResources(AfpOverlay("O1", {{0, 200, "First"}}) + AfpOverlay("O1", {{0, 200, "Second"}}));
    ASSERT_EQ(overlays.size(), 2u);
    const std::string afp = AfpOverlay("O1", {{0, 200, "Inline"}}) +
                            AfpDocument({{{0, 300, "Body"}}}, 8.5, 11, IncludeOverlay("O1", 0, 0));
    const Document d = ReadAfp(afp, overlays);
    ASSERT_EQ(overlays.size(), 3u);
    ASSERT_EQ(d.pages.size(), 1u);
    EXPECT_EQ(PageLines(d.pages[0]), (std::vector<std::string>{"First", "Body"}));
}

TEST(Afp, OverlayCopiesStopWhenThePageIsFull) {
    // An overlay of 1000 image frames included 400 times: copies stop short of 200 000
    // items and the rest show as one frame each.
    std::string frames;
    for (int n = 0; n < 1000; ++n) frames += Field(0xD3, 0xA8, 0xFB) + Field(0xD3, 0xA9, 0xFB);
    const std::string overlay =
        Field(0xD3, 0xA8, 0xDF, Name8("MANY")) + frames + Field(0xD3, 0xA9, 0xDF, Name8("MANY"));
    std::string includes;
    for (int n = 0; n < 400; ++n) includes += IncludeOverlay("MANY", 0, 0);
    std::vector<Overlay> overlays = ReadAfpResources(overlay);
    ASSERT_EQ(overlays.size(), 1u);
    ASSERT_EQ(overlays[0].frames.size(), 1000u);
    const Document d = ReadAfp(AfpDocument({{{0, 300, "Body"}}}, 8.5, 11, includes), overlays);
    ASSERT_EQ(d.pages.size(), 1u);
    const auto& pageFrames = d.pages[0].frames;
    EXPECT_EQ(pageFrames.size(), 199u * 1000u + 201u);
    EXPECT_EQ(pageFrames.front().label, "image");
    EXPECT_EQ(pageFrames.back().label, "overlay MANY");
}

TEST(Afp, OverlayCopiesInTheWholeDocumentStayBounded) {
    // The same overlay included 100 times on each of 40 pages: each page has room, but the
    // copies of the document together stop (at some 70 MB here) and later pages show frames.
    std::string frames;
    for (int n = 0; n < 1000; ++n) frames += Field(0xD3, 0xA8, 0xFB) + Field(0xD3, 0xA9, 0xFB);
    std::vector<Overlay> overlays = ReadAfpResources(Field(0xD3, 0xA8, 0xDF, Name8("MANY")) + frames +
                                                     Field(0xD3, 0xA9, 0xDF, Name8("MANY")));
    std::string includes;
    for (int n = 0; n < 100; ++n) includes += IncludeOverlay("MANY", 0, 0);
    const Document d =
        ReadAfp(AfpDocument(std::vector<std::vector<TextAt>>(40), 8.5, 11, includes), overlays);
    ASSERT_EQ(d.pages.size(), 40u);
    EXPECT_EQ(d.pages.front().frames.size(), 100u * 1000u);
    std::size_t total = 0;
    for (const auto& page : d.pages) total += page.frames.size();
    EXPECT_LT(total, 1500u * 1000u);  // 4 million without the bound
    const auto& last = d.pages.back().frames;
    ASSERT_EQ(last.size(), 100u);
    EXPECT_EQ(last.front().label, "overlay MANY");
}

TEST(Afp, DamagedInputNeverCrashesAndKeepsWhatItCan) {
    const std::string good =
        AfpDocument({{{1440, 1440, "One"}}, {{1440, 1440, "Two"}}, {{1440, 1440, "Three"}}});
    // Every cut of a good document reads without harm and never invents pages.
    for (std::size_t n = 0; n <= good.size(); ++n) {
        std::vector<Overlay> overlays;
        const Document d = ReadAfp(std::string_view(good).substr(0, n), overlays);
        EXPECT_LE(d.pages.size(), 3u) << n;
    }
    struct Case {
        const char* name;
        std::string data;
        std::size_t pages;
        std::optional<std::size_t> damagedAt;
    };
    std::string lengthPastEnd = Field(0xD3, 0xA8, 0xAF);
    lengthPastEnd[1] = '\x7F';
    std::string lengthTooShort = Field(0xD3, 0xA8, 0xAF);
    lengthTooShort[2] = '\x03';
    const std::string badPtx =
        Field(0xD3, 0xA8, 0xAF) + Field(0xD3, 0xEE, 0x9B, std::string("\x2B\xD3\x00\xDA", 4)) +
        Field(0xD3, 0xEE, 0x9B, std::string("\x2B\xD3\x40\xDB\xC1", 5)) + Field(0xD3, 0xA9, 0xAF);
    const std::string zeroUnits =
        Field(0xD3, 0xA8, 0xAF) + Field(0xD3, 0xA6, 0xAF, std::string(15, '\0')) + Field(0xD3, 0xA9, 0xAF);
    const std::string hugeSize =
        Field(0xD3, 0xA8, 0xAF) +
        Field(0xD3, 0xA6, 0xAF, std::string("\0\0\0\1\0\1\xFF\xFF\xFF\xFF\xFF\xFF\0\0\0", 15)) +
        Field(0xD3, 0xA9, 0xAF);
    const std::vector<Case> cases = {
        // The Begin Page was read before the damage: its page shows.
        {"length past the end", lengthPastEnd, 1, 0},
        {"length below the header", lengthTooShort, 0, 0},
        {"text sequences with bad lengths", badPtx, 1, std::nullopt},
        {"zero units", zeroUnits, 1, std::nullopt},
        {"huge page size", hugeSize, 1, std::nullopt},
        {"garbage", std::string("\x5A\x00\x08\xD3\xA8\xAF\x00\x00\x00\x00\x00\x5A", 12), 1, 11},
        {"stray bytes between fields", Field(0xD3, 0xA8, 0xAF) + "xy" + Field(0xD3, 0xA9, 0xAF), 1, 9},
    };
    for (const auto& c : cases) {
        std::vector<Overlay> overlays;
        const Document d = ReadAfp(c.data, overlays);
        EXPECT_EQ(d.pages.size(), c.pages) << c.name;
        EXPECT_EQ(d.damagedAt, c.damagedAt) << c.name;
        EXPECT_EQ(d.truncated, c.damagedAt.has_value()) << c.name;
        for (const auto& page : d.pages) {
            EXPECT_GE(page.width, kMinPageInches * page.unitsPerInch) << c.name;
            EXPECT_LE(page.width, kMaxPageInches * page.unitsPerInch) << c.name;
            EXPECT_GT(page.unitsPerInch, 0) << c.name;
            PageText text(page);  // and the layout copes with whatever came in
        }
    }
}

// Damage in a real document: what was read up to it is drawn, and the first damaged
// byte is known.
TEST(Afp, DamagedDocumentKeepsWhatWasRead) {
    const std::string one = AfpDocument({{{1440, 1440, "HELLO WORLD"}}});
    const std::string two = AfpDocument({{{1440, 1440, "HELLO WORLD"}}, {{1440, 1440, "PAGE TWO"}}});
    // The first Presentation Text field: 0x5A, its length, then the identifier D3EE9B.
    const std::size_t text = one.find("\xD3\xEE\x9B") - 3;
    ASSERT_EQ(one[text], '\x5A');
    ASSERT_EQ(two.substr(0, text), one.substr(0, text));
    // Cut inside page 1's text: the page and the text before the cut.
    {
        const std::string cut = one.substr(0, one.find(Ebcdic("WORLD")) + 2);
        std::vector<Overlay> overlays;
        const Document d = ReadAfp(cut, overlays);
        ASSERT_EQ(d.pages.size(), 1u);
        EXPECT_EQ(PageText(d.pages[0]).Text(), "HELLO WO");
        EXPECT_EQ(d.damagedAt, text);
    }
    // The text field's length points past the end of the file: page 2 still reads.
    {
        std::string hostile = two;
        hostile[text + 1] = '\x7F';
        std::vector<Overlay> overlays;
        const Document d = ReadAfp(hostile, overlays);
        ASSERT_EQ(d.pages.size(), 2u);
        EXPECT_EQ(PageText(d.pages[0]).Text(), "HELLO WORLD");
        EXPECT_EQ(PageText(d.pages[1]).Text(), "PAGE TWO");
        EXPECT_EQ(d.damagedAt, text);
    }
}

TEST(Afp, HugePageCountsAreCapped) {
    const std::string page = Field(0xD3, 0xA8, 0xAF) + Field(0xD3, 0xA9, 0xAF);
    std::string afp;
    afp.reserve(page.size() * (kMaxPages + 10));
    for (std::size_t n = 0; n < kMaxPages + 10; ++n) afp += page;
    std::vector<Overlay> overlays;
    const Document d = ReadAfp(afp, overlays);
    EXPECT_EQ(d.pages.size(), kMaxPages);
    EXPECT_TRUE(d.truncated);
}

TEST(LoadDocument, ChoosesTheReaderByTheFirstByte) {
    const std::string afpPath = WriteTempFile("doc.afp", AfpDocument({{{0, 300, "A"}}, {{0, 300, "B"}}}));
    const std::string textPath = WriteTempFile("doc.txt", "line one\fline two\fline three\n");
    const std::string emptyPath = WriteTempFile("empty", "");
    const auto afp = LoadDocument(afpPath, "", std::nullopt);
    ASSERT_TRUE(afp);
    EXPECT_EQ(afp->kind, Document::Kind::Afp);
    EXPECT_EQ(afp->pages.size(), 2u);
    const auto text = LoadDocument(textPath, "", LineDataParms{10, 6, 60});
    ASSERT_TRUE(text);
    EXPECT_EQ(text->kind, Document::Kind::LineData);
    EXPECT_EQ(text->pages.size(), 3u);
    EXPECT_FALSE(LoadDocument(emptyPath, "", std::nullopt));
    EXPECT_FALSE(LoadDocument(afpPath + ".missing", "", std::nullopt));
    // A resource file that is not AFP is read safely and ignored.
    const std::string badResources = WriteTempFile("res.bin", "\x5A\xFF\xFF");
    EXPECT_TRUE(LoadDocument(afpPath, badResources, std::nullopt));
}
