// Moving values by intervals. 'Z' results come from Python: add the seconds, break
// down in ZoneInfo(zone), add the months, let a day past the month's end run into the
// next month (as mktime does) and take .timestamp() (testdata/datetime/derive_vectors.py).
// Day numbers are (date - date(1970,1,1)).days + 1.
#include "zone_fixture.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct Case {
    const char* name;
    ArcDateTime value;
    int days, months, years, hours, minutes, seconds;
    ArcDateTime expected;
};

void ExpectCases(const Case* begin, const Case* end, char letter, const std::string& zone) {
    for (const Case* c = begin; c != end; ++c) {
        EXPECT_EQ(ArcDT_AddInterval(c->value, c->days, c->months, c->years, c->hours, c->minutes, c->seconds,
                                    letter),
                  c->expected)
            << zone << " " << c->name;
    }
}

struct ZoneCase {
    const char* zone;
    Case c;
};
const ZoneCase kMoments[] = {
    {"UTC", {"month across spring change", 1110888000LL, 0, 1, 0, 0, 0, 0, 1113566400LL}},
    {"UTC", {"month across autumn change", 1129377600LL, 0, 1, 0, 0, 0, 0, 1132056000LL}},
    {"UTC", {"31 days", 1133431200LL, 31, 0, 0, 0, 0, 0, 1136109600LL}},
    {"UTC", {"-12 months +1 year", 1133431200LL, 0, -12, 1, 0, 0, 0, 1133431200LL}},
    {"UTC", {"clock parts", 1133431200LL, 0, 0, 0, 25, -61, 3661, 1133521201LL}},
    {"UTC", {"Jan 31 + 13 months", 1107165600LL, 0, 13, 0, 0, 0, 0, 1141380000LL}},
    {"Europe/Berlin", {"month across spring change", 1110884400LL, 0, 1, 0, 0, 0, 0, 1113559200LL}},
    {"Europe/Berlin", {"month across autumn change", 1129370400LL, 0, 1, 0, 0, 0, 0, 1132052400LL}},
    {"Europe/Berlin", {"31 days", 1133427600LL, 31, 0, 0, 0, 0, 0, 1136106000LL}},
    {"Europe/Berlin", {"-12 months +1 year", 1133427600LL, 0, -12, 1, 0, 0, 0, 1133427600LL}},
    {"Europe/Berlin", {"clock parts", 1133427600LL, 0, 0, 0, 25, -61, 3661, 1133517601LL}},
    {"Europe/Berlin", {"Jan 31 + 13 months", 1107162000LL, 0, 13, 0, 0, 0, 0, 1141376400LL}},
    {"America/New_York", {"month across spring change", 1110906000LL, 0, 1, 0, 0, 0, 0, 1113580800LL}},
    {"America/New_York", {"month across autumn change", 1129392000LL, 0, 1, 0, 0, 0, 0, 1132074000LL}},
    {"America/New_York", {"31 days", 1133449200LL, 31, 0, 0, 0, 0, 0, 1136127600LL}},
    {"America/New_York", {"-12 months +1 year", 1133449200LL, 0, -12, 1, 0, 0, 0, 1133449200LL}},
    {"America/New_York", {"clock parts", 1133449200LL, 0, 0, 0, 25, -61, 3661, 1133539201LL}},
    {"America/New_York", {"Jan 31 + 13 months", 1107183600LL, 0, 13, 0, 0, 0, 0, 1141398000LL}},
    {"Asia/Kolkata", {"month across spring change", 1110868200LL, 0, 1, 0, 0, 0, 0, 1113546600LL}},
    {"Asia/Kolkata", {"month across autumn change", 1129357800LL, 0, 1, 0, 0, 0, 0, 1132036200LL}},
    {"Asia/Kolkata", {"31 days", 1133411400LL, 31, 0, 0, 0, 0, 0, 1136089800LL}},
    {"Asia/Kolkata", {"-12 months +1 year", 1133411400LL, 0, -12, 1, 0, 0, 0, 1133411400LL}},
    {"Asia/Kolkata", {"clock parts", 1133411400LL, 0, 0, 0, 25, -61, 3661, 1133501401LL}},
    {"Asia/Kolkata", {"Jan 31 + 13 months", 1107145800LL, 0, 13, 0, 0, 0, 0, 1141360200LL}},
};

TEST(AddInterval, MomentsInEveryZone) {
    for (const ZoneCase& z : kMoments) {
        ZoneScope tz(z.zone);
        ExpectCases(&z.c, &z.c + 1, 'Z', z.zone);
    }
}

