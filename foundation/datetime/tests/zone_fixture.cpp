#include "zone_fixture.h"

#include "arc_platform.h"

#include <vector>

ZoneScope::ZoneScope(const std::string& zone) : previous_(ArcOS_GetEnv("TZ")) {
    ArcOS_PutEnv(("TZ=" + zone).c_str());
}

// An unset TZ cannot be restored through the platform; UTC is what the tests assume
// outside a scope anyway.
ZoneScope::~ZoneScope() { ArcOS_PutEnv(("TZ=" + previous_.value_or("UTC")).c_str()); }

ClockScope::ClockScope(int64_t utcSeconds) { ArcOS_SetTestClock(utcSeconds); }

ClockScope::~ClockScope() { ArcOS_SetTestClock(std::nullopt); }

std::string Format(ArcDateTime value, char type, const char* format) {
    // Exactly the documented size, so a write past it shows under the address sanitizer.
    std::vector<char> buffer(ARC_DT_TEXT_MAX, '\x7f');
    const ArcDTValue record{value, format, type};
    const char* text = ArcDT_FormatValue(buffer.data(), &record);
    return text != nullptr ? std::string(text) : std::string("<null>");
}

Bounds Parse(const char* text, const char* format, char letter) {
    Bounds b{0, -7, -7};
    b.rc = ArcDT_ParseValue(text, format, letter, &b.earliest, &b.latest);
    return b;
}
