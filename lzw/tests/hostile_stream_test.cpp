// Streams from outside: broken on purpose, never a crash or a write out of bounds.
#include "codec_support.h"

#include <gtest/gtest.h>

namespace zyplzw_test {
namespace {

struct Case {
    const char* name;
    int mode, bits;
    std::vector<uint32_t> codes;
    int result;
    Bytes output;  // what came out before the result
};

std::vector<uint32_t> Repeat(std::vector<uint32_t> head, uint32_t count, uint32_t code,
                             std::vector<uint32_t> tail) {
    head.insert(head.end(), count, code);
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(HostileStreams, ResultsAndOutput) {
    const uint8_t A = 'A', B = 'B';
    const Case cases[] = {
        {"tiff first code not clear", 2, 8, {65, 256, 66, 257}, -1, {}},
        {"gif first code not clear", 1, 8, {65, 256, 66, 257}, -1, {}},
        {"first code is end", 2, 8, {257}, -1, {}},
        {"clear then end", 2, 8, {256, 257}, 3, {}},
        {"repeated clears", 2, 8, {256, 256, 256, 65, 257}, 3, {A}},
        {"code beyond next free", 2, 8, {256, 65, 259, 257}, -1, {A}},
        {"next free code right after clear", 2, 8, {256, 258, 257}, -1, {}},
        {"non-root right after clear", 1, 4, {16, 18, 17}, -1, {}},
        {"kwkwk", 2, 8, {256, 65, 258, 257}, 3, {A, A, A}},
        {"gif kwkwk", 1, 8, {256, 65, 258, 257}, 3, {A, A, A}},
        {"old code after clear", 2, 8, {256, 65, 66, 258, 256, 65, 259, 257}, -1, {A, B, A, B, A}},
        {"old code after clear still valid before it",
         2,
         8,
         {256, 65, 66, 258, 256, 65, 66, 258, 257},
         3,
         {A, B, A, B, A, B, A, B}},
        {"no end code", 2, 8, {256, 65, 66}, 1, {A, B}},
        {"data after end ignored", 2, 8, {256, 65, 257, 66, 300, 5}, 3, {A}},
        // pixels 0 1 0 1, packed from the high bits; the flush completes the byte
        {"one-bit roots above 1 are masked", 1, 1, {4, 0, 1, 2, 3, 5}, 3, {0x50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = Decode({c.mode, c.bits, 1, 0}, PackCodes(c.mode, c.bits, c.codes));
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.output, c.output);
    }
}

// A full table with no clear code (a GIF encoder's deferred clear): codes keep coming
// at 12 bits and no entry is added beyond 4096.
TEST(HostileStreams, FullTableWithoutClear) {
    for (int mode : {ZYPLZW_MODE_GIF, ZYPLZW_MODE_TIFF}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const uint32_t fill = 4096 - 258 + 1;  // roots that fill the table, and more
        const auto codes = Repeat({256}, fill + 500, 'x', {4095, 4000, 257});
        ZypLzwState st;
        ASSERT_EQ(ZypLzwDecodeInit(&st, mode), 0);
        const Bytes stream = PackCodes(mode, 8, codes);
        Bytes out(20000);
        ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(out.size()), out.data());
        ZypLzwDecodeInitInputData(&st, static_cast<uint32_t>(stream.size()), stream.data());
        EXPECT_EQ(ZypLzwDecode(&st), ZYPLZW_END_CODE);
        EXPECT_EQ(st.nextFree, ZYPLZW_TABLE_SIZE);
        EXPECT_EQ(st.codeWidth, 12u);
        // Entry 4095 is "xx" (added by the last code before the table filled) and entry
        // 4000 holds the same pair, so the tail decodes to four more bytes.
        const size_t produced = static_cast<size_t>(st.outPos - out.data());
        EXPECT_EQ(produced, fill + 500 + 4);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + produced), Bytes(produced, 'x'));
        EXPECT_EQ(ZypLzwDecodeDone(&st), 0);
    }
}

// Truncate at every offset and flip every byte of real streams in every mode.
TEST(HostileStreams, TruncatedAndFlippedStreams) {
    const Settings settings[] = {{2, 8, 1, 0}, {1, 8, 1, 0}, {1, 1, 1, 9}, {1, 4, 1, 0}, {3, 8, 3, 17}};
    for (const Settings& s : settings) {
        SCOPED_TRACE(s.Name());
        const Bytes input = ImageLike(1500, 3);
        const Bytes stream = Encode(s, input);
        for (size_t cut = 0; cut < stream.size(); ++cut) {
            const Decoded d = Decode(s, Bytes(stream.begin(), stream.begin() + static_cast<long>(cut)), 0, 7);
            ASSERT_TRUE(d.result == ZYPLZW_INPUT_USED || d.result == ZYPLZW_BAD_STREAM)
                << "cut " << cut << " gave " << d.result;
        }
        for (size_t i = 0; i < stream.size(); ++i) {
            for (uint8_t flip : {0x01, 0x80, 0xFF}) {
                Bytes broken = stream;
                broken[i] ^= flip;
                const Decoded d = Decode(s, broken, 5, 3);
                ASSERT_TRUE(d.result >= ZYPLZW_BAD_STREAM && d.result <= ZYPLZW_END_CODE)
                    << "byte " << i << " gave " << d.result;
            }
        }
    }
}

// Random streams after a valid clear code, at every width.
TEST(HostileStreams, RandomCodes) {
    for (uint32_t seed = 0; seed < 200; ++seed) {
        const Settings s{1 + static_cast<int>(seed % 3), seed % 2 ? 1 << (seed / 2 % 4) : 8, 2, seed % 11};
        Bytes stream = RandomBytes(3000, seed);
        // Open with a clear code so the decoder gets past the first check.
        if (s.mode != ZYPLZW_MODE_GIF) {
            stream[0] = 0x80;
            stream[1] &= 0x7F;
        } else if (s.bits == 8) {
            stream[0] = 0;
            stream[1] = static_cast<uint8_t>(stream[1] | 1);
        } else {
            stream[0] = static_cast<uint8_t>(1u << (s.bits == 1 ? 2 : s.bits));
        }
        const Decoded d = Decode(s, stream, 0, 13);
        ASSERT_TRUE(d.result >= ZYPLZW_BAD_STREAM && d.result <= ZYPLZW_END_CODE)
            << s.Name() << " seed " << seed;
    }
}

}  // namespace
}  // namespace zyplzw_test
