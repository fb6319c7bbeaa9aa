// ArcDT_AddInterval: moving a value by days, months, years, hours, minutes, seconds.
#include "datetime_detail.h"

#include "arc_platform.h"

#include <ctime>

namespace arc_dt_detail {
namespace {

// Years and months added to a year and month (1-12), carried both ways; nothing when
// the result leaves kMinYear..kMaxYear.
std::optional<CivilDate> AddMonths(int64_t year, int month, int months, int years) {
    const int64_t total =
        year * 12 + (month - 1) + static_cast<int64_t>(months) + static_cast<int64_t>(years) * 12;
    if (total < static_cast<int64_t>(kMinYear) * 12 || total >= (static_cast<int64_t>(kMaxYear) + 1) * 12) {
        return std::nullopt;
    }
    return CivilDate{total / 12, static_cast<int>(total % 12) + 1, 1};
}

// 'Z' breaks down and rebuilds in local time, so a month later keeps the wall-clock
// time across a daylight-saving change; 'C' numbers already hold the wall clock and
// are moved in UTC arithmetic.
std::optional<ArcDateTime> MoveMoment(ArcDateTime value, int days, int months, int years, int hours,
                                      int minutes, int seconds, char letter) {
    const int64_t delta = static_cast<int64_t>(days) * 86400 + static_cast<int64_t>(hours) * 3600 +
                          static_cast<int64_t>(minutes) * 60 + seconds;
    int64_t moved = 0;
    if (__builtin_add_overflow(value, delta, &moved)) return std::nullopt;
    if (months == 0 && years == 0) return moved;
    struct tm t {};
    const int rc = letter == 'Z' ? ArcOS_LocalTime(moved, &t) : ArcOS_GmTime(moved, &t);
    if (rc != 0) return std::nullopt;
    const std::optional<CivilDate> target =
        AddMonths(static_cast<int64_t>(t.tm_year) + 1900, t.tm_mon + 1, months, years);
    if (!target) return std::nullopt;
    t.tm_year = static_cast<int>(target->year - 1900);
    t.tm_mon = target->month - 1;
    t.tm_isdst = -1;
    const int64_t result = letter == 'Z' ? ArcOS_MkTime(&t) : ArcOS_TimeGm(&t);
    if (result == -1) return std::nullopt;
    return result;
}

std::optional<ArcDateTime> MoveDay(ArcDateTime value, int days, int months, int years) {
    if (value < 1 || value > kMaxDay) return std::nullopt;
    ArcDateTime day = value + days;
    if (day < 1 || day > kMaxDay) return std::nullopt;
    if (months != 0 || years != 0) {
        const CivilDate date = CivilFromDays(day - 1);
        const std::optional<CivilDate> target = AddMonths(date.year, date.month, months, years);
        if (!target || target->year < 1970) return std::nullopt;
        // Counting the days again: the 31st of a shorter month runs into the next one,
        // as the local-time conversion does for 'Z'.
        day = DaysFromCivil(target->year, target->month, 1) + date.day;
        if (day < 1 || day > kMaxDay) return std::nullopt;
    }
    return day;
}

std::optional<ArcDateTime> MoveTime(ArcDateTime value, int hours, int minutes, int seconds) {
    if (value < 0 || value >= kTimeUnits) return std::nullopt;
    const int64_t moved =
        value + static_cast<int64_t>(hours) * 1200 + static_cast<int64_t>(minutes) * 20 + seconds / 3;
    if (moved < 0) return std::nullopt;
    // Past the end of the day stops at its last unit.
    return moved >= kTimeUnits ? kTimeUnits - 1 : moved;
}

}  // namespace
}  // namespace arc_dt_detail

ArcDateTime ArcDT_AddInterval(ArcDateTime value, int days, int months, int years, int hours, int minutes,
                              int seconds, char letter) {
    using namespace arc_dt_detail;
    std::optional<ArcDateTime> result;
    switch (letter) {
        case 'Z':
        case 'C': result = MoveMoment(value, days, months, years, hours, minutes, seconds, letter); break;
        case 'D': result = MoveDay(value, days, months, years); break;
        case 'T': result = MoveTime(value, hours, minutes, seconds); break;
        default: break;
    }
    return result.value_or(-1);
}
