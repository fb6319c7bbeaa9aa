#include "arc_platform.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace {

class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) : saved_(ArcOS_GetEnv("TZ")) {
        ArcOS_PutEnv((std::string("TZ=") + zone).c_str());
    }
    ~ZoneGuard() { ArcOS_PutEnv(("TZ=" + saved_.value_or("")).c_str()); }

private:
    std::optional<std::string> saved_;
};

TEST(Time, LocalConversionsFollowTheZone) {
    struct Case {
        const char* zone;
        int64_t moment;  // 2005-12-01 12:00:00 UTC and 2005-07-01 12:00:00 UTC
        long offset;
        int localHour;
    } cases[] = {
        {"UTC", 1133438400, 0, 12},
        {"Europe/Berlin", 1133438400, 3600, 13},
        {"Europe/Berlin", 1120219200, 7200, 14},
        {"America/New_York", 1133438400, -18000, 7},
        {"Asia/Kolkata", 1133438400, 19800, 17},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.moment));
        ZoneGuard zone(c.zone);
        EXPECT_EQ(ArcOS_UtcOffset(c.moment), c.offset);
        struct tm local;
        ASSERT_EQ(ArcOS_LocalTime(c.moment, &local), 0);
        EXPECT_EQ(local.tm_hour, c.localHour);
        EXPECT_EQ(ArcOS_MkTime(&local), c.moment);
    }
}

TEST(Time, UtcConversionsRoundTrip) {
    struct tm utc;
    ASSERT_EQ(ArcOS_GmTime(1133438400, &utc), 0);
    EXPECT_EQ(utc.tm_year, 105);
    EXPECT_EQ(utc.tm_mon, 11);
    EXPECT_EQ(utc.tm_mday, 1);
    EXPECT_EQ(ArcOS_TimeGm(&utc), 1133438400);
    EXPECT_EQ(ArcOS_GmTime(0, nullptr), -1);
}

TEST(Time, TestClockFixesTheWallClock) {
    ArcOS_SetTestClock(1133438400);
    EXPECT_EQ(ArcOS_TimeNow(), 1133438400);
    ArcOSTimeB now;
    ArcOS_FTime(&now);
    EXPECT_EQ(now.time, 1133438400);
    ArcOS_SetTestClock(std::nullopt);
    EXPECT_GT(ArcOS_TimeNow(), 1700000000);
}

TEST(Time, StopwatchMeasuresElapsedTime) {
    QelTimer timer;
    QelTimer_Start(&timer);
    ArcOS_SleepMs(120);
    double elapsed = QelTimer_Elapsed(&timer);
    EXPECT_GE(elapsed, 0.11);
    EXPECT_LT(elapsed, 5.0);
}

}  // namespace
