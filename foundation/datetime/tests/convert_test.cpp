// Conversions between the types and the current time in each type. For each zone and
// moment, Python gives the local date's day number, the local time in 3-second units
// and the moment of that date's local midnight (testdata/datetime/derive_vectors.py).
#include "zone_fixture.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* zone;
    ArcDateTime utc;
    ArcDateTime day;
    ArcDateTime units;
    ArcDateTime midnight;
};
const Case kCases[] = {
    {"UTC", 1133431200LL, 13119, 12000, 1133395200LL},
    {"UTC", 1111885200LL, 12870, 1200, 1111881600LL},
    {"UTC", 1131258600LL, 13094, 7800, 1131235200LL},
    {"UTC", 1152000000LL, 13334, 9600, 1151971200LL},
    {"UTC", 3155760000LL, 36526, 0, 3155760000LL},
    {"UTC", 4102444800LL, 47483, 0, 4102444800LL},
    {"Europe/Berlin", 1133431200LL, 13119, 13200, 1133391600LL},
    {"Europe/Berlin", 1111885200LL, 12870, 3600, 1111878000LL},
    {"Europe/Berlin", 1131258600LL, 13094, 9000, 1131231600LL},
    {"Europe/Berlin", 1152000000LL, 13334, 12000, 1151964000LL},
    {"Europe/Berlin", 3155760000LL, 36526, 1200, 3155756400LL},
    {"Europe/Berlin", 4102444800LL, 47483, 1200, 4102441200LL},
    {"America/New_York", 1133431200LL, 13119, 6000, 1133413200LL},
    {"America/New_York", 1111885200LL, 12869, 24000, 1111813200LL},
    {"America/New_York", 1131258600LL, 13094, 1800, 1131253200LL},
    {"America/New_York", 1152000000LL, 13334, 4800, 1151985600LL},
    {"America/New_York", 3155760000LL, 36525, 22800, 3155691600LL},
    {"America/New_York", 4102444800LL, 47482, 22800, 4102376400LL},
    {"Asia/Kolkata", 1133431200LL, 13119, 18600, 1133375400LL},
    {"Asia/Kolkata", 1111885200LL, 12870, 7800, 1111861800LL},
    {"Asia/Kolkata", 1131258600LL, 13094, 14400, 1131215400LL},
    {"Asia/Kolkata", 1152000000LL, 13334, 16200, 1151951400LL},
    {"Asia/Kolkata", 3155760000LL, 36526, 6600, 3155740200LL},
    {"Asia/Kolkata", 4102444800LL, 47483, 6600, 4102425000LL},
};

TEST(ConvertValue, BetweenTypesInEveryZone) {
    for (const Case& c : kCases) {
        ZoneScope tz(c.zone);
        const std::string name = std::string(c.zone) + " " + std::to_string(c.utc);
        EXPECT_EQ(ArcDT_ConvertValue(c.utc, 'Z', 'D'), c.day) << name;
        EXPECT_EQ(ArcDT_ConvertValue(c.utc, 'Z', 'T'), c.units) << name;
        EXPECT_EQ(ArcDT_ConvertValue(c.day, 'D', 'Z'), c.midnight) << name;
        EXPECT_EQ(ArcDT_ConvertValue(c.day, 'D', 'T'), 0) << name;
        const ArcDateTime shifted = ArcDT_ConvertValue(c.utc, 'Z', 'C');
        ASSERT_NE(shifted, -1) << name;
        EXPECT_EQ(ArcDT_ConvertValue(shifted, 'C', 'Z'), c.utc) << name;
        EXPECT_EQ(ArcDT_ConvertValue(c.day, 'D', 'C'), ArcDT_ConvertValue(c.midnight, 'Z', 'C')) << name;
        // A 'C' value's date and clock are its own number read as UTC.
        const ArcDateTime shiftedMidnight = ArcDT_ConvertValue(c.midnight, 'Z', 'C');
        EXPECT_EQ(ArcDT_ConvertValue(shiftedMidnight, 'C', 'T'), (shiftedMidnight % 86400) / 3) << name;
    }
}

TEST(ConvertValue, Failures) {
    ZoneScope tz("Europe/Berlin");
    struct Failure {
        const char* name;
        ArcDateTime value;
        char from;
        char to;
    };
    const Failure cases[] = {
        {"time has no date", 100, 'T', 'D'},
        {"time has no moment", 100, 'T', 'Z'},
        {"time has no shifted moment", 100, 'T', 'C'},
        {"no date", 0, 'D', 'Z'},
        {"day past 9999", 2932898, 'D', 'Z'},
        {"no date to time", 0, 'D', 'T'},
        {"letter outside range", 1, 'Z', 'a'},
        {"unknown letter", 1, 'Z', 'E'},
        {"moment before 1970 as day", -86400 * 2, 'Z', 'D'},
        {"moment out of range", INT64_MAX, 'Z', 'D'},
    };
    for (const Failure& c : cases) {
        EXPECT_EQ(ArcDT_ConvertValue(c.value, c.from, c.to), -1) << c.name;
    }
    // The same letter gives the value back as it is.
    EXPECT_EQ(ArcDT_ConvertValue(123, 'D', 'D'), 123);
    EXPECT_EQ(ArcDT_ConvertValue(1, 'A', 'A'), -1);
}

TEST(Now, EveryTypeFromTheClock) {
    for (const Case& c : kCases) {
        ZoneScope tz(c.zone);
        ClockScope clock(c.utc);
        const std::string name = std::string(c.zone) + " " + std::to_string(c.utc);
        EXPECT_EQ(ArcDT_Now('Z'), c.utc) << name;
        EXPECT_EQ(ArcDT_Now('C'), ArcDT_ConvertValue(c.utc, 'Z', 'C')) << name;
        EXPECT_EQ(ArcDT_Now('D'), c.day) << name;
        EXPECT_EQ(ArcDT_Now('T'), c.units) << name;
    }
    EXPECT_EQ(ArcDT_Now('E'), 0);
    EXPECT_EQ(ArcDT_Now('A'), -1);
    EXPECT_EQ(ArcDT_Now('['), -1);
}

// The shift keeps whole hours of the offset, truncated toward zero, at every minute
// of the day: +5:30 shifts by 5 hours, -3:30 by -3 hours.
TEST(ConvertValue, ShiftIgnoresTheMinuteOfTheDay) {
    struct Zone {
        const char* zone;
        int64_t hours;
    };
    const Zone zones[] = {{"Asia/Kolkata", 5}, {"America/St_Johns", -3}, {"Asia/Kathmandu", 5}};
    const ArcDateTime start = 1133395200;  // 2005-12-01 00:00 UTC, no zone changes near it
    for (const Zone& z : zones) {
        ZoneScope tz(z.zone);
        for (ArcDateTime minute = 0; minute < 24 * 60; minute += 7) {
            const ArcDateTime utc = start + minute * 60;
            ASSERT_EQ(ArcDT_ConvertValue(utc, 'Z', 'C'), utc + z.hours * 3600)
                << z.zone << " minute " << minute;
        }
    }
}

}  // namespace
