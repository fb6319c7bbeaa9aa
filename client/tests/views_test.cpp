// Document views: the view's name from DEFVIEW of the document's or the application's
// text, checked against VIEWS, and its attributes read from the view's section; lists
// and numbers out of bounds are kept within them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document_fixture.h"
#include "qel_client.h"

namespace {

using clienttest::AddTestDocument;
using clienttest::AddTestHit;
using clienttest::DocumentSpec;
using clienttest::FolderSpec;
using clienttest::GroupSpec;
using clienttest::MakeRow;
using clienttest::OpenTestFolder;

// The application's text: DEFVIEW Standard, two listed views.
const char kApplicationText[] =
    "[@_FIXED_@]\n"
    "DEFVIEW=Standard\n"
    "VIEWS=Standard,Wide\n"
    "[Standard]\n"
    "BKCOL=GREEN\n"
    "ZOOM=75\n"
    "[Wide]\n"
    "BKCOL=RED\n"
    "ZOOM=200\n";

FolderSpec ViewFolder(const std::string& applicationText) {
    FolderSpec spec;
    spec.fields = {{.name = "Name", .type = 'S'}};
    GroupSpec group;
    group.number = 7;
    group.name = "GROUP";
    group.fields = {{.name = "NAME", .type = 'S'}};
    group.applications = {{.name = "APP", .number = 3, .parameters = applicationText}};
    group.map = {0};
    spec.groups = {group};
    return spec;
}

class Views : public ::testing::Test {
protected:
    OpenDocument* Document(const std::string& documentText, int layoutFields = 0,
                           const std::string& applicationText = kApplicationText) {
        OpenFolder* folder = OpenTestFolder(&session_, ViewFolder(applicationText));
        SearchHit* hit = AddTestHit(folder, 0, MakeRow(folder->definition->groups[0], {"x"}));
        return AddTestDocument(&session_, folder, hit,
                               DocumentSpec{.parmText = documentText, .layoutFields = layoutFields});
    }
    // A document whose own text lists one view "V" with the given lines.
    OpenDocument* WithView(const std::string& lines, int layoutFields = 0) {
        return Document("[@_FIXED_@]\nDEFVIEW=V\nVIEWS=V\n[V]\n" + lines, layoutFields);
    }

