// Formatting of typed values. Expected texts come from Python's datetime under a fixed
// TZ (see testdata/datetime/derive_vectors.py); the directives that strftime lacks or
// spells differently (%e and %k unpadded, %f, %C, %c) are worked out by hand.
#include "zone_fixture.h"

#include "arc_platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// 'D' day numbers: date.toordinal() - date(1970,1,1).toordinal() + 1, with
// strftime('%a %A %b %j %U %W %w') of the date.
struct DayCase {
    const char* iso;
    ArcDateTime day;
    const char* names;
};
const DayCase kDays[] = {
    {"1970-01-01", 1, "Thu Thursday Jan 001 00 00 4"},
    {"1970-01-02", 2, "Fri Friday Jan 002 00 00 5"},
    {"1972-02-29", 790, "Tue Tuesday Feb 060 09 09 2"},
    {"2000-02-29", 11017, "Tue Tuesday Feb 060 09 09 2"},
    {"2005-12-01", 13119, "Thu Thursday Dec 335 48 48 4"},
    {"2005-12-31", 13149, "Sat Saturday Dec 365 52 52 6"},
    {"2069-12-31", 36525, "Tue Tuesday Dec 365 52 52 2"},
    {"2070-01-01", 36526, "Wed Wednesday Jan 001 00 00 3"},
    {"2100-03-01", 47542, "Mon Monday Mar 060 09 09 1"},
    {"9999-12-31", 2932897, "Fri Friday Dec 365 52 52 5"},
};

TEST(FormatValue, DayNumbersInEveryZone) {
    for (const char* zone : kZones) {
        ZoneScope tz(zone);
        for (const DayCase& c : kDays) {
            EXPECT_EQ(Format(c.day, 'D', "%Y-%m-%d"), c.iso) << zone << " day " << c.day;
            EXPECT_EQ(Format(c.day, 'D', "%a %A %b %j %U %W %w"), c.names) << zone << " day " << c.day;
        }
    }
}

// 'T' units of 3 seconds: time(h, m, s).strftime(...) with h, m, s = u//1200,
// u%1200//20, u%20*3.
TEST(FormatValue, TimeUnits) {
    struct Case {
        ArcDateTime units;
        const char* clock;   // default format %H:%M:%S
        const char* twelve;  // %I:%M:%S %p
        const char* bare;    // %k|%l
    };
    const Case cases[] = {
        {0, "00:00:00", "12:00:00 AM", "0|12"},      {1, "00:00:03", "12:00:03 AM", "0|12"},
        {20, "00:01:00", "12:01:00 AM", "0|12"},     {1200, "01:00:00", "01:00:00 AM", "1|1"},
        {14399, "11:59:57", "11:59:57 AM", "11|11"}, {14400, "12:00:00", "12:00:00 PM", "12|12"},
        {15600, "13:00:00", "01:00:00 PM", "13|1"},  {28799, "23:59:57", "11:59:57 PM", "23|11"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Format(c.units, 'T'), c.clock) << c.units;
        EXPECT_EQ(Format(c.units, 'T', "%r"), c.twelve) << c.units;
        EXPECT_EQ(Format(c.units, 'T', "%k|%l"), c.bare) << c.units;
    }
}

