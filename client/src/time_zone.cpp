// Splitting the TZ text into the zone names and offset of the names block.
#include <cctype>
#include <cstdint>

#include "library_state.h"

namespace qelclient {
namespace {

bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

ZoneSplit SplitTimeZone(const char* text) {
    ZoneSplit split;
    if (!text) return split;
    const char* p = text;
    while (IsLetter(*p)) {
        if (split.standardName.size() < ARC_DT_ZONE_MAX - 1) split.standardName += *p;
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    int32_t hours = 0;
    while (IsDigit(*p)) {
        // A zone is at most a day away; more digits than that are not a zone offset.
        if (hours < 1000) hours = hours * 10 + (*p - '0');
        ++p;
    }
    split.offsetHours = negative ? -hours : hours;
    while (*p && !IsLetter(*p)) ++p;
    while (*p && split.daylightName.size() < ARC_DT_ZONE_MAX - 1) split.daylightName += *p++;
    split.daylight = split.daylightName.empty() ? 0 : 1;
    return split;
}

}  // namespace qelclient
