// Parsing text into the earliest and latest value it can mean. Day numbers are
// (date - date(1970,1,1)).days + 1 and moments datetime(..., tzinfo=ZoneInfo(zone))
// .timestamp(), from testdata/datetime/derive_vectors.py.
#include "zone_fixture.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* text;
    const char* format;
    int rc;
    ArcDateTime earliest;
    ArcDateTime latest;
};

void ExpectCases(const Case* begin, const Case* end, char letter, const char* zone) {
    for (const Case* c = begin; c != end; ++c) {
        const Bounds b = Parse(c->text, c->format, letter);
        const std::string name =
            std::string(zone) + " '" + c->text + "' with " + (c->format ? c->format : "(default)");
        ASSERT_EQ(b.rc, c->rc) << name;
        if (c->rc == 0) {
            EXPECT_EQ(b.earliest, c->earliest) << name;
            EXPECT_EQ(b.latest, c->latest) << name;
        } else {
            // Nothing is stored on failure.
            EXPECT_EQ(b.earliest, -7) << name;
            EXPECT_EQ(b.latest, -7) << name;
        }
    }
}

TEST(ParseValue, Dates) {
    const Case cases[] = {
        {"12/01/05", nullptr, 0, 13119, 13119},
        {"12/01/05", "", 0, 13119, 13119},
        {"12/2005", nullptr, 0, 13119, 13149},
        {"2005", nullptr, 0, 12785, 13149},
        {"05", nullptr, 0, 12785, 13149},
        {"75", nullptr, 0, 1827, 2191},
        {"12/01/69", nullptr, 0, 36495, 36495},
        {"02/29/04", "%m/%d/%y", 0, 12478, 12478},
        {"9999", nullptr, 0, 2932533, 2932897},
        {"2005 365", "%Y %j", 0, 13149, 13149},
        {"2004 366", "%Y %j", 0, 12784, 12784},
        {"2005 001", "%Y %j", 0, 12785, 12785},
        {"2005 335 12", "%Y %j %m", 0, 13119, 13119},
        {"Dec 2005", "%b %Y", 0, 13119, 13149},
        {"december 2005", "%B %Y", 0, 13119, 13149},
        {"DECEMBER 2005", "%h %Y", 0, 13119, 13149},
        {"1 Dec 05", "%e %b %y", 0, 13119, 13119},
        {"12/01/05 10", "%D %H", 0, 13119, 13119},
        // A given format that fails falls back to the default date format.
        {"12/01/05", "%Y-%m-%d", 0, 13119, 13119},
        {"02/30/05", "%m/%d/%y", -1, 0, 0},
        {"02/29/05", nullptr, -1, 0, 0},
        {"13/01/05", nullptr, -1, 0, 0},
        {"00/2005", nullptr, -1, 0, 0},
        {"2005 366", "%Y %j", -1, 0, 0},
        {"2005 000", "%Y %j", -1, 0, 0},
        {"2005 335 11", "%Y %j %m", -1, 0, 0},
        {"Decem 2005", "%B %Y", -1, 0, 0},
        {"Thu 12/01/05", "%a %D", -1, 0, 0},
        {"12/2005 10", "%m/%Y %H", -1, 0, 0},
        {"01/05", "%d/%y", -1, 0, 0},
        {"12/01", "%m/%d", -1, 0, 0},
        {"1969", nullptr, -1, 0, 0},
        {"12/01/2005", nullptr, -1, 0, 0},
        {"12/01/05x", nullptr, -1, 0, 0},
        {"", nullptr, -1, 0, 0},
    };
    for (const char* zone : kZones) {
        ZoneScope tz(zone);
        ExpectCases(std::begin(cases), std::end(cases), 'D', zone);
    }
}

