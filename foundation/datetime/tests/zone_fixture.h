// Test helpers: a time zone and a wall clock set for the length of a scope.
#pragma once

#include "arc_datetime.h"

#include <cstdint>
#include <optional>
#include <string>

// The zones every vector is checked under (Python zoneinfo names).
inline constexpr const char* kZones[] = {"UTC", "Europe/Berlin", "America/New_York", "Asia/Kolkata"};

// Sets TZ through the platform layer; puts the previous zone back at the end.
class ZoneScope {
public:
    explicit ZoneScope(const std::string& zone);
    ~ZoneScope();
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    std::optional<std::string> previous_;
};

// Fixes the platform's wall clock; lets it run again at the end.
class ClockScope {
public:
    explicit ClockScope(int64_t utcSeconds);
    ~ClockScope();
    ClockScope(const ClockScope&) = delete;
    ClockScope& operator=(const ClockScope&) = delete;
};

// Formats value as type with format; "<null>" when formatting fails.
std::string Format(ArcDateTime value, char type, const char* format = nullptr);

// The parse result as a record, for one-line comparisons.
struct Bounds {
    int rc;
    ArcDateTime earliest;
    ArcDateTime latest;
};
Bounds Parse(const char* text, const char* format, char letter);
