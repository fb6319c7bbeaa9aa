// Start-up and shut-down: options, names block, time-zone split, code-page service.
#include <gtest/gtest.h>

#include <string>

#include "arc_datetime.h"
#include "client_test_support.h"
#include "library_state.h"

namespace {

using clienttest::GatewayOptions;
using clienttest::Put;
using qelclient::Library;

class InitTest : public ::testing::Test {
protected:
    void TearDown() override {
        Client_Term();
        ArcDT_SetLocaleNames(nullptr);
    }
};

TEST(TimeZoneSplit, LettersNumberLetters) {
    struct Case {
        const char* text;
        const char* standard;
        int offset;
        const char* daylight;
        int flag;
    };
    const Case cases[] = {
        {"EST5EDT", "EST", 5, "EDT", 1},
        {"UTC0", "UTC", 0, "", 0},
        {"", "", 0, "", 0},
        {"CET-1CEST", "CET", -1, "CEST", 1},
        {"XYZ+4:30ABC", "XYZ", 4, "ABC", 1},
        {"PST8PDT,M3.2.0", "PST", 8, "PDT,M3.2.0", 1},
        {"5EDT", "", 5, "EDT", 1},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefgh3", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcd", 3, "", 0},
    };
    for (const Case& c : cases) {
        const qelclient::ZoneSplit z = qelclient::SplitTimeZone(c.text);
        EXPECT_EQ(z.standardName, c.standard) << c.text;
        EXPECT_EQ(z.offsetHours, c.offset) << c.text;
        EXPECT_EQ(z.daylightName, c.daylight) << c.text;
        EXPECT_EQ(z.daylight, c.flag) << c.text;
    }
    EXPECT_EQ(qelclient::SplitTimeZone(nullptr).standardName, "");
    // A run of digits no zone has must not overflow.
    const qelclient::ZoneSplit big = qelclient::SplitTimeZone("ABC-99999999999999999999DEF");
    EXPECT_LT(big.offsetHours, 0);
    EXPECT_EQ(big.daylightName, "DEF");
}

TEST_F(InitTest, CallersContextIsUsedAndLeftRunning) {
    ClientInitOptions o = GatewayOptions();
    ASSERT_NE(o.iconv, nullptr);
    ASSERT_TRUE(Client_Init(&o));
    EXPECT_EQ(Library().iconv, o.iconv);
    EXPECT_FALSE(Library().ownsIconv);
    Client_Term();
    // Still usable: the library did not shut the caller's service down.
    ArcIconvHandle* h = nullptr;
    ASSERT_EQ(ArcICONV_Open(o.iconv, 500, 819, &h), ARC_ICONV_OK);
    ArcICONV_Close(h);
}

TEST_F(InitTest, StartsItsOwnServiceWhenGivenNone) {
    ClientInitOptions o = GatewayOptions();
    o.iconv = nullptr;
    const std::string locale = clienttest::StagedLocale();
    o.localeDirectory = locale.c_str();
    ASSERT_TRUE(Client_Init(&o));
    EXPECT_NE(Library().iconv, nullptr);
    EXPECT_TRUE(Library().ownsIconv);
    Client_Term();
    EXPECT_EQ(Library().iconv, nullptr);
}

TEST_F(InitTest, RefusesNoOptionsAndAFailedService) {
    EXPECT_FALSE(Client_Init(nullptr));
    ClientInitOptions o = GatewayOptions();
    o.iconv = nullptr;
    o.localeDirectory = "/nonexistent/locale";
    EXPECT_FALSE(Client_Init(&o));
    EXPECT_FALSE(Library().started);
}

TEST_F(InitTest, RefusesAnEbcdicCodePage) {
    const struct {
        int32_t codePage;
        bool started;
    } cases[] = {{37, false}, {500, false}, {1047, false}, {930, false}, {939, false},
                 {0, true},   {819, true},  {1208, true},  {850, true}};
    for (const auto& c : cases) {
        ClientInitOptions o = GatewayOptions(c.codePage);
        EXPECT_EQ(Client_Init(&o), c.started) << c.codePage;
        EXPECT_EQ(Library().started, c.started) << c.codePage;
        Client_Term();
    }
}

TEST_F(InitTest, CopiesOptionsAndUpperCasesLetters) {
    ClientInitOptions o = GatewayOptions(0);
    o.charKind = 'A';
    Put(o.todayLetter, "t");
    Put(o.latestLetter, "lx");
    o.decimalChar = ',';
    o.thousandsChar = '.';
    const std::string install(600, 'd');
    o.installDirectory = install.c_str();
    ASSERT_TRUE(Client_Init(&o));
    const qelclient::LibraryOptions& kept = Library().options;
    EXPECT_EQ(kept.codePage, 819);  // 0 means 819
    EXPECT_STREQ(kept.todayLetter, "T");
    EXPECT_STREQ(kept.latestLetter, "LX");
    EXPECT_EQ(kept.decimalChar, ',');
    EXPECT_EQ(kept.folderListSwitch, 1);
    EXPECT_EQ(kept.namedQuerySwitch, 0);
    EXPECT_EQ(kept.folderFlagSwitch, 1);
    EXPECT_STREQ(kept.longFormat, "%X %p %Z %A %B %d, %Y");
    EXPECT_EQ(kept.installDirectory, install);  // never cut
    EXPECT_EQ(kept.duplicateCheck, 1);
    EXPECT_EQ(kept.keepTypeNRows, 1);
    EXPECT_EQ(kept.requireGroups, 1);

    // A second start-up changes nothing.
    ClientInitOptions other = GatewayOptions(500);
    EXPECT_TRUE(Client_Init(&other));
    EXPECT_EQ(Library().options.codePage, 819);
}

TEST_F(InitTest, InstallsNamesAndZoneForTheDateRoutines) {
    ClientInitOptions o = GatewayOptions();
    Put(o.monthNames[2], "Maerz");
    Put(o.timeZone, "EST5EDT");
    ASSERT_TRUE(Client_Init(&o));
    const ArcDTNames& names = Library().options.names;
    EXPECT_STREQ(names.standardZone, "EST");
    EXPECT_STREQ(names.daylightZone, "EDT");
    EXPECT_EQ(names.zoneOffsetHours, 5);
    EXPECT_EQ(names.zoneSelector, 1);

    char text[ARC_DT_TEXT_MAX];
    // 15 March 2001, day number counted from 1 January 1970 as day 1
    const ArcDTValue march{11397, "%B %Z", 'D'};
    ASSERT_NE(ArcDT_FormatValue(text, &march), nullptr);
    EXPECT_STREQ(text, "Maerz EDT");
}

TEST(ClientVersion, Text) { EXPECT_STREQ(Client_GetVersion(), "2.2.1.10"); }

}  // namespace
