// The replaceable names block: default formats, other languages, broken blocks.
#include "zone_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

template <size_t N>
void Put(char (&slot)[N], const char* text) {
    std::snprintf(slot, N, "%s", text);
}

ArcDTNames GermanNames() {
    static const char* const kMonths[12] = {"Januar",    "Februar", "März",     "April",
                                            "Mai",       "Juni",    "Juli",     "August",
                                            "September", "Oktober", "November", "Dezember"};
    static const char* const kDays[7] = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                                         "Donnerstag", "Freitag", "Samstag"};
    ArcDTNames names{};
    for (int i = 0; i < 12; ++i) {
        Put(names.monthNames[i], kMonths[i]);
        Put(names.monthAbbrevs[i], std::string(kMonths[i]).substr(0, 3).c_str());
    }
    for (int i = 0; i < 7; ++i) {
        Put(names.dayNames[i], kDays[i]);
        Put(names.dayAbbrevs[i], std::string(kDays[i]).substr(0, 2).c_str());
    }
    Put(names.am, "vm");
    Put(names.pm, "nm");
    Put(names.timeFormat, "%H.%M");
    Put(names.dateFormat, "%d.%m.%Y");
    Put(names.dateTimeFormat, "%d.%m.%Y %H.%M.%S");
    return names;
}

class NamesBlock : public ::testing::Test {
protected:
    void SetUp() override { ArcDT_SetLocaleNames(nullptr); }
    void TearDown() override { ArcDT_SetLocaleNames(nullptr); }
    ZoneScope tz_{"UTC"};
};

TEST_F(NamesBlock, BuiltInDefaultFormats) {
    struct Case {
        char letter;
        const char* expected;
    };
    const Case cases[] = {
        {'Z', "%m/%d/%y %H:%M:%S"},
        {'C', "%m/%d/%y %H:%M:%S"},
        {'D', "%m/%d/%y"},
        {'T', "%H:%M:%S"},
        {'E', ""},
        {'a', ""},
    };
    for (const Case& c : cases) {
        char buffer[ARC_DT_FORMAT_MAX];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(ArcDT_DefaultFormat(buffer, c.letter), buffer) << c.letter;
        EXPECT_STREQ(buffer, c.expected) << c.letter;
        EXPECT_STREQ(ArcDT_DefaultFormat(nullptr, c.letter), c.expected) << c.letter;
    }
}

TEST_F(NamesBlock, ReplacedBlockFormatsAndParses) {
    const ArcDTNames german = GermanNames();
    ArcDT_SetLocaleNames(&german);
    EXPECT_STREQ(ArcDT_DefaultFormat(nullptr, 'D'), "%d.%m.%Y");
    EXPECT_EQ(Format(13119, 'D'), "01.12.2005");
    EXPECT_EQ(Format(13119, 'D', "%A, %e. %B %Y (%a %b)"), "Donnerstag, 1. Dezember 2005 (Do Dez)");
    EXPECT_EQ(Format(1133461809, 'Z', "%I %p|%c"), "06 nm|01.12.2005 18.30.09");

    struct Case {
        const char* text;
        const char* format;
        char letter;
        ArcDateTime earliest;
        ArcDateTime latest;
    };
    const Case cases[] = {
        {"01.12.2005", nullptr, 'D', 13119, 13119},
        {"dezember 2005", "%B %Y", 'D', 13119, 13149},
        {"Dez 2005", "%b %Y", 'D', 13119, 13149},
        {"06.30.09 NM", "%I.%M.%S %p", 'T', 22203, 22203},
        {"18.30", nullptr, 'T', 22200, 22219},
        // The default date format of the block is a fallback for a given format.
        {"01.12.2005", "%m/%d/%y", 'D', 13119, 13119},
    };
    for (const Case& c : cases) {
        const Bounds b = Parse(c.text, c.format, c.letter);
        EXPECT_EQ(b.rc, 0) << c.text;
        EXPECT_EQ(b.earliest, c.earliest) << c.text;
        EXPECT_EQ(b.latest, c.latest) << c.text;
    }
    // English names are no longer known.
    EXPECT_EQ(Parse("December 2005", "%B %Y", 'D').rc, -1);

    ArcDT_SetLocaleNames(nullptr);
    EXPECT_EQ(Format(13119, 'D'), "12/01/05");
}

TEST_F(NamesBlock, EmptySlotsFallBackToBuiltInFormats) {
    ArcDTNames names = GermanNames();
    names.dateFormat[0] = '\0';
    names.timeFormat[0] = '\0';
    ArcDT_SetLocaleNames(&names);
    EXPECT_STREQ(ArcDT_DefaultFormat(nullptr, 'D'), "%m/%d/%y");
    EXPECT_EQ(Format(13119, 'D'), "12/01/05");
    EXPECT_EQ(Format(28799, 'T'), "23:59:57");
    // An empty month name never matches (it would match any text).
    names.monthNames[11][0] = '\0';
    names.monthAbbrevs[11][0] = '\0';
    ArcDT_SetLocaleNames(&names);
    // "2005" then falls back to a whole year instead of reading as December 2005.
    const Bounds b = Parse("2005", "%B%Y", 'D');
    EXPECT_EQ(b.rc, 0);
    EXPECT_EQ(b.earliest, 12785);
}

TEST_F(NamesBlock, BrokenBlocksFailWithoutHarm) {
    ArcDTNames names = GermanNames();
    // A format that names itself must not recurse for ever.
    Put(names.dateTimeFormat, "%c");
    Put(names.dateFormat, "%x%x");
    // Slots filled to the brim without a terminator are read within their size.
    std::memset(names.monthNames[0], 'J', sizeof names.monthNames[0]);
    std::memset(names.timeFormat, 'T', sizeof names.timeFormat);
    ArcDT_SetLocaleNames(&names);
    EXPECT_EQ(Format(1133461809, 'Z'), "<null>");
    EXPECT_EQ(Format(13119, 'D'), "<null>");
    EXPECT_EQ(Parse("x", nullptr, 'Z').rc, -1);
    EXPECT_EQ(Format(12785, 'D', "%B"), std::string(ARC_DT_NAME_MAX, 'J'));
    EXPECT_EQ(Format(0, 'T'), std::string(ARC_DT_FORMAT_MAX, 'T'));
    char buffer[ARC_DT_FORMAT_MAX];
    EXPECT_EQ(std::strlen(ArcDT_DefaultFormat(buffer, 'T')), ARC_DT_FORMAT_MAX - 1);
}

}  // namespace
