#include "arc_platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

TEST(Numbers, StrToI64) {
    struct Case {
        const char* text;
        int base;
        int64_t value;
        size_t endOffset;  // SIZE_MAX: the end of the text
    } cases[] = {
        {"12345", 10, 12345, 5},
        {"-42abc", 10, -42, 3},
        {"-", 0, 0, 1},
        {"abc", 10, 0, 0},
        {"9223372036854775807", 10, std::numeric_limits<int64_t>::max(), 19},
        {"99999999999999999999", 10, std::numeric_limits<int64_t>::max(), 20},
        {"-9223372036854775808", 10, std::numeric_limits<int64_t>::min(), 20},
        {"17xyz", 16, 17, SIZE_MAX},  // other bases: still decimal, end at the end
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        char* end = nullptr;
        EXPECT_EQ(ArcOS_StrToI64(c.text, &end, c.base), c.value);
        size_t expectedEnd = c.endOffset == SIZE_MAX ? strlen(c.text) : c.endOffset;
        EXPECT_EQ(size_t(end - c.text), expectedEnd);
    }
}

TEST(Numbers, AToI64) {
    EXPECT_EQ(ArcOS_AToI64("  -17"), -17);
    EXPECT_EQ(ArcOS_AToI64("+8589934592"), 8589934592LL);
    EXPECT_EQ(ArcOS_AToI64("x1"), 0);
    EXPECT_EQ(ArcOS_AToI64(nullptr), 0);
}

}  // namespace