// datetime.fromtimestamp(z, ZoneInfo(zone)).strftime('%Y-%m-%d %H:%M:%S %a %j'); the
// last column is the 'C' value of the moment (UTC seconds plus the offset in whole
// hours, truncated toward zero).
struct MomentCase {
    const char* zone;
    ArcDateTime utc;
    const char* local;
    ArcDateTime shifted;
};
const MomentCase kMoments[] = {
    {"UTC", 0LL, "1970-01-01 00:00:00 Thu 001", 0LL},
    {"UTC", 1LL, "1970-01-01 00:00:01 Thu 001", 1LL},
    {"UTC", 1133431200LL, "2005-12-01 10:00:00 Thu 335", 1133431200LL},
    {"UTC", 1111885199LL, "2005-03-27 00:59:59 Sun 086", 1111885199LL},
    {"UTC", 1111885200LL, "2005-03-27 01:00:00 Sun 086", 1111885200LL},
    {"UTC", 1130633999LL, "2005-10-30 00:59:59 Sun 303", 1130633999LL},
    {"UTC", 1130634000LL, "2005-10-30 01:00:00 Sun 303", 1130634000LL},
    {"UTC", 1131258600LL, "2005-11-06 06:30:00 Sun 310", 1131258600LL},
    {"UTC", 1152000000LL, "2006-07-04 08:00:00 Tue 185", 1152000000LL},
    {"UTC", 3155760000LL, "2070-01-01 00:00:00 Wed 001", 3155760000LL},
    {"UTC", 4102444800LL, "2100-01-01 00:00:00 Fri 001", 4102444800LL},
    {"UTC", -86400LL, "1969-12-31 00:00:00 Wed 365", -86400LL},
    {"Europe/Berlin", 0LL, "1970-01-01 01:00:00 Thu 001", 0LL},
    {"Europe/Berlin", 1LL, "1970-01-01 01:00:01 Thu 001", 3601LL},
    {"Europe/Berlin", 1133431200LL, "2005-12-01 11:00:00 Thu 335", 1133434800LL},
    {"Europe/Berlin", 1111885199LL, "2005-03-27 01:59:59 Sun 086", 1111888799LL},
    {"Europe/Berlin", 1111885200LL, "2005-03-27 03:00:00 Sun 086", 1111892400LL},
    {"Europe/Berlin", 1130633999LL, "2005-10-30 02:59:59 Sun 303", 1130641199LL},
    {"Europe/Berlin", 1130634000LL, "2005-10-30 02:00:00 Sun 303", 1130637600LL},
    {"Europe/Berlin", 1131258600LL, "2005-11-06 07:30:00 Sun 310", 1131262200LL},
    {"Europe/Berlin", 1152000000LL, "2006-07-04 10:00:00 Tue 185", 1152007200LL},
    {"Europe/Berlin", 3155760000LL, "2070-01-01 01:00:00 Wed 001", 3155763600LL},
    {"Europe/Berlin", 4102444800LL, "2100-01-01 01:00:00 Fri 001", 4102448400LL},
    {"Europe/Berlin", -86400LL, "1969-12-31 01:00:00 Wed 365", -86400LL},
    {"America/New_York", 0LL, "1969-12-31 19:00:00 Wed 365", 0LL},
    {"America/New_York", 1LL, "1969-12-31 19:00:01 Wed 365", -17999LL},
    {"America/New_York", 1133431200LL, "2005-12-01 05:00:00 Thu 335", 1133413200LL},
    {"America/New_York", 1111885199LL, "2005-03-26 19:59:59 Sat 085", 1111867199LL},
    {"America/New_York", 1111885200LL, "2005-03-26 20:00:00 Sat 085", 1111867200LL},
    {"America/New_York", 1130633999LL, "2005-10-29 20:59:59 Sat 302", 1130619599LL},
    {"America/New_York", 1130634000LL, "2005-10-29 21:00:00 Sat 302", 1130619600LL},
    {"America/New_York", 1131258600LL, "2005-11-06 01:30:00 Sun 310", 1131240600LL},
    {"America/New_York", 1152000000LL, "2006-07-04 04:00:00 Tue 185", 1151985600LL},
    {"America/New_York", 3155760000LL, "2069-12-31 19:00:00 Tue 365", 3155742000LL},
    {"America/New_York", 4102444800LL, "2099-12-31 19:00:00 Thu 365", 4102426800LL},
    {"America/New_York", -86400LL, "1969-12-30 19:00:00 Tue 364", -86400LL},
    {"Asia/Kolkata", 0LL, "1970-01-01 05:30:00 Thu 001", 0LL},
    {"Asia/Kolkata", 1LL, "1970-01-01 05:30:01 Thu 001", 18001LL},
    {"Asia/Kolkata", 1133431200LL, "2005-12-01 15:30:00 Thu 335", 1133449200LL},
    {"Asia/Kolkata", 1111885199LL, "2005-03-27 06:29:59 Sun 086", 1111903199LL},
    {"Asia/Kolkata", 1111885200LL, "2005-03-27 06:30:00 Sun 086", 1111903200LL},
    {"Asia/Kolkata", 1130633999LL, "2005-10-30 06:29:59 Sun 303", 1130651999LL},
    {"Asia/Kolkata", 1130634000LL, "2005-10-30 06:30:00 Sun 303", 1130652000LL},
    {"Asia/Kolkata", 1131258600LL, "2005-11-06 12:00:00 Sun 310", 1131276600LL},
    {"Asia/Kolkata", 1152000000LL, "2006-07-04 13:30:00 Tue 185", 1152018000LL},
    {"Asia/Kolkata", 3155760000LL, "2070-01-01 05:30:00 Wed 001", 3155778000LL},
    {"Asia/Kolkata", 4102444800LL, "2100-01-01 05:30:00 Fri 001", 4102462800LL},
    {"Asia/Kolkata", -86400LL, "1969-12-31 05:30:00 Wed 365", -86400LL},
};

