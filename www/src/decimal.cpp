#include "decimal.h"

namespace qelwww::detail {

std::optional<uint64_t> ParseDigits(const char* text, uint64_t max) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    uint64_t value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return std::nullopt;
        uint64_t digit = static_cast<uint64_t>(*p - '0');
        if (value > (max - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

int32_t LeadingNumber(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    bool negative = false;
    if (*p == '-' || *p == '+') negative = (*p++ == '-');
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT32_MAX) {
            value = INT32_MAX + int64_t{negative ? 1 : 0};
            break;
        }
    }
    return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace qelwww::detail
