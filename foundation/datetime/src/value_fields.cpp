// Typed values to calendar and clock fields and back.
#include "datetime_detail.h"

#include "arc_platform.h"

#include <ctime>

namespace arc_dt_detail {
namespace {

Fields FromTm(const struct tm& t) {
    Fields f;
    f.year = static_cast<int64_t>(t.tm_year) + 1900;
    f.month = t.tm_mon + 1;
    f.day = t.tm_mday;
    f.hour = t.tm_hour;
    f.minute = t.tm_min;
    f.second = t.tm_sec;
    f.weekday = t.tm_wday;
    f.yearDay = t.tm_yday + 1;
    f.isDst = t.tm_isdst > 0 ? 1 : 0;
    return f;
}

std::optional<Fields> DayFields(ArcDateTime day) {
    if (day < 1 || day > kMaxDay) return std::nullopt;
    const CivilDate date = CivilFromDays(day - 1);
    Fields f;
    f.year = date.year;
    f.month = date.month;
    f.day = date.day;
    // Day 1 was a Thursday.
    f.weekday = static_cast<int>((day + 3) % 7);
    f.yearDay = YearDay(date.year, date.month, date.day);
    return f;
}

std::optional<Fields> TimeFields(ArcDateTime units) {
    if (units < 0 || units >= kTimeUnits) return std::nullopt;
    Fields f;
    f.hasDate = false;
    f.hour = static_cast<int>(units / 1200);
    f.minute = static_cast<int>(units % 1200 / 20);
    f.second = static_cast<int>(units % 20 * 3);
    return f;
}

}  // namespace

std::optional<Fields> BreakDown(ArcDateTime value, char letter) {
    struct tm t {};
    switch (letter) {
        case 'Z':
            if (ArcOS_LocalTime(value, &t) != 0) return std::nullopt;
            return FromTm(t);
        case 'C': {
            // The number already holds local time; only the daylight flag comes
            // from the zone.
            if (ArcOS_GmTime(value, &t) != 0) return std::nullopt;
            Fields f = FromTm(t);
            struct tm local {};
            f.isDst = ArcOS_LocalTime(value, &local) == 0 && local.tm_isdst > 0 ? 1 : 0;
            return f;
        }
        case 'D': return DayFields(value);
        case 'T': return TimeFields(value);
        default: return std::nullopt;
    }
}

std::optional<ArcDateTime> MakeValue(int64_t year, int month, int day, int hour, int minute, int second,
                                     char letter) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return std::nullopt;
    if (letter == 'T') return (hour * 3600 + minute * 60 + second) / 3;
    if (year < kMinYear || year > kMaxYear || day < 1 || day > MonthLength(year, month)) return std::nullopt;
    if (letter == 'D') {
        if (year < 1970) return std::nullopt;
        return DaysFromCivil(year, month, day) + 1;
    }
    if (letter != 'Z' && letter != 'C') return std::nullopt;
    struct tm t {};
    t.tm_year = static_cast<int>(year - 1900);
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    const int64_t utc = ArcOS_MkTime(&t);
    // -1 is the conversion's failure result (and this system's failure value).
    if (utc == -1) return std::nullopt;
    return letter == 'Z' ? std::optional<ArcDateTime>(utc) : ShiftToLocal(utc);
}

}  // namespace arc_dt_detail