TEST(FormatValue, MomentsInLocalTime) {
    for (const MomentCase& c : kMoments) {
        ZoneScope tz(c.zone);
        EXPECT_EQ(Format(c.utc, 'Z', "%Y-%m-%d %H:%M:%S %a %j"), c.local) << c.zone << " " << c.utc;
    }
}

TEST(FormatValue, ShiftedMomentsShowTheirOwnClock) {
    for (const MomentCase& c : kMoments) {
        ZoneScope tz(c.zone);
        EXPECT_EQ(ArcDT_ConvertValue(c.utc, 'Z', 'C'), c.shifted) << c.zone << " " << c.utc;
        // In whole-hour zones a 'C' value reads as the local clock; in +5:30 it reads
        // half an hour early, because the shift keeps whole hours only.
        const std::string expected = std::string(c.zone) == "Asia/Kolkata"
                                         ? Format(c.utc - 1800, 'Z', "%Y-%m-%d %H:%M:%S")
                                         : std::string(c.local).substr(0, 19);
        if (c.utc > 0) {
            EXPECT_EQ(Format(c.shifted, 'C', "%Y-%m-%d %H:%M:%S"), expected) << c.zone << " " << c.utc;
        }
    }
}

// 2005-12-01 18:30:09 UTC, a Thursday; strftime gives the standard directives.
TEST(FormatValue, Directives) {
    ZoneScope tz("UTC");
    const ArcDateTime z = 1133461809;
    struct Case {
        const char* format;
        const char* expected;
    };
    const Case cases[] = {
        {"%a|%A|%b|%h|%B", "Thu|Thursday|Dec|Dec|December"},
        {"%d|%e|%f|%m", "01|1|12|12"},
        {"%H|%k|%I|%l|%M|%S|%p", "18|18|06|6|30|09|PM"},
        {"%j|%U|%W|%w|%y|%Y", "335|48|48|4|05|2005"},
        {"%D|%R|%T|%r", "12/01/05|18:30|18:30:09|06:30:09 PM"},
        {"%C", "Thu Dec 1 18:30:09 2005"},
        {"%c", "12/01/05 18:30:09"},
        {"%x %X", "12/01/05 18:30:09"},
        {"a%nb%tc", "a\nb\tc"},
        {"100%% %q %", "100% q %"},
        {"", "12/01/05 18:30:09"},
        {nullptr, "12/01/05 18:30:09"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Format(z, 'Z', c.format), c.expected) << (c.format ? c.format : "(null)");
    }
}

// Week numbers at the turn of the year, where Sunday- and Monday-based weeks part
// (strftime('%U %W %w %j %I %p')).
TEST(FormatValue, WeekNumbersAtYearStart) {
    ZoneScope tz("UTC");
    EXPECT_EQ(Format(1136073900, 'Z', "%U %W %w %j %I %p"), "01 00 0 001 12 AM");
    EXPECT_EQ(Format(1167653100, 'Z', "%U %W %w %j %I %p"), "00 01 1 001 12 PM");
}