    ClientSession session_;
};

void ExpectDefaults(const DocView& v, const char* where) {
    const DocView d;
    EXPECT_EQ(v.name, "") << where;
    EXPECT_EQ(v.background, 'W') << where;
    EXPECT_EQ(v.header, 'D') << where;
    EXPECT_EQ(v.selection, 'Y') << where;
    EXPECT_EQ(v.imageColour, 'B') << where;
    EXPECT_EQ(v.imageIntensity, 'M') << where;
    EXPECT_EQ(v.textFidelity, 'L') << where;
    EXPECT_EQ(v.greyScale, 'S') << where;
    EXPECT_EQ(v.overstrike, 'S') << where;
    EXPECT_EQ(v.zoom, 100) << where;
    EXPECT_EQ(v.contrast, 128) << where;
    EXPECT_EQ(v.brightness, 128) << where;
    EXPECT_EQ(v.copyGroup, 1) << where;
    EXPECT_EQ(v.lockHeader, 0) << where;
    EXPECT_EQ(v.lockedFields, 0) << where;
    EXPECT_EQ(v.orderCount, -1) << where;
    EXPECT_TRUE(v.fieldOrder.empty()) << where;
    EXPECT_FALSE(v.fromApplication) << where;
}

TEST_F(Views, TheNameComesFromTheDocumentThenTheApplication) {
    const std::string wide = "[@_FIXED_@]\nDEFVIEW=wide\nVIEWS=Standard,Wide\n[Wide]\nBKCOL=BLUE\nZOOM=300\n";
    struct Case {
        const char* name;
        std::string documentText;
        int ignoreDocument;
        const char* view;  // "" the default attributes
        bool fromApplication;
        char background;
        int zoom;
    };
    const Case cases[] = {
        {"the document's own view, matched without case", wide, 0, "Wide", false, 'L', 300},
        {"the document's text ignored", wide, 1, "Standard", true, 'G', 75},
        {"no document text", "", 0, "Standard", true, 'G', 75},
        {"a document text without DEFVIEW", "[@_FIXED_@]\nVIEWS=Wide\n", 0, "Standard", true, 'G', 75},
        {"DEFVIEW not listed in VIEWS", "[@_FIXED_@]\nDEFVIEW=Tall\nVIEWS=Standard,Wide\n[Tall]\nZOOM=5\n", 0,
         "", false, 'W', 100},
        {"DEFVIEW over 30 characters",
         "[@_FIXED_@]\nDEFVIEW=" + std::string(31, 'A') + "\nVIEWS=" + std::string(30, 'A') + "\n[" +
             std::string(30, 'A') + "]\nZOOM=5\n",
         0, "", false, 'W', 100},
    };
    for (const Case& c : cases) {
        OpenDocument* document = Document(c.documentText);
        Doc_ChooseView(document, nullptr, c.ignoreDocument);
        const DocView& v = document->view;
        EXPECT_EQ(v.name, c.view) << c.name;
        EXPECT_EQ(v.fromApplication, c.fromApplication) << c.name;
        EXPECT_EQ(v.background, c.background) << c.name;
        EXPECT_EQ(v.zoom, c.zoom) << c.name;
    }
}

TEST_F(Views, NoTextAtAllGivesTheDefaults) {
    OpenFolder* folder = OpenTestFolder(&session_, ViewFolder(""));
    SearchHit* hit = AddTestHit(folder, 0, MakeRow(folder->definition->groups[0], {"x"}));
    OpenDocument* document = AddTestDocument(&session_, folder, hit);
    document->view.zoom = 5;
    Doc_ChooseView(document, nullptr, 0);
    ExpectDefaults(document->view, "no application text");

    OpenDocument* unlisted = Document("", 0, "[@_FIXED_@]\nDEFVIEW=Gone\nVIEWS=Here\n[Gone]\nZOOM=5\n");
    DocView out;
    out.zoom = 7;
    Doc_ChooseView(unlisted, &out, 0);
    ExpectDefaults(out, "DEFVIEW of the application not listed");
    EXPECT_EQ(unlisted->view.zoom, 100) << "a view given by the caller leaves the document's alone";
}

TEST_F(Views, ApplyingANamedView) {
    OpenDocument* document = Document("");
    DocView out;
    EXPECT_TRUE(Doc_ApplyView(document, "WIDE", &out));
    EXPECT_EQ(out.name, "Wide");
    EXPECT_TRUE(out.fromApplication);
    EXPECT_EQ(out.background, 'R');
    EXPECT_EQ(out.zoom, 200);
    EXPECT_FALSE(Doc_ApplyView(document, "Narrow", &out));
    ExpectDefaults(out, "a name VIEWS does not list");
    EXPECT_FALSE(Doc_ApplyView(document, nullptr, &out));

    Doc_ApplyView(document, "Wide", nullptr);
    EXPECT_EQ(document->view.zoom, 200);
    Doc_DefaultView(document, nullptr);
    ExpectDefaults(document->view, "Doc_DefaultView");
}

// VIEWS keeps its first 20 names; a name over 30 characters is never listed.
TEST_F(Views, TheViewListIsBounded) {
    std::string views;
    for (int i = 1; i <= 21; ++i) views += (i > 1 ? "," : "") + std::string("V") + std::to_string(i);
    const std::string longName(31, 'L');
    views += ",," + longName;
    std::string sections;
    for (const std::string& name : {std::string("V20"), std::string("V21"), longName, longName.substr(0, 30)})
        sections += "[" + name + "]\nZOOM=150\n";
    const std::string text = "[@_FIXED_@]\nVIEWS=" + views + "\n" + sections;
    OpenDocument* document = Document(text);
    struct Case {
        std::string name;
        bool listed;
    };
    const Case cases[] = {{"V1", true},      {"v20", true}, {"V21", false},
                          {longName, false}, {"", false},   {longName.substr(0, 30), false}};
    for (const Case& c : cases) {
        DocView out;
        EXPECT_EQ(Doc_ApplyView(document, c.name.c_str(), &out), c.listed) << c.name;
        if (c.listed) {
            EXPECT_EQ(out.zoom, c.name == "V1" ? 100 : 150) << c.name;
        }
    }
}

TEST_F(Views, LettersOfTheViewKeys) {
    struct Case {
        const char* line;
        char DocView::*member;
        char expected;
    };
    const Case cases[] = {
        {"BKCOL=BLACK", &DocView::background, 'B'},       {"BKCOL=RED", &DocView::background, 'R'},
        {"BKCOL=BLUE", &DocView::background, 'L'},        {"BKCOL=GREEN", &DocView::background, 'G'},
        {"BKCOL=YELLOW", &DocView::background, 'Y'},      {"BKCOL=GREY", &DocView::background, '0'},
        {"BKCOL=BAR", &DocView::background, 'X'},         {"BKCOL=MAGENTA", &DocView::background, 'W'},
        {"BKCOL=WHITE", &DocView::background, 'W'},       {"HDCOL=GREY", &DocView::header, '0'},
        {"HDCOL=YELLOW", &DocView::header, 'Y'},          {"HDCOL=BAR", &DocView::header, 'D'},
        {"HDCOL=WHITE", &DocView::header, 'D'},           {"SACOL=WHITE", &DocView::selection, 'W'},
        {"SACOL=GREEN", &DocView::selection, 'G'},        {"SACOL=YELLOW", &DocView::selection, 'Y'},
        {"SACOL=CYAN", &DocView::selection, 'Y'},         {"IMGCOLOR=NONE", &DocView::imageColour, 'N'},
        {"IMGCOLOR=MAGENTA", &DocView::imageColour, 'M'}, {"IMGCOLOR=CYAN", &DocView::imageColour, 'C'},
        {"IMGCOLOR=GREY", &DocView::imageColour, '0'},    {"IMGCOLOR=DEFAULT", &DocView::imageColour, 'D'},
        {"IMGCOLOR=BAR", &DocView::imageColour, 'D'},     {"IMGINT=LITE", &DocView::imageIntensity, 'L'},
        {"IMGINT=NONE", &DocView::imageIntensity, 'N'},   {"IMGINT=NORM", &DocView::imageIntensity, 'M'},
        {"TXFID=WORD", &DocView::textFidelity, 'W'},      {"TXFID=CHAR", &DocView::textFidelity, 'C'},
        {"TXFID=DRAFT", &DocView::textFidelity, 'D'},     {"TXFID=240", &DocView::textFidelity, '2'},
        {"TXFID=LINE", &DocView::textFidelity, 'L'},      {"GRAYSCALE=SCALE", &DocView::greyScale, 'S'},
        {"GRAYSCALE=COLOR", &DocView::greyScale, 'C'},    {"GRAYSCALE=OTHER", &DocView::greyScale, 'C'},
        {"OVERSTRIKE=MERGE", &DocView::overstrike, 'M'},  {"OVERSTRIKE=FULL", &DocView::overstrike, 'F'},
        {"OVERSTRIKE=SEP", &DocView::overstrike, 'S'},    {"ZOOM=50", &DocView::background, 'W'},
    };
    for (const Case& c : cases) {
        DocView out;
        ASSERT_TRUE(Doc_ApplyView(WithView(std::string(c.line) + "\n"), "V", &out)) << c.line;
        EXPECT_EQ(out.*(c.member), c.expected) << c.line;
    }
}

TEST_F(Views, NumbersOfAView) {
    DocView out;
    ASSERT_TRUE(
        Doc_ApplyView(WithView("ZOOM=250\nCONTRAST=10\nBRIGHT=200\nCPYGRP=3\nLOCKHDR=1\n"), "V", &out));
    EXPECT_EQ(out.zoom, 250);
    EXPECT_EQ(out.contrast, 10);
    EXPECT_EQ(out.brightness, 200);
    EXPECT_EQ(out.copyGroup, 3);
    EXPECT_EQ(out.lockHeader, 1);
    ASSERT_TRUE(Doc_ApplyView(WithView("TXFID=WORD\n"), "V", &out));
    EXPECT_EQ(out.zoom, 100) << "keys the view leaves out keep their defaults";
    EXPECT_EQ(out.background, 'W');
    EXPECT_EQ(out.imageColour, 'B');
}

// Locked fields and the field order over a document with four layout fields: numbers
// outside 1..4 and repeats are dropped, the count is bounded by the fields.
TEST_F(Views, FieldOrderAndLockedFields) {
    struct Case {
        const char* lines;
        int layoutFields;
        int locked;
        int orderCount;
        std::vector<int32_t> order;
    };
    const Case cases[] = {
        {"FLDDISPORD=3,1,2\nLOCKEDFLDS=2\n", 4, 2, 3, {3, 1, 2}},
        {"FLDDISPORD=\n", 4, 0, 4, {1, 2, 3, 4}},
        {"FLDDISPORD=-1,2\n", 4, 0, -1, {}},
        {"LOCKEDFLDS=1\n", 4, 1, -1, {}},
        {"FLDDISPORD=0,5,2,2,-3,9,1\n", 4, 0, 2, {2, 1}},
        {"FLDDISPORD=7,8\nLOCKEDFLDS=9\n", 4, 4, 4, {1, 2, 3, 4}},
        {"LOCKEDFLDS=-3\n", 4, 0, -1, {}},
        {"FLDDISPORD=1,2\nLOCKEDFLDS=2\n", 0, 0, 0, {}},
        {"ZOOM=120\n", 0, 0, 0, {}},
    };
    for (const Case& c : cases) {
        DocView out;
        ASSERT_TRUE(Doc_ApplyView(WithView(c.lines, c.layoutFields), "V", &out)) << c.lines;
        EXPECT_EQ(out.lockedFields, c.locked) << c.lines;
        EXPECT_EQ(out.orderCount, c.orderCount) << c.lines;
        EXPECT_EQ(out.fieldOrder, c.order) << c.lines;
    }
}

}  // namespace
