// arc_datetime.h - typed date and time values of the archive.
//
// A date or time is a signed 64-bit number whose meaning a type letter beside it sets:
//   'Z'  a moment: seconds since 1 January 1970 00:00 UTC
//   'C'  a moment shifted to local time: the 'Z' seconds plus the zone's UTC offset
//        of that moment in whole hours, truncated toward zero (0 or less: unshifted)
//   'D'  a date: days, 1 January 1970 being day 1 (0 is no date), up to 31 Dec 9999
//   'T'  a time of day: units of 3 seconds since midnight, 0 to 28799
// A letter outside 'C'..'Z' makes every operation fail; inside that range only these
// four are known. Local time is the process's time zone (TZ), through the platform layer.
//
// Month and day names, the AM/PM words, the default formats and the zone names come
// from a names block that the client library may replace (ArcDT_SetLocaleNames).
#pragma once

#include <cstddef>
#include <cstdint>

// The 64-bit number of a typed date or time (its type letter travels beside it).
using ArcDateTime = int64_t;

// Size of the buffer ArcDT_FormatValue writes (128 characters with the terminator).
inline constexpr size_t ARC_DT_TEXT_MAX = 128;
// Size of a format slot of the names block and of ArcDT_DefaultFormat's buffer.
inline constexpr size_t ARC_DT_FORMAT_MAX = 61;
inline constexpr size_t ARC_DT_NAME_MAX = 21;
inline constexpr size_t ARC_DT_ZONE_MAX = 31;

// The value record handed to formatting.
struct ArcDTValue {
    ArcDateTime value = 0;
    const char* format = nullptr;  // null or empty: the type's default format
    char type = 'Z';               // type letter
};

// The replaceable names block. Every text is zero-terminated within its slot; an
// empty format slot means the built-in format. Layout (offsets) in docs/datetime-names-block.md.
struct ArcDTNames {
    char monthNames[12][ARC_DT_NAME_MAX];    // "January" ...
    char monthAbbrevs[12][ARC_DT_NAME_MAX];  // "Jan" ...
    char dayNames[7][ARC_DT_NAME_MAX];       // "Sunday" ... (Sunday first)
    char dayAbbrevs[7][ARC_DT_NAME_MAX];     // "Sun" ...
    char am[5];                              // "AM"
    char pm[5];                              // "PM"
    char timeFormat[ARC_DT_FORMAT_MAX];      // "%H:%M:%S"
    char dateFormat[ARC_DT_FORMAT_MAX];      // "%m/%d/%y"
    char dateTimeFormat[ARC_DT_FORMAT_MAX];  // "%m/%d/%y %H:%M:%S"
    char reserved;                           // zero
    int32_t zoneSelector;                    // 0 or less: %Z uses standardZone; more: daylightZone
    char standardZone[ARC_DT_ZONE_MAX];      // empty: the system's standard zone name
    int32_t zoneOffsetHours;                 // filled by the client library; not used here
    char daylightZone[ARC_DT_ZONE_MAX];      // empty: the system's standard zone name
};

// Uses a copy of the block for all later calls; null restores the built-in English block.
void ArcDT_SetLocaleNames(const ArcDTNames* block);

// The default format of a type: date-and-time for 'C' and 'Z', date for 'D', time for
// 'T' (the built-in text when the block's slot is empty), the empty text for other
// letters. Copied into buffer (ARC_DT_FORMAT_MAX bytes) when one is given and buffer
// is returned; else a pointer to a per-thread copy, valid until the thread's next call.
const char* ArcDT_DefaultFormat(char* buffer, char letter);

// Formats the value (strftime-like directives, see docs/datetime-formats.md) into
// buffer, which holds ARC_DT_TEXT_MAX bytes. Returns buffer, or null when the value is
// invalid for its type, the format cannot be honoured or the text does not fit.
char* ArcDT_FormatValue(char* buffer, const ArcDTValue* value);

// Parses text with format (null or empty: the type's default; then the fallback
// formats) as a value of type letter. On success stores the earliest and the latest
// value the text can mean (either pointer may be null) and returns 0; else -1.
int ArcDT_ParseValue(const char* text, const char* format, char letter, ArcDateTime* earliest,
                     ArcDateTime* latest);

// The current time in that type; 0 for an unknown letter inside 'C'..'Z', -1 for a
// letter outside it or when the clock cannot be read.
ArcDateTime ArcDT_Now(char letter);

// The value converted from one type to another (same letter: the value itself); -1
// when the value is invalid for its type or has no meaning in the target type (a 'T'
// value has no date).
ArcDateTime ArcDT_ConvertValue(ArcDateTime value, char fromLetter, char toLetter);

// The value moved by the interval, or -1 when the value is invalid, the result leaves
// the type's range or the arithmetic would overflow. 'Z' and 'C' use every part;
// 'D' days, months and years; 'T' hours, minutes and seconds (a result past the end
// of the day stops at 28799). Rules: docs/datetime-arithmetic.md.
ArcDateTime ArcDT_AddInterval(ArcDateTime value, int days, int months, int years, int hours, int minutes,
                              int seconds, char letter);