// Units are (h*3600 + m*60 + s) // 3.
TEST(ParseValue, TimesOfDay) {
    const Case cases[] = {
        {"23:59:59", nullptr, 0, 28799, 28799},
        {"00:00:00", nullptr, 0, 0, 0},
        {"12", nullptr, 0, 14400, 15599},
        {"12:30", nullptr, 0, 15000, 15019},
        {"23:59:57", "%X", 0, 28799, 28799},
        {"12:00:00 AM", "%I:%M:%S %p", 0, 0, 0},
        {"12:00:00 PM", "%I:%M:%S %p", 0, 14400, 14400},
        {"01:30:00 pm", "%I:%M:%S %p", 0, 16200, 16200},
        {"00:10:00 AM", "%H:%M:%S %p", 0, 200, 200},
        {"12:00:00 AM", "%r", 0, 0, 0},
        {"12/00/00 PM", "%r", 0, 14400, 14400},
        {"10:30", "%R", 0, 12600, 12619},
        {"10/30", "%R", 0, 12600, 12619},
        {"10:30:00", "%T", 0, 12600, 12600},
        {"24:00:00", nullptr, -1, 0, 0},
        {"12:60", nullptr, -1, 0, 0},
        {"13:00:00 PM", "%H:%M:%S %p", -1, 0, 0},
        {"13:00:00 AM", "%H:%M:%S %p", -1, 0, 0},
        {"00:00:00 XM", "%I:%M:%S %p", -1, 0, 0},
        {"10:30", "%M:%S", -1, 0, 0},
        {"PM", "%p", -1, 0, 0},
        {"10.30", nullptr, -1, 0, 0},
    };
    ZoneScope tz("Asia/Kolkata");
    ExpectCases(std::begin(cases), std::end(cases), 'T', "Asia/Kolkata");
}

// datetime(..., tzinfo=ZoneInfo(zone)).timestamp() of the first and last second the
// text can mean; the 'C' columns add the zone's offset at that moment in whole hours,
// truncated toward zero.
struct MomentCase {
    const char* zone;
    const char* text;
    ArcDateTime earliest;
    ArcDateTime latest;
    ArcDateTime earliestC;
    ArcDateTime latestC;
};
const MomentCase kMoments[] = {
    {"UTC", "12/01/05 10:00:00", 1133431200LL, 1133431200LL, 1133431200LL, 1133431200LL},
    {"UTC", "07/04/05 23:59:59", 1120521599LL, 1120521599LL, 1120521599LL, 1120521599LL},
    {"UTC", "2005", 1104537600LL, 1136073599LL, 1104537600LL, 1136073599LL},
    {"UTC", "06/2005", 1117584000LL, 1120175999LL, 1117584000LL, 1120175999LL},
    {"UTC", "03/27/05 14", 1111932000LL, 1111935599LL, 1111932000LL, 1111935599LL},
    {"UTC", "11/06/05 08:30", 1131265800LL, 1131265859LL, 1131265800LL, 1131265859LL},
    {"UTC", "02/29/72", 68169600LL, 68255999LL, 68169600LL, 68255999LL},
    {"Europe/Berlin", "12/01/05 10:00:00", 1133427600LL, 1133427600LL, 1133431200LL, 1133431200LL},
    {"Europe/Berlin", "07/04/05 23:59:59", 1120514399LL, 1120514399LL, 1120521599LL, 1120521599LL},
    {"Europe/Berlin", "2005", 1104534000LL, 1136069999LL, 1104537600LL, 1136073599LL},
    {"Europe/Berlin", "06/2005", 1117576800LL, 1120168799LL, 1117584000LL, 1120175999LL},
    {"Europe/Berlin", "03/27/05 14", 1111924800LL, 1111928399LL, 1111932000LL, 1111935599LL},
    {"Europe/Berlin", "11/06/05 08:30", 1131262200LL, 1131262259LL, 1131265800LL, 1131265859LL},
    {"Europe/Berlin", "02/29/72", 68166000LL, 68252399LL, 68169600LL, 68255999LL},
    {"America/New_York", "12/01/05 10:00:00", 1133449200LL, 1133449200LL, 1133431200LL, 1133431200LL},
    {"America/New_York", "07/04/05 23:59:59", 1120535999LL, 1120535999LL, 1120521599LL, 1120521599LL},
    {"America/New_York", "2005", 1104555600LL, 1136091599LL, 1104537600LL, 1136073599LL},
    {"America/New_York", "06/2005", 1117598400LL, 1120190399LL, 1117584000LL, 1120175999LL},
    {"America/New_York", "03/27/05 14", 1111950000LL, 1111953599LL, 1111932000LL, 1111935599LL},
    {"America/New_York", "11/06/05 08:30", 1131283800LL, 1131283859LL, 1131265800LL, 1131265859LL},
    {"America/New_York", "02/29/72", 68187600LL, 68273999LL, 68169600LL, 68255999LL},
    {"Asia/Kolkata", "12/01/05 10:00:00", 1133411400LL, 1133411400LL, 1133429400LL, 1133429400LL},
    {"Asia/Kolkata", "07/04/05 23:59:59", 1120501799LL, 1120501799LL, 1120519799LL, 1120519799LL},
    {"Asia/Kolkata", "2005", 1104517800LL, 1136053799LL, 1104535800LL, 1136071799LL},
    {"Asia/Kolkata", "06/2005", 1117564200LL, 1120156199LL, 1117582200LL, 1120174199LL},
    {"Asia/Kolkata", "03/27/05 14", 1111912200LL, 1111915799LL, 1111930200LL, 1111933799LL},
    {"Asia/Kolkata", "11/06/05 08:30", 1131246000LL, 1131246059LL, 1131264000LL, 1131264059LL},
    {"Asia/Kolkata", "02/29/72", 68149800LL, 68236199LL, 68167800LL, 68254199LL},
};

