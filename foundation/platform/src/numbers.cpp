#include "arc_platform.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Accumulates decimal digits, saturating instead of overflowing.
int64_t decimalValue(const char*& p, bool negative) {
    uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                              : uint64_t(std::numeric_limits<int64_t>::max());
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        unsigned digit = unsigned(*p - '0');
        if (value > (limit - digit) / 10)
            value = limit;
        else
            value = value * 10 + digit;
    }
    if (negative) return value == limit ? std::numeric_limits<int64_t>::min() : -int64_t(value);
    return int64_t(value);
}

}  // namespace

int64_t ArcOS_AToI64(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (ArcOS_IsSpace(*p)) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    return decimalValue(p, negative);
}

int64_t ArcOS_StrToI64(const char* text, char** end, int base) {
    if (text == nullptr) {
        if (end != nullptr) *end = nullptr;
        return 0;
    }
    const char* p = text;
    bool negative = *p == '-';
    if (negative) ++p;
    int64_t value = decimalValue(p, negative);
    if (end != nullptr) *end = const_cast<char*>(base == 0 || base == 10 ? p : text + std::strlen(text));
    return value;
}
