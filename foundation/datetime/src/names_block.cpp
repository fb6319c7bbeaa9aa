// The names block: built-in English names and formats, replaceable as a whole.
#include "datetime_detail.h"

#include "arc_platform.h"

#include <cstddef>
#include <cstring>
#include <ctime>
#include <mutex>

// The block is copied byte for byte into session state files; keep its layout.
static_assert(offsetof(ArcDTNames, monthAbbrevs) == 252);
static_assert(offsetof(ArcDTNames, dayNames) == 504);
static_assert(offsetof(ArcDTNames, dayAbbrevs) == 651);
static_assert(offsetof(ArcDTNames, am) == 798);
static_assert(offsetof(ArcDTNames, pm) == 803);
static_assert(offsetof(ArcDTNames, timeFormat) == 808);
static_assert(offsetof(ArcDTNames, dateFormat) == 869);
static_assert(offsetof(ArcDTNames, dateTimeFormat) == 930);
static_assert(offsetof(ArcDTNames, reserved) == 991);
static_assert(offsetof(ArcDTNames, zoneSelector) == 992);
static_assert(offsetof(ArcDTNames, standardZone) == 996);
static_assert(offsetof(ArcDTNames, zoneOffsetHours) == 1028);
static_assert(offsetof(ArcDTNames, daylightZone) == 1032);
static_assert(sizeof(ArcDTNames) == 1064);

namespace arc_dt_detail {
namespace {

constexpr const char* kMonthNames[12] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
constexpr const char* kMonthAbbrevs[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};
constexpr const char* kDayAbbrevs[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kTimeFormat = "%H:%M:%S";
constexpr const char* kDateFormat = "%m/%d/%y";
constexpr const char* kDateTimeFormat = "%m/%d/%y %H:%M:%S";

template <size_t N>
void Put(char (&slot)[N], const char* text) {
    std::strncpy(slot, text, N - 1);
    slot[N - 1] = '\0';
}

ArcDTNames BuiltInNames() {
    ArcDTNames names{};
    for (int i = 0; i < 12; ++i) {
        Put(names.monthNames[i], kMonthNames[i]);
        Put(names.monthAbbrevs[i], kMonthAbbrevs[i]);
    }
    for (int i = 0; i < 7; ++i) {
        Put(names.dayNames[i], kDayNames[i]);
        Put(names.dayAbbrevs[i], kDayAbbrevs[i]);
    }
    Put(names.am, "AM");
    Put(names.pm, "PM");
    Put(names.timeFormat, kTimeFormat);
    Put(names.dateFormat, kDateFormat);
    Put(names.dateTimeFormat, kDateTimeFormat);
    return names;
}

std::mutex& NamesMutex() {
    static std::mutex mutex;
    return mutex;
}

ArcDTNames& NamesInUse() {
    static ArcDTNames names = BuiltInNames();
    return names;
}

// The zone's standard (non-daylight) abbreviation: of the local times now and half a
// year on, the one without daylight saving.
std::string SystemStandardZoneName() {
    const int64_t now = ArcOS_TimeNow();
    std::string fallback;
    for (const int64_t moment : {now, now + 183 * 86400}) {
        struct tm local {};
        if (ArcOS_LocalTime(moment, &local) != 0 || local.tm_zone == nullptr) continue;
        if (local.tm_isdst <= 0) return local.tm_zone;
        if (fallback.empty()) fallback = local.tm_zone;
    }
    return fallback;
}

}  // namespace

ArcDTNames CurrentNames() {
    std::lock_guard<std::mutex> lock(NamesMutex());
    return NamesInUse();
}

std::string SlotText(const char* slot, size_t size) { return std::string(slot, strnlen(slot, size)); }

std::string DefaultFormatOf(const ArcDTNames& names, char letter) {
    std::string text;
    switch (letter) {
        case 'C':
        case 'Z':
            text = SlotText(names.dateTimeFormat, sizeof names.dateTimeFormat);
            return text.empty() ? kDateTimeFormat : text;
        case 'D':
            text = SlotText(names.dateFormat, sizeof names.dateFormat);
            return text.empty() ? kDateFormat : text;
        case 'T':
            text = SlotText(names.timeFormat, sizeof names.timeFormat);
            return text.empty() ? kTimeFormat : text;
        default: return text;
    }
}

std::string ZoneName(const ArcDTNames& names) {
    const std::string chosen = names.zoneSelector > 0
                                   ? SlotText(names.daylightZone, sizeof names.daylightZone)
                                   : SlotText(names.standardZone, sizeof names.standardZone);
    return chosen.empty() ? SystemStandardZoneName() : chosen;
}

}  // namespace arc_dt_detail

void ArcDT_SetLocaleNames(const ArcDTNames* block) {
    using namespace arc_dt_detail;
    const ArcDTNames names = block != nullptr ? *block : BuiltInNames();
    std::lock_guard<std::mutex> lock(NamesMutex());
    NamesInUse() = names;
}

const char* ArcDT_DefaultFormat(char* buffer, char letter) {
    using namespace arc_dt_detail;
    static thread_local char own[ARC_DT_FORMAT_MAX];
    char* out = buffer != nullptr ? buffer : own;
    // A slot holds at most 60 characters, so the text always fits.
    const std::string text = DefaultFormatOf(CurrentNames(), letter).substr(0, ARC_DT_FORMAT_MAX - 1);
    std::memcpy(out, text.c_str(), text.size() + 1);
    return out;
}
