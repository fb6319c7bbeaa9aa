// Internals shared by the datetime sources; no other component includes this.
#pragma once

#include "arc_datetime.h"

#include <cstdint>
#include <optional>
#include <string>

namespace arc_dt_detail {

// Largest day number of type 'D': 31 December 9999.
inline constexpr int64_t kMaxDay = 2932897;
// 'T' values are 0 .. kTimeUnits - 1.
inline constexpr int64_t kTimeUnits = 28800;
inline constexpr int kMinYear = 1;
inline constexpr int kMaxYear = 9999;

bool IsKnownLetter(char letter);
// 'C'..'Z': the range the type letters come from.
bool IsLetterInRange(char letter);

// --- civil calendar (proleptic Gregorian) ---
bool IsLeapYear(int64_t year);
int MonthLength(int64_t year, int month);  // month 1-12
// Days from 1970-01-01 to the date (negative before it).
int64_t DaysFromCivil(int64_t year, int month, int day);
struct CivilDate {
    int64_t year;
    int month;  // 1-12
    int day;    // 1-31
};
CivilDate CivilFromDays(int64_t days);
// Day of the year (1-366) of a valid date.
int YearDay(int64_t year, int month, int day);

// A value broken down into calendar and clock fields.
struct Fields {
    int64_t year = 1900;
    int month = 1;  // 1-12
    int day = 0;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 0;  // 0-6, Sunday 0
    int yearDay = 1;  // 1-366
    int isDst = 0;
    bool hasDate = true;  // false for a 'T' value
};

// Breaks a value of its type down; nothing when the value is invalid for the type.
std::optional<Fields> BreakDown(ArcDateTime value, char letter);

// Makes a value of the type from date and clock fields (the date is ignored for 'T');
// nothing when the fields give no valid value of the type.
std::optional<ArcDateTime> MakeValue(int64_t year, int month, int day, int hour, int minute, int second,
                                     char letter);

// 'Z' seconds to 'C': plus the zone's offset of that moment in whole hours, truncated
// toward zero. 0 or less stays as it is; nothing on overflow.
std::optional<ArcDateTime> ShiftToLocal(ArcDateTime utcSeconds);
// The inverse of ShiftToLocal (exact outside the daylight-saving change hours).
std::optional<ArcDateTime> ShiftFromLocal(ArcDateTime shifted);

// A snapshot of the names block in use.
ArcDTNames CurrentNames();
// A text slot of the block (terminated within its size or cut there).
std::string SlotText(const char* slot, size_t size);
// The default format of a type from the names block, the built-in text when empty.
std::string DefaultFormatOf(const ArcDTNames& names, char letter);
// The zone name %Z prints.
std::string ZoneName(const ArcDTNames& names);

}  // namespace arc_dt_detail
