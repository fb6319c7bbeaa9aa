// Type letters: which compress, their LZW widths and the choice of a letter by size.
#include "arc_compress.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TypeLetters, WorthCompressingAndWidths) {
    struct Case {
        char letter;
        uint64_t size;
        int worth;
        int isCompress;
        int bits;
    };
    const Case cases[] = {
        {'L', 199, 0, 1, 12},     {'L', 200, 1, 1, 12},  {'3', 200, 1, 1, 13},  {'4', 0, 0, 1, 14},
        {'5', 1 << 30, 1, 1, 15}, {'Z', 5000, 1, 1, 16}, {'O', 199, 0, 1, 0},   {'O', 200, 1, 1, 0},
        {'N', 500, 0, 0, 0},      {'D', 500, 0, 0, 0},   {'X', 500, -1, -1, 0}, {'z', 500, -1, -1, 0},
        {'\0', 500, -1, -1, 0},   {'2', 500, -1, -1, 0}, {'6', 500, -1, -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(1, c.letter) + " " + std::to_string(c.size));
        EXPECT_EQ(ArcCMP_WorthCompressing(c.letter, c.size), c.worth);
        EXPECT_EQ(ArcCMP_IsCompressType(c.letter), c.isCompress);
        EXPECT_EQ(ArcCMP_LzwBits(c.letter), c.bits);
    }
}

TEST(TypeLetters, ChooseTypeBySize) {
    struct Case {
        uint64_t size;
        char letter;
        char first;
        char second;
    };
    const Case cases[] = {
        {0, 'O', 'O', 'O'},      {0, 'Z', 'Z', 'Z'},      {1, 'Z', 'N', 'D'},
        {150, 'O', 'N', 'D'},    {199, 'Z', 'N', 'D'},    {200, 'Z', 'L', 'L'},
        {29999, 'O', 'L', 'L'},  {30000, 'Z', '3', '3'},  {59999, 'Z', '3', '3'},
        {60000, 'Z', '4', '4'},  {89999, 'Z', '4', '4'},  {90000, 'L', '5', '5'},
        {119999, 'Z', '5', '5'}, {120000, 'Z', 'Z', 'Z'}, {~uint64_t{0}, 'O', 'Z', 'Z'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " " + c.letter);
        char first = '?';
        char second = '?';
        EXPECT_EQ(ArcCMP_ChooseTypeBySize(c.size, c.letter, &first, &second), 0);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(second, c.second);
    }
}

TEST(TypeLetters, ChooseType) {
    struct Case {
        char requested;
        char stored;
        uint64_t size;
        int result;
        char wantStored;
        char wantSecond;
    };
    const Case cases[] = {
        // Already compressed (or kept as delivered): delivered as it is.
        {'N', 'L', 5000, 0, 'L', 'D'},
        {'Z', 'O', 5000, 0, 'O', 'D'},
        {'N', 'D', 5000, 0, 'D', 'D'},
        {'O', '5', 10, 0, '5', 'D'},
        // Plain data: chosen by size.
        {'N', 'N', 5000, 0, 'L', 'L'},
        {'N', 'N', 150, 0, 'N', 'D'},
        {'N', 'N', 0, 0, 'Z', 'Z'},
        {'O', 'N', 0, 0, 'O', 'O'},
        {'O', 'N', 70000, 0, '4', '4'},
        {'L', 'N', 200000, 0, 'Z', 'Z'},
        {'D', 'N', 5000, 0, 'N', 'D'},
        // Unknown letters change nothing.
        {'X', 'N', 5000, -1, 'N', '?'},
        {'N', 'Q', 5000, -1, 'Q', '?'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("requested ") + c.requested + " stored " + c.stored + " size " +
                     std::to_string(c.size));
        char stored = c.stored;
        char second = '?';
        EXPECT_EQ(ArcCMP_ChooseType(c.requested, &stored, &second, c.size), c.result);
        EXPECT_EQ(stored, c.wantStored);
        EXPECT_EQ(second, c.wantSecond);
    }
}

}  // namespace
