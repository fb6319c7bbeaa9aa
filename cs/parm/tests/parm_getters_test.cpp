// Typed getters and setters of the reserved sections, view sections and field rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "qel_parm.h"

namespace {

std::string Fixed(const std::string& lines) { return "[@_FIXED_@]\n" + lines; }
std::string Print(const std::string& lines) { return "[@_PRINT_OPTIONS_@]\n" + lines; }

TEST(ParmFixedGetters, IntegersAndWords) {
    struct Case {
        const char* name;
        std::function<int(const char*)> get;
        std::string text;
        int expected;
    } cases[] = {
        {"CC missing", ParmGetCc, Fixed(""), 0},
        {"CC ANSI", ParmGetCc, Fixed("CC=ANSI\n"), 1},
        {"CC word read over its own length", ParmGetCc, Fixed("CC=ANSIX\n"), 1},
        {"CC MACH", ParmGetCc, Fixed("CC=MACH\n"), 2},
        {"CC unknown", ParmGetCc, Fixed("CC=ANS\n"), 0},
        {"PR SOSI2", ParmGetPr, Fixed("PR=SOSI2\n"), 2},
        {"PR unknown", ParmGetPr, Fixed("PR=SOSI\n"), 0},
        {"RECFM missing", ParmGetRecfm, Fixed(""), 2},
        {"RECFM V", ParmGetRecfm, Fixed("RECFM=V\n"), 1},
        {"RECFM F", ParmGetRecfm, Fixed("RECFM=FB\n"), 0},
        {"RECFM unknown", ParmGetRecfm, Fixed("RECFM=U\n"), 2},
        {"ORIENT 90", ParmGetOrient, Fixed("ORIENT=90\n"), 1},
        {"ORIENT 9 is unknown", ParmGetOrient, Fixed("ORIENT=9\n"), 0},
        {"ORIENT 180", ParmGetOrient, Fixed("ORIENT=180\n"), 2},
        {"ORIENT 270", ParmGetOrient, Fixed("ORIENT=270\n"), 3},
        {"PAGES missing", ParmGetPages, Fixed(""), 0},
        {"PAGES CUR", ParmGetPages, Fixed("PAGES=CUR\n"), 1},
        {"PAGES SEL", ParmGetPages, Fixed("PAGES=SEL\n"), 2},
        {"PAGES ALL", ParmGetPages, Fixed("PAGES=ALL\n"), 0},
        {"PAGES unknown", ParmGetPages, Fixed("PAGES=SOME\n"), 1},
        {"CDPG missing", ParmGetCdpg, Fixed(""), 850},
        {"CDPG", ParmGetCdpg, Fixed("CDPG=37\n"), 37},
        {"CDPG overflow saturates", ParmGetCdpg, Fixed("CDPG=99999999999999999999\n"), 2147483647},
        {"LRECL missing", ParmGetLrecl, Fixed(""), 1},
        {"LRECL", ParmGetLrecl, Fixed("LRECL=133\n"), 133},
        {"TRC", ParmGetTrc, Fixed("TRC=1\n"), 1},
        {"LNCT negative", ParmGetLnct, Fixed("LNCT=-5\n"), -5},
        {"LNCT not a number", ParmGetLnct, Fixed("LNCT=x\n"), 0},
        {"no section", ParmGetLrecl, "[OTHER]\nLRECL=7\n", 1},
        {"PageId", ParmGetPageId, "[@_PageIdentifier_@]\nPageId=42\n", 42},
        {"PageId missing", ParmGetPageId, "", 0},
        {"Copies missing", ParmGetCopies, Print(""), 1},
        {"Copies 0", ParmGetCopies, Print("Copies=0\n"), 1},
        {"Copies -3", ParmGetCopies, Print("Copies=-3\n"), 1},
        {"Copies 98", ParmGetCopies, Print("Copies=98\n"), 98},
        {"Copies 99", ParmGetCopies, Print("Copies=99\n"), 99},
        {"Copies 150", ParmGetCopies, Print("Copies=150\n"), 99},
    };
    for (const auto& c : cases) EXPECT_EQ(c.get(c.text.c_str()), c.expected) << c.name;
    EXPECT_EQ(ParmGetCdpg(nullptr), 850);
}

TEST(ParmFixedGetters, TextsAndDoubles) {
    std::string text = Fixed(
        "RECDELIM=0D0A0D0A0D0A0D0A0D0A\n"
        "PWIDTH=8.5\n"
        "EXTENSION=abcdefghijklmnopqrstuvwxyz\n"
        "VALVALUE=123456789\n"
        "DEFVIEW=North\x01South\n"
        "SRVR_NORLA=a,b,c\n"
        "AFP2LINE_CMD=/opt/conv -x\n");
    const char* t = text.c_str();
    EXPECT_EQ(ParmGetRecDelim(t), "0D0A0D0A0D0A0D0A");
    EXPECT_EQ(ParmGetRecDelim(""), "0A");
    EXPECT_DOUBLE_EQ(ParmGetPWidth(t), 8.5);
    EXPECT_DOUBLE_EQ(ParmGetPLength(t), 0.0);
    EXPECT_EQ(ParmGetExtension(t).value_or("<none>"), "abcdefghijklmnopqrst");
    EXPECT_EQ(ParmGetValValue(t).value_or("<none>"), "12345678");
    EXPECT_EQ(ParmGetDefView(t).value_or("<none>"), "North,South");
    EXPECT_EQ(ParmGetSrvrNorla(t).value_or("<none>"), "a,b,c");
    EXPECT_EQ(ParmGetAfp2LineCmd(t).value_or("<none>"), "/opt/conv -x");
    EXPECT_FALSE(ParmGetPrtOpt(t).has_value());
}

TEST(ParmFixedSetters, RowsAndColumns) {
    ParmText text;
    ParmSetPageHdrRows(&text, 3);
    ParmSetFldHdrRows(&text, 4);
    ParmSetValRow(&text, -1);
    ParmSetValCol(&text, 12);
    ParmSetValCol(&text, 13);
    EXPECT_EQ(ParmGetPageHdrRows(text.c_str()), 3);
    EXPECT_EQ(ParmGetFldHdrRows(text.c_str()), 4);
    EXPECT_EQ(ParmGetValRow(text.c_str()), -1);
    EXPECT_EQ(ParmGetValCol(text.c_str()), 13);
    EXPECT_EQ(text.text, "[@_FIXED_@]\nVALCOL=13\nVALROW=-1\nFLDHDRROWS=4\nPAGEHDRROWS=3\n");
}

TEST(ParmFieldList, ReadEntries) {
    std::string text = Fixed(
        "FLD01=1,2,NAME,Some text, with comma\n"
        "FLD02=7\n"
        "FLD03=3,4\n"
        "FLD04=5,6,averyveryverylongfieldname,abcdefghijklmnopqrstuvwxyz\n"
        "FLD06=9,9,skipped,after a gap\n");
    ParmFieldDef fields[PARM_MAX_FIELDS];
    EXPECT_EQ(ParmCountFields(text.c_str()), 4);
    ASSERT_EQ(ParmGetFields(text.c_str(), fields), 4);
    EXPECT_EQ(fields[0].first, 1);
    EXPECT_EQ(fields[0].second, 2);
    EXPECT_STREQ(fields[0].name, "NAME");
    EXPECT_STREQ(fields[0].text, "Some text, with comm");
    EXPECT_EQ(fields[1].first, 7);
    EXPECT_EQ(fields[1].second, 7);  // no ',': b = a
    EXPECT_STREQ(fields[1].name, "");
    EXPECT_EQ(fields[2].second, 4);
    EXPECT_STREQ(fields[3].name, "averyveryverylongf");
    EXPECT_STREQ(fields[3].text, "abcdefghijklmnopqrst");
    EXPECT_EQ(fields[4].first, 0);  // zero-filled after the last entry
}

TEST(ParmFieldList, AtMostThirtyEntries) {
    std::string lines;
    for (int n = 1; n <= 35; ++n)
        lines +=
            "FLD" + std::string(n < 10 ? "0" : "") + std::to_string(n) + "=" + std::to_string(n) + ",0,f,t\n";
    std::string text = Fixed(lines);
    ParmFieldDef fields[PARM_MAX_FIELDS];
    EXPECT_EQ(ParmCountFields(text.c_str()), 35);
    EXPECT_EQ(ParmGetFields(text.c_str(), fields), 30);
    EXPECT_EQ(fields[29].first, 30);
}

// The rules of the field keys, each case against the count they give: keys FLD01, FLD02,
// ... as "FLD%02d" writes them, in the first @_FIXED_@ section up to the next line that
// starts with '[', counted from 01 until the first missing number.
TEST(ParmFieldList, CountFollowsTheKeyRules) {
    std::string hundred;
    for (int n = 100; n >= 1; --n)
        hundred += "FLD" + std::string(n < 10 ? "0" : "") + std::to_string(n) + "=\n";
    struct Case {
        const char* name;
        std::string text;
        int expected;
    } cases[] = {
        {"no section", "[OTHER]\nFLD01=1\n", 0},
        {"empty section", Fixed(""), 0},
        {"one key", Fixed("FLD01=1\n"), 1},
        {"empty value", Fixed("FLD01=\n"), 1},
        {"last line without LF", Fixed("FLD01=1\nFLD02=2"), 2},
        {"CR before LF", Fixed("FLD01=1\r\nFLD02=2\r\n"), 2},
        {"any order", Fixed("FLD03=3\nCC=ANSI\nFLD01=1\nFLD02=2\n"), 3},
        {"a gap ends the run", Fixed("FLD01=1\nFLD02=2\nFLD04=4\n"), 2},
        {"no FLD01", Fixed("FLD02=2\nFLD03=3\n"), 0},
        {"a repeated key counts once", Fixed("FLD01=1\nFLD01=1\nFLD02=2\n"), 2},
        {"one digit is another key", Fixed("FLD1=1\n"), 0},
        {"three digits below 100 are another key", Fixed("FLD001=1\n"), 0},
        {"FLD00 is no field", Fixed("FLD00=0\nFLD01=1\n"), 1},
        {"the key ends at '='", Fixed("FLD01 =1\nFLD012=1\nFLD01x=1\n"), 0},
        {"a key without '='", Fixed("FLD01\n"), 0},
        {"a key starts its line", Fixed(" FLD01=1\nX=FLD01=1\n"), 0},
        {"keys match exactly", Fixed("fld01=1\nFld01=1\n"), 0},
        {"keys past 99 have three digits", Fixed(hundred), 100},
        {"100 written with a leading zero", Fixed("FLD0100=\n" + hundred.substr(hundred.find("FLD99"))), 99},
        {"a number too long for any run", Fixed("FLD01=1\nFLD" + std::string(40, '9') + "=\n"), 1},
        {"a line starting with '[' ends the section", Fixed("FLD01=1\n[x\nFLD02=2\n"), 1},
        {"keys of a later section", Fixed("FLD01=1\n[V]\nFLD02=2\n"), 1},
        {"keys of an earlier section", "[V]\nFLD01=1\n" + Fixed("FLD02=2\n"), 0},
        {"only the first fixed section", Fixed("FLD01=1\n") + Fixed("FLD02=2\n"), 1},
        {"a section line with a blank after it", "[@_FIXED_@] \nFLD01=1\n", 0},
        {"the section name inside a value", "X=[@_FIXED_@]\nFLD01=1\n", 0},
        {"section as the last line", "[@_FIXED_@]", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParmCountFields(c.text.c_str()), c.expected) << c.name;
        ParmFieldDef fields[PARM_MAX_FIELDS];
        EXPECT_EQ(ParmGetFields(c.text.c_str(), fields), std::min(c.expected, PARM_MAX_FIELDS)) << c.name;
    }
    EXPECT_EQ(ParmCountFields(nullptr), 0);
}

// Each field takes the first line of its key; replacing the list deletes exactly those
// lines and leaves every other one.
TEST(ParmFieldList, FirstLineOfEachKey) {
    const std::string text = Fixed("FLD02=2,2,b,first\nFLD01=1,1,a,first\nFLD01=9,9,a,second\nFLD04=4\n");
    ParmFieldDef fields[PARM_MAX_FIELDS];
    ASSERT_EQ(ParmGetFields(text.c_str(), fields), 2);
    EXPECT_EQ(fields[0].first, 1);
    EXPECT_STREQ(fields[0].text, "first");
    EXPECT_STREQ(fields[1].text, "first");

    struct Case {
        const char* name;
        std::string before;
        std::string after;
    } cases[] = {
        {"repeated key: its first line goes", text, Fixed("FLD01=9,9,a,second\nFLD04=4\n")},
        {"last line without LF", Fixed("A=1\nFLD01=1"), Fixed("A=1\n")},
        {"keys after the section stay", Fixed("FLD01=1\n[V]\nFLD02=2\n"), Fixed("[V]\nFLD02=2\n")},
        {"keys outside the run stay", Fixed("FLD1=1\nFLD00=0\nFLD03=3\nFLD01=1\n"),
         Fixed("FLD1=1\nFLD00=0\nFLD03=3\n")},
        {"no fixed section: one is added", "[V]\nFLD01=1", "[V]\nFLD01=1\n[@_FIXED_@]\n"},
    };
    for (const Case& c : cases) {
        ParmText edited{c.before};
        ASSERT_EQ(ParmSetFields(&edited, nullptr, 0), 0) << c.name;
        EXPECT_EQ(edited.text, c.after) << c.name;
    }
}

// 20,000 keys, the highest first: every function that walks the field keys reads the
// text once. ctest runs this case alone with a 3-second time-out (request_parm_field_keys);
// a lookup per key took about 6 seconds.
TEST(ParmFieldList, TwentyThousandKeys) {
    constexpr int kKeys = 20000;
    std::string lines;
    for (int n = kKeys; n >= 1; --n) {
        char line[48];
        std::snprintf(line, sizeof line, "FLD%02d=%d,%d,name%d,text\n", n, n, n, n);
        lines += line;
    }
    ParmText text{Fixed("CC=ANSI\n" + lines) + "[V]\nFLD01=stays\n"};
    EXPECT_EQ(ParmCountFields(text.c_str()), kKeys);
    ParmFieldDef fields[PARM_MAX_FIELDS];
    ASSERT_EQ(ParmGetFields(text.c_str(), fields), PARM_MAX_FIELDS);
    EXPECT_EQ(fields[PARM_MAX_FIELDS - 1].first, PARM_MAX_FIELDS);
    EXPECT_STREQ(fields[PARM_MAX_FIELDS - 1].name, "name30");
    ASSERT_EQ(ParmSetFields(&text, fields, 2), 0);
    EXPECT_EQ(text.text,
              Fixed("FLD02=2,2,name2,text\nFLD01=1,1,name1,text\nCC=ANSI\n") + "[V]\nFLD01=stays\n");
}

TEST(ParmFieldList, WriteReplacesTheList) {
    ParmText text{
        "[@_FIXED_@]\nCC=ANSI\nFLD01=1,1,old,x\nFLD02=2,2,old,y\nFLD03=3,3,old,z\n[V]\nFLD04=keep\n"};
    ParmFieldDef fields[2];
    fields[0].first = 10;
    fields[0].second = 11;
    std::strcpy(fields[0].name, "A");
    std::strcpy(fields[0].text, "first\r\n[V]");
    fields[1].first = 20;
    fields[1].second = 21;
    std::strcpy(fields[1].name, "B");
    ASSERT_EQ(ParmSetFields(&text, fields, 2), 0);
    EXPECT_EQ(text.text, "[@_FIXED_@]\nFLD02=20,21,B,\nFLD01=10,11,A,first[V]\nCC=ANSI\n[V]\nFLD04=keep\n");
    ParmFieldDef back[PARM_MAX_FIELDS];
    ASSERT_EQ(ParmGetFields(text.c_str(), back), 2);
    EXPECT_STREQ(back[1].name, "B");

    ParmText empty;
    ASSERT_EQ(ParmSetFields(&empty, fields, 1), 0);
    EXPECT_EQ(empty.text, "[@_FIXED_@]\nFLD01=10,11,A,first[V]\n");
}

TEST(ParmFieldList, WriteRefusesWhatCannotReadBack) {
    ParmText text{"[@_FIXED_@]\nFLD01=1,1,a,b\n"};
    ParmFieldDef fields[PARM_MAX_FIELDS + 1];
    std::strcpy(fields[0].name, "a,b");
    EXPECT_EQ(ParmSetFields(&text, fields, 1), 1);
    EXPECT_EQ(ParmSetFields(&text, fields + 1, PARM_MAX_FIELDS + 1), 1);
    EXPECT_EQ(ParmSetFields(&text, fields + 1, -1), 1);
    EXPECT_EQ(text.text, "[@_FIXED_@]\nFLD01=1,1,a,b\n");
    EXPECT_EQ(ParmSetFields(&text, nullptr, 0), 0);
    EXPECT_EQ(text.text, "[@_FIXED_@]\n");
}

TEST(ParmViews, ListAndCuts) {
    std::string names;
    for (int n = 0; n < 22; ++n) names += (n ? "," : "") + std::string("V") + std::to_string(n);
    std::string text = Fixed(
        "VIEWS=A\x01"
        "B,abcdefghijklmnopqrstuvwxyz0123456789,,C\n");
    auto views = ParmGetViews(text.c_str());
    ASSERT_TRUE(views);
    ASSERT_EQ(views->count, 3);
    EXPECT_STREQ(views->names[0], "A,B");
    EXPECT_STREQ(views->names[1], "abcdefghijklmnopqrstuvwxyz0123");
    EXPECT_STREQ(views->names[2], "C");
    EXPECT_EQ(ParmCountViews(text.c_str()), 3);

    std::string many = Fixed("VIEWS=" + names + "\n");
    EXPECT_EQ(ParmCountViews(many.c_str()), 20);
    EXPECT_EQ(ParmGetViews(many.c_str())->count, 20);
    EXPECT_FALSE(ParmGetViews(Fixed("").c_str()));
    EXPECT_EQ(ParmCountViews(nullptr), 0);
}

TEST(ParmViewSection, Getters) {
    // The view "Day, night" is stored under its escaped name.
    std::string text =
        "[Day\x01 night]\nBKCOL=GREYISH\nHDCOL=PINK\nSACOL=BAR\nIMGCOLOR=WHITE\nIMGINT=LITE\n"
        "TXFID=240\nGRAYSCALE=GREY\nOVERSTRIKE=FULL\nCONTRAST=50\nZOOM=250\nLOCKHDR=1\n"
        "FLDDISPORD=3,1,2\n[Plain]\n[Night, day]\nZOOM=300\n";
    const char* t = text.c_str();
    const char* v = "Day, night";
    struct Case {
        const char* name;
        std::function<int(const char*, const char*)> get;
        const char* view;
        int expected;
    } cases[] = {
        {"BKCOL by its first word", ParmGetBkCol, v, PARM_COLOUR_GREY},
        {"HDCOL unknown colour", ParmGetHdCol, v, PARM_COLOUR_BLACK},
        {"SACOL BAR", ParmGetSaCol, v, PARM_COLOUR_BAR},
        {"IMGCOLOR WHITE", ParmGetImgColor, v, PARM_COLOUR_WHITE},
        {"IMGINT LITE", ParmGetImgInt, v, 1},
        {"TXFID 240", ParmGetTxFid, v, 4},
        {"GRAYSCALE unknown", ParmGetGrayScale, v, 1},
        {"OVERSTRIKE FULL", ParmGetOverstrike, v, 2},
        {"CONTRAST", ParmGetContrast, v, 50},
        {"BRIGHT missing", ParmGetBright, v, 128},
        {"ZOOM", ParmGetZoom, v, 250},
        {"CPYGRP missing", ParmGetCpyGrp, v, 1},
        {"LOCKHDR", ParmGetLockHdr, v, 1},
        {"LOCKEDFLDS missing", ParmGetLockedFlds, v, 0},
        {"defaults: BKCOL", ParmGetBkCol, "Plain", 1},
        {"defaults: HDCOL", ParmGetHdCol, "Plain", 10},
        {"defaults: SACOL", ParmGetSaCol, "Plain", 6},
        {"defaults: IMGCOLOR", ParmGetImgColor, "Plain", 2},
        {"defaults: GRAYSCALE", ParmGetGrayScale, "Plain", 0},
        {"defaults: TXFID", ParmGetTxFid, "Plain", 0},
        {"missing view", ParmGetZoom, "Other", 100},
        {"a section stored unescaped is not the view", ParmGetZoom, "Night, day", 100},
    };
    for (const auto& c : cases) EXPECT_EQ(c.get(t, c.view), c.expected) << c.name;

    int order[PARM_MAX_FIELDS + 1];
    ASSERT_EQ(ParmGetFldDispOrd(t, v, order), 3);
    EXPECT_EQ(order[0], 3);
    EXPECT_EQ(order[2], 2);
    EXPECT_EQ(order[3], -1);
    EXPECT_EQ(ParmGetFldDispOrd(t, "Plain", order), -1);
    std::string many = "[W]\nFLDDISPORD=";
    for (int n = 0; n < 40; ++n) many += std::to_string(n) + ",";
    ASSERT_EQ(ParmGetFldDispOrd((many + "\n").c_str(), "W", order), 30);
    EXPECT_EQ(order[29], 29);
    EXPECT_EQ(order[30], -1);
}

TEST(ParmPrintOptions, GettersAndSetters) {
    ParmText text;
    ParmSetCopies(&text, 5);
    EXPECT_EQ(ParmGetCopies(text.c_str()), 5);
    for (const char* key : PARM_FAX_KEYS) EXPECT_EQ(ParmSetFaxText(&text, key, key), 0) << key;
    EXPECT_EQ(ParmSetFaxText(&text, "Copies", "7"), 1);
    EXPECT_EQ(ParmGetFaxText(text.c_str(), "Copies"), std::nullopt);
    for (const char* key : PARM_FAX_KEYS) EXPECT_EQ(ParmGetFaxText(text.c_str(), key).value_or(""), key);

    // A fax text cannot add a line to the print options, nor a section.
    ParmSetFaxText(&text, "SSubject", "Hi\r\nCopies=50\n[@_FIXED_@]\nCC=ANSI");
    EXPECT_EQ(ParmGetFaxText(text.c_str(), "SSubject").value_or(""), "HiCopies=50[@_FIXED_@]CC=ANSI");
    EXPECT_EQ(ParmGetCopies(text.c_str()), 5);
    EXPECT_EQ(ParmFindSection(text.c_str(), "@_FIXED_@"), nullptr);
    ParmSetFaxText(&text, "RAttn", std::string(1500, 'x').c_str());
    EXPECT_EQ(ParmGetFaxText(text.c_str(), "RAttn")->size(), 1024u);

    ParmSetFrom(&text, 1, "alice");
    ParmSetTo(&text, 2, "bob");
    ParmSetPageRangeBgn(&text, 1, 3);
    ParmSetPageRangeEnd(&text, 1, 2147483648L);
    ParmSetPrintOption(&text, "Tray", "2");
    EXPECT_EQ(ParmGetFrom(text.c_str(), 1).value_or(""), "alice");
    EXPECT_EQ(ParmGetTo(text.c_str(), 2).value_or(""), "bob");
    EXPECT_FALSE(ParmGetTo(text.c_str(), 1).has_value());
    EXPECT_EQ(ParmGetPageRangeBgn(text.c_str(), 1), 3);
    EXPECT_EQ(ParmGetPageRangeEnd(text.c_str(), 1), 2147483648L);
    EXPECT_EQ(ParmGetPageRangeBgn(text.c_str(), 2), 0);
    EXPECT_EQ(ParmGetPrintOption(text.c_str(), "Tray").value_or(""), "2");
}

TEST(ParmFieldRule, ReadsTheNamedSection) {
    std::string text =
        "[RULE1]\nFieldName=" + std::string(120, 'f') +
        "\nLeadingCharsToRemove=0\nStripChars=-\nDivideBy=0\n[RULE2]\nDivideBy=100\nDefaultValue=tail";
    auto rule = ParmGetFieldRule(text.c_str(), "RULE1");
    ASSERT_TRUE(rule);
    EXPECT_EQ(std::strlen(rule->fieldName), 100u);
    EXPECT_STREQ(rule->leadingCharsToRemove, "0");
    EXPECT_STREQ(rule->trailingCharsToRemove, "");
    EXPECT_STREQ(rule->stripChars, "-");
    EXPECT_EQ(rule->divideBy, 1);
    auto second = ParmGetFieldRule(text.c_str(), "RULE2");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->divideBy, 100);
    EXPECT_STREQ(second->defaultValue, "tail");  // no LF at the end of the text
    EXPECT_FALSE(ParmGetFieldRule(text.c_str(), "RULE3"));
    EXPECT_FALSE(ParmGetFieldRule(nullptr, "RULE1"));
}

}  // namespace