TEST(FormatValue, InvalidValuesAndFormats) {
    ZoneScope tz("UTC");
    struct Case {
        const char* name;
        ArcDateTime value;
        char type;
        const char* format;
    };
    const Case cases[] = {
        {"day 0 is no date", 0, 'D', nullptr},
        {"negative day", -1, 'D', nullptr},
        {"day after 9999-12-31", 2932898, 'D', nullptr},
        {"huge day", INT64_MAX, 'D', "%Y"},
        {"time 28800", 28800, 'T', nullptr},
        {"negative time", -1, 'T', nullptr},
        {"letter below C", 1, 'A', nullptr},
        {"letter above Z", 1, 'a', nullptr},
        {"unknown letter in range", 1, 'E', nullptr},
        {"two-digit year 2070", 36526, 'D', "%y"},
        {"two-digit year 1969", -86400, 'Z', "%y"},
        {"year 10000 in four digits", 253402300800LL, 'Z', "%Y"},
        {"moment out of range", INT64_MAX, 'Z', "%H"},
        {"time has no day", 100, 'T', "%d"},
        {"time has no month name", 100, 'T', "%B"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Format(c.value, c.type, c.format), "<null>") << c.name;
    }
    EXPECT_EQ(Format(36525, 'D', "%y"), "69");
    EXPECT_EQ(Format(253402300799LL, 'Z', "%Y"), "9999");
}

TEST(FormatValue, DefaultFormatsOfTheEdgeCases) {
    ZoneScope tz("UTC");
    EXPECT_EQ(Format(1, 'D'), "01/01/70");
    EXPECT_EQ(Format(28799, 'T'), "23:59:57");
}

// The text, terminator included, must fit in 128 bytes; the buffer is exactly that
// large, so a longer write would show under the address sanitizer.
TEST(FormatValue, TextLimit) {
    ZoneScope tz("UTC");
    const std::string fits(127, 'x');
    EXPECT_EQ(Format(1, 'D', fits.c_str()), fits);
    EXPECT_EQ(Format(1, 'D', (fits + "x").c_str()), "<null>");
    EXPECT_EQ(Format(1, 'D', (std::string(123, 'x') + "%Y").c_str()), std::string(123, 'x') + "1970");
    EXPECT_EQ(Format(1, 'D', (std::string(124, 'x') + "%Y").c_str()), "<null>");
    // Composite directives expand beyond the format's own length.
    std::string many;
    for (int i = 0; i < 20; ++i) many += "%C";
    EXPECT_EQ(Format(1, 'D', many.c_str()), "<null>");
}

TEST(FormatValue, ZoneNameFromBlockOrSystem) {
    ZoneScope tz("Europe/Berlin");
    ClockScope clock(1152000000);  // July: daylight saving in effect
    ArcDT_SetLocaleNames(nullptr);
    // The built-in block names the standard zone, whatever the season.
    EXPECT_EQ(Format(1152000000, 'Z', "%H %Z"), "10 CET");
    ArcDTNames custom{};
    std::snprintf(custom.standardZone, sizeof custom.standardZone, "%s", "MEZ");
    std::snprintf(custom.daylightZone, sizeof custom.daylightZone, "%s", "MESZ");
    ArcDT_SetLocaleNames(&custom);
    EXPECT_EQ(Format(1152000000, 'Z', "%Z"), "MEZ");
    custom.zoneSelector = 1;
    ArcDT_SetLocaleNames(&custom);
    EXPECT_EQ(Format(1152000000, 'Z', "%Z"), "MESZ");
    custom.daylightZone[0] = '\0';
    ArcDT_SetLocaleNames(&custom);
    EXPECT_EQ(Format(1152000000, 'Z', "%Z"), "CET");
    ArcDT_SetLocaleNames(nullptr);
}

}  // namespace