TEST(ParseValue, MomentsInEveryZone) {
    for (const MomentCase& c : kMoments) {
        ZoneScope tz(c.zone);
        const Case asUtc[] = {{c.text, nullptr, 0, c.earliest, c.latest}};
        ExpectCases(std::begin(asUtc), std::end(asUtc), 'Z', c.zone);
        const Case asShifted[] = {{c.text, nullptr, 0, c.earliestC, c.latestC}};
        ExpectCases(std::begin(asShifted), std::end(asShifted), 'C', c.zone);
    }
}

TEST(ParseValue, MomentFailuresAndLateYears) {
    const Case cases[] = {
        // Dates from 2070 on work when the year has four digits.
        {"01/01/2070 00:00:00", "%m/%d/%Y %H:%M:%S", 0, 3155760000LL, 3155760000LL},
        {"12/01/05 10:00:00", "%c", 0, 1133431200LL, 1133431200LL},
        {"02/30/05 10:00:00", nullptr, -1, 0, 0},
        {"12/01/05 10:61:00", nullptr, -1, 0, 0},
        {"12/2005 10", "%m/%Y %H", -1, 0, 0},
        {"12/01/05 10:00:00", "%C", -1, 0, 0},
        {"12/01/05 10:00:00 UTC", "%c %Z", -1, 0, 0},
    };
    ZoneScope tz("UTC");
    ExpectCases(std::begin(cases), std::end(cases), 'Z', "UTC");
}

TEST(ParseValue, BadArguments) {
    ArcDateTime low = -7;
    EXPECT_EQ(ArcDT_ParseValue(nullptr, nullptr, 'D', &low, nullptr), -1);
    EXPECT_EQ(ArcDT_ParseValue("2005", nullptr, 'A', &low, nullptr), -1);
    EXPECT_EQ(ArcDT_ParseValue("2005", nullptr, 'E', &low, nullptr), -1);
    EXPECT_EQ(low, -7);
    // Either bound may be left out.
    EXPECT_EQ(ArcDT_ParseValue("2005", nullptr, 'D', nullptr, &low), 0);
    EXPECT_EQ(low, 13149);
    EXPECT_EQ(ArcDT_ParseValue("2005", nullptr, 'D', nullptr, nullptr), 0);
}

}  // namespace
