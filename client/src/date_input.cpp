// Date input by keyword: the today letter with an optional move ("T-7", "T+1M"), or a
// text whose day, month and year letters stand for today's ("D/M/Y", "01/01/Y").
#include "date_input.h"

#include <climits>
#include <cstring>
#include <string>

#include "arc_platform.h"
#include "library_state.h"

namespace qelclient {

namespace {

const char* SkipBlanks(const char* p) {
    while (*p == ' ') ++p;
    return p;
}

// The length of the (single- or double-byte) character at p.
size_t CharLength(const char* p) {
    return ArcOS_IsDBCSLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0' ? 2 : 1;
}

// Today's two-digit month, day and year, from its "%m/%d/%y" text.
bool TodayParts(ArcDateTime now, std::string* month, std::string* day, std::string* year) {
    ArcDTValue today;
    today.value = ArcDT_ConvertValue(now, 'Z', 'D');
    today.format = "%m/%d/%y";
    today.type = 'D';
    char text[ARC_DT_TEXT_MAX];
    if (today.value <= 0 || !ArcDT_FormatValue(text, &today) || std::strlen(text) != 8) return false;
    *month = std::string(text, 2);
    *day = std::string(text + 3, 2);
    *year = std::string(text + 6, 2);
    return true;
}

// Step 1: the day, month and year letters replaced by today's, then read by the format.
int ReadWithTodayLetters(const char* input, char dateType, const char* dateFormat, const DateLetters& letters,
                         ArcDateTime now, int64_t* start, int64_t* end) {
    std::string month, day, year;
    if (!TodayParts(now, &month, &day, &year)) return -1;
    std::string copy;
    bool replaced = false;
    for (const char* p = input; *p;) {
        const char* next = nullptr;
        const std::string* part = nullptr;
        if (Session_MatchLetter(p, letters.day, &next))
            part = &day;
        else if (Session_MatchLetter(p, letters.month, &next))
            part = &month;
        else if (Session_MatchLetter(p, letters.year, &next))
            part = &year;
        if (part) {
            copy += *part;
            replaced = true;
            p = next;
            continue;
        }
        const size_t length = CharLength(p);
        copy.append(p, length);
        p += length;
    }
    if (!replaced) return -1;
    return ArcDT_ParseValue(copy.c_str(), dateFormat, dateType, start, end) == 0 ? 0 : -1;
}

// A signed decimal number that fits an int; p moves past it.
bool ReadCount(const char** p, int* out) {
    const char* q = *p;
    const bool negative = *q == '-';
    if (*q == '-' || *q == '+') ++q;
    if (*q < '0' || *q > '9') return false;
    long long value = 0;
    for (; *q >= '0' && *q <= '9'; ++q) {
        value = value * 10 + (*q - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return false;
    *out = static_cast<int>(value);
    *p = q;
    return true;
}

// Step 2: after the today letter, nothing (today) or a count and an optional unit.
int ReadRelative(const char* p, const char* defaultUnit, char dateType, const char* dateFormat,
                 const DateLetters& letters, ArcDateTime now, int64_t* start, int64_t* end) {
    int days = 0, months = 0, years = 0;
    p = SkipBlanks(p);
    if (*p) {
        int count = 0;
        if (!ReadCount(&p, &count)) return -1;
        p = SkipBlanks(p);
        const char* unit = defaultUnit ? defaultUnit : "";
        if (*p) {
            unit = p;
            p += CharLength(p);
            if (*SkipBlanks(p)) return -1;
        }
        if (Session_MatchLetter(unit, letters.day, nullptr))
            days = count;
        else if (Session_MatchLetter(unit, letters.month, nullptr))
            months = count;
        else if (Session_MatchLetter(unit, letters.year, nullptr))
            years = count;
        else
            return -1;
    }
    ArcDTValue date;
    date.value = ArcDT_ConvertValue(now, 'Z', dateType);
    if (date.value < 0) return -1;
    date.value = ArcDT_AddInterval(date.value, days, months, years, 0, 0, 0, dateType);
    if (date.value < 0) return -1;
    // Written and read back by the field's format, so the range is the one the
    // format can tell apart (a whole day for a date-only format).
    date.format = dateFormat;
    date.type = dateType;
    char text[ARC_DT_TEXT_MAX];
    if (!ArcDT_FormatValue(text, &date)) return -1;
    return ArcDT_ParseValue(text, dateFormat, dateType, start, end) == 0 ? 0 : -1;
}

template <size_t N>
void TakeLetter(char (&to)[N], const char (&from)[N]) {
    if (from[0] != '\0') std::memcpy(to, from, N);
}

}  // namespace

DateLetters StartupDateLetters() {
    const LibraryOptions& o = Library().options;
    DateLetters letters;
    TakeLetter(letters.today, o.todayLetter);
    TakeLetter(letters.day, o.dayLetter);
    TakeLetter(letters.month, o.monthLetter);
    TakeLetter(letters.year, o.yearLetter);
    return letters;
}

int ParseDateInputAt(const char* input, const char* defaultUnit, char dateType, const char* dateFormat,
                     const DateLetters& letters, ArcDateTime now, int64_t* start, int64_t* end) {
    if (!input) return -1;
    const char* p = SkipBlanks(input);
    const char* afterToday = nullptr;
    if (!Session_MatchLetter(p, letters.today, &afterToday)) {
        return ReadWithTodayLetters(p, dateType, dateFormat, letters, now, start, end);
    }
    return ReadRelative(afterToday, defaultUnit, dateType, dateFormat, letters, now, start, end);
}

}  // namespace qelclient

int ParseDateInput(const char* input, const char* defaultUnit, char dateType, const char* dateFormat,
                   int64_t* start, int64_t* end) {
    using namespace qelclient;
    return ParseDateInputAt(input, defaultUnit, dateType, dateFormat, StartupDateLetters(), ArcDT_Now('Z'),
                            start, end);
}