TEST(AddInterval, MomentFailures) {
    const Case cases[] = {
        {"seconds overflow", INT64_MAX - 10, 1, 0, 0, 0, 0, 0, -1},
        {"year past 9999", 1133431200LL, 0, 0, 8000, 0, 0, 0, -1},
        {"huge month count", 1133431200LL, 0, INT_MAX, INT_MAX, 0, 0, 0, -1},
        {"moment out of range", INT64_MAX, 0, 1, 0, 0, 0, 0, -1},
    };
    ZoneScope tz("Europe/Berlin");
    ExpectCases(std::begin(cases), std::end(cases), 'Z', "Europe/Berlin");
    ExpectCases(std::begin(cases), std::end(cases), 'C', "Europe/Berlin");
    EXPECT_EQ(ArcDT_AddInterval(1, 1, 0, 0, 0, 0, 0, 'E'), -1);
    EXPECT_EQ(ArcDT_AddInterval(1, 1, 0, 0, 0, 0, 0, 'A'), -1);
}

// 'C' numbers hold the wall clock already; six months on keeps 12:00 at 12:00 even
// though Berlin changes from +1 to +2 in between.
TEST(AddInterval, ShiftedMomentsKeepTheirClock) {
    const Case cases[] = {
        {"Jan 15 12:00 + 6 months", 1105790400LL, 0, 6, 0, 0, 0, 0, 1121428800LL},
        {"Jan 31 12:00 + 1 month", 1107172800LL, 0, 1, 0, 0, 0, 0, 1109851200LL},
        {"one day", 1105790400LL, 1, 0, 0, 0, 0, 0, 1105790400LL + 86400},
    };
    ZoneScope tz("Europe/Berlin");
    ExpectCases(std::begin(cases), std::end(cases), 'C', "Europe/Berlin");
}

TEST(AddInterval, Days) {
    const Case cases[] = {
        {"31 days", 13119, 31, 0, 0, 0, 0, 0, 13150},
        {"one month", 13119, 0, 1, 0, 0, 0, 0, 13150},
        {"-12 months +1 year", 13119, 0, -12, 1, 0, 0, 0, 13119},
        {"clock parts are ignored", 13119, 0, 0, 0, 48, 0, 0, 13119},
        {"Jan 31 + 1 month runs into March", 12815, 0, 1, 0, 0, 0, 0, 12846},
        {"Jan 31 2004 + 1 month (leap)", 12449, 0, 1, 0, 0, 0, 0, 12480},
        {"Mar 31 - 1 month", 12874, 0, -1, 0, 0, 0, 0, 12846},
        {"Jan 31 + 1 year", 12815, 0, 0, 1, 0, 0, 0, 13180},
        {"Feb 29 + 1 year", 12478, 0, 0, 1, 0, 0, 0, 12844},
        {"-13 months carries into the year before", 12815, 0, -13, 0, 0, 0, 0, 12418},
        {"days then months", 13119, -1, 12, 0, 0, 0, 0, 13483},
        {"before 1970", 13119, 0, 0, -36, 0, 0, 0, -1},
        {"day 0", 1, -1, 0, 0, 0, 0, 0, -1},
        {"past 9999 by a day", 2932897, 1, 0, 0, 0, 0, 0, -1},
        {"past 9999 by a month", 2932897, 0, 1, 0, 0, 0, 0, -1},
        {"no date", 0, 1, 0, 0, 0, 0, 0, -1},
        {"huge day number", INT64_MAX, 1, 0, 0, 0, 0, 0, -1},
        {"huge month count", 13119, 0, INT_MAX, INT_MAX, 0, 0, 0, -1},
        {"huge negative day count", 13119, INT_MIN, 0, 0, 0, 0, 0, -1},
    };
    for (const char* zone : kZones) {
        ZoneScope tz(zone);
        ExpectCases(std::begin(cases), std::end(cases), 'D', zone);
    }
}

TEST(AddInterval, TimesOfDay) {
    const Case cases[] = {
        {"an hour", 0, 0, 0, 0, 1, 0, 0, 1200},
        {"minute and seconds", 100, 0, 0, 0, 0, 1, 3, 121},
        {"a second is below one unit", 28799, 0, 0, 0, 0, 0, 1, 28799},
        {"to midnight stops at the last unit", 27600, 0, 0, 0, 1, 0, 0, 28799},
        {"past midnight stops at the last unit", 28000, 0, 0, 0, 1, 0, 0, 28799},
        {"huge hours stop at the last unit", 0, 0, 0, 0, INT_MAX, 0, 0, 28799},
        {"back to midnight", 1200, 0, 0, 0, -1, 0, 0, 0},
        {"before midnight", 0, 0, 0, 0, 0, -1, 0, -1},
        {"days, months, years are ignored", 1200, 5, 5, 5, 0, 0, 0, 1200},
        {"invalid 28800", 28800, 0, 0, 0, 0, 0, 0, -1},
        {"invalid negative", -5, 0, 0, 0, 1, 0, 0, -1},
    };
    ExpectCases(std::begin(cases), std::end(cases), 'T', "any");
}

}  // namespace
