// Encode then decode in every mode, with every split of input and output.
#include "codec_support.h"

#include <gtest/gtest.h>

namespace zyplzw_test {
namespace {

// Mode 1 below 8 bits: a row ends its byte, so the unused low bits of a row's last
// byte must be zero for the round trip to give the same bytes back.
Bytes ClearRowPadding(Bytes data, const Settings& s) {
    if (s.mode != ZYPLZW_MODE_GIF || s.bits == 8 || s.rowLength == 0) {
        return data;
    }
    const size_t rowBits = static_cast<size_t>(s.rowLength) * s.bits;
    const size_t rowBytes = (rowBits + 7) / 8;
    const unsigned pad = static_cast<unsigned>(rowBytes * 8 - rowBits);
    if (pad == 0) {
        return data;
    }
    for (size_t end = rowBytes; end <= data.size(); end += rowBytes) {
        data[end - 1] &= static_cast<uint8_t>(0xFF << pad);
    }
    data.resize(data.size() / rowBytes * rowBytes);
    return data;
}

const Settings kSettings[] = {
    {ZYPLZW_MODE_TIFF, 8, 1, 0},
    {ZYPLZW_MODE_GIF, 8, 1, 0},
    {ZYPLZW_MODE_GIF, 4, 1, 0},
    {ZYPLZW_MODE_GIF, 2, 1, 0},
    {ZYPLZW_MODE_GIF, 1, 1, 0},
    {ZYPLZW_MODE_GIF, 1, 1, 13},  // rows of 13 one-bit pixels: 3 bits of padding
    {ZYPLZW_MODE_GIF, 2, 1, 7},
    {ZYPLZW_MODE_GIF, 4, 1, 5},
    {ZYPLZW_MODE_TIFF_PREDICTOR, 8, 1, 0},
    {ZYPLZW_MODE_TIFF_PREDICTOR, 8, 1, 100},
    {ZYPLZW_MODE_TIFF_PREDICTOR, 8, 3, 33},
    {ZYPLZW_MODE_TIFF_PREDICTOR, 8, 4, 0},
};

TEST(RoundTrip, EveryModeGivesTheInputBack) {
    const Bytes sources[] = {ImageLike(200000, 1), RandomBytes(50000, 2), Bytes(30000, 0x3C), Bytes{},
                             Bytes{0x80}};
    for (const Settings& s : kSettings) {
        for (const Bytes& source : sources) {
            const Bytes input = ClearRowPadding(source, s);
            SCOPED_TRACE(s.Name() + " size " + std::to_string(input.size()));
            const Bytes stream = Encode(s, input);
            const Decoded d = Decode(s, stream);
            EXPECT_EQ(d.result, ZYPLZW_END_CODE);
            EXPECT_EQ(d.output, input);
        }
    }
}

TEST(RoundTrip, EverySplitGivesTheSameBytes) {
    const size_t chunks[] = {1, 2, 3, 7, 255, 0};
    for (const Settings& s : kSettings) {
        const Bytes input = ClearRowPadding(ImageLike(6000, 7), s);
        const Bytes whole = Encode(s, input);
        for (size_t in : chunks) {
            for (size_t out : chunks) {
                SCOPED_TRACE(s.Name() + " in " + std::to_string(in) + " out " + std::to_string(out));
                EXPECT_EQ(Encode(s, input, in, out), whole);
                const Decoded d = Decode(s, whole, in, out);
                EXPECT_EQ(d.result, ZYPLZW_END_CODE);
                EXPECT_EQ(d.output, input);
            }
        }
    }
}

// Long runs build the longest strings, which must pass a one-byte output whole.
TEST(RoundTrip, LongestStringsThroughTinyOutput) {
    for (const Settings& s : kSettings) {
        SCOPED_TRACE(s.Name());
        const Bytes input = ClearRowPadding(Bytes(300000, 0), s);
        const Bytes stream = Encode(s, input);
        const Decoded d = Decode(s, stream, 0, 1);
        EXPECT_EQ(d.result, ZYPLZW_END_CODE);
        EXPECT_EQ(d.output, input);
    }
}

}  // namespace
}  // namespace zyplzw_test
