// Proleptic Gregorian calendar arithmetic: no loops over years, so a huge day number
// costs the same as a small one.
#include "datetime_detail.h"

namespace arc_dt_detail {

bool IsKnownLetter(char letter) { return letter == 'Z' || letter == 'C' || letter == 'D' || letter == 'T'; }

bool IsLetterInRange(char letter) { return letter >= 'C' && letter <= 'Z'; }

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int MonthLength(int64_t year, int month) {
    static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kLengths[month - 1];
}

// Eras of 400 years (146097 days) starting 1 March; callers keep years within
// kMinYear..kMaxYear, so nothing here can overflow.
int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t marchMonth = month > 2 ? month - 3 : month + 9;
    const int64_t dayOfYear = (153 * marchMonth + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t marchMonth = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * marchMonth + 2) / 5 + 1);
    const int month = static_cast<int>(marchMonth < 10 ? marchMonth + 3 : marchMonth - 9);
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

int YearDay(int64_t year, int month, int day) {
    return static_cast<int>(DaysFromCivil(year, month, day) - DaysFromCivil(year, 1, 1) + 1);
}

}  // namespace arc_dt_detail
