// Where the decoder leaves its input and output: it reads ahead in whole words, but a
// call must leave the record as if it had read a byte only when it needed one, and the
// strings it writes in word-sized pieces must never pass the end of the output.
#include "codec_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zyplzw_test {
namespace {

// Codes for a stream of `n` distinct roots and one repeat, enough to cross the first
// widening in every mode; `root` is the root count.
std::vector<uint32_t> SampleCodes(uint32_t root, uint32_t n) {
    std::vector<uint32_t> codes{root};
    for (uint32_t i = 0; i < n; ++i) {
        codes.push_back(i % root);
    }
    codes.push_back(root + 2);  // the first entry, a string of two
    codes.push_back(root + 1);
    return codes;
}

// A reader of a container (a GIF's data blocks, a strip followed by other data) needs
// the input position right after the end code.
TEST(ReadPosition, EndCodeLeavesTheInputAfterItsLastByte) {
    struct Case {
        const char* name;
        Settings settings;
        uint32_t root;
        uint32_t codes;
    };
    const Case cases[] = {
        {"tiff short", {ZYPLZW_MODE_TIFF, 8, 1, 0}, 256, 1},
        {"tiff across widening", {ZYPLZW_MODE_TIFF, 8, 1, 0}, 256, 600},
        {"predictor", {ZYPLZW_MODE_TIFF_PREDICTOR, 8, 2, 0}, 256, 300},
        {"gif 8 bits", {ZYPLZW_MODE_GIF, 8, 1, 0}, 256, 600},
        {"gif 4 bits", {ZYPLZW_MODE_GIF, 4, 1, 0}, 16, 200},
        {"gif 1 bit", {ZYPLZW_MODE_GIF, 1, 1, 0}, 4, 99},
    };
    const Bytes trailer{0x3B, 0xFF, 0x00, 0xA5, 0x5A, 0xFF, 0xFF, 0x80,
                        0x01, 0xFE, 0x7F, 0xFF, 0x00, 0xFF, 0x00, 0xFF};
    for (const Case& c : cases) {
        const Bytes lzw = PackCodes(c.settings.mode, c.settings.bits, SampleCodes(c.root, c.codes));
        for (size_t tail = 0; tail <= trailer.size(); tail += 5) {
            SCOPED_TRACE(std::string(c.name) + " trailer " + std::to_string(tail));
            Bytes stream = lzw;
            stream.insert(stream.end(), trailer.begin(), trailer.begin() + static_cast<long>(tail));
            ZypLzwState st;
            ASSERT_EQ(ZypLzwDecodeInit(&st, c.settings.mode), 0);
            ASSERT_EQ(ZypLzwDecodeSetBitsPerSample(&st, c.settings.bits), 0);
            ASSERT_EQ(ZypLzwDecodeSetSamplesPerPixel(&st, c.settings.samples), 0);
            Bytes out(4096);
            ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(out.size()), out.data());
            ZypLzwDecodeInitInputData(&st, static_cast<uint32_t>(stream.size()), stream.data());
            EXPECT_EQ(ZypLzwDecode(&st), ZYPLZW_END_CODE);
            EXPECT_EQ(static_cast<size_t>(st.inPos - st.inStart), lzw.size());
            EXPECT_EQ(st.inRemaining, tail);
            EXPECT_LT(st.bitCount, 8u);
            EXPECT_EQ(st.bitBuffer, 0u);  // the packer pads the last byte with zeros
            EXPECT_EQ(ZypLzwDecodeDone(&st), 0);
        }
    }
}

// Stopped by a full output, the record holds every bit not yet decoded: a caller may
// move the unread rest of its input elsewhere and go on from there.
TEST(ReadPosition, OutputFullLeavesTheUnreadInputInTheRecord) {
    const Settings settings[] = {{ZYPLZW_MODE_TIFF, 8, 1, 0},
                                 {ZYPLZW_MODE_GIF, 8, 1, 0},
                                 {ZYPLZW_MODE_GIF, 2, 1, 0},
                                 {ZYPLZW_MODE_TIFF_PREDICTOR, 8, 3, 40}};
    for (const Settings& s : settings) {
        for (size_t outChunk : {1, 100, 3000}) {
            SCOPED_TRACE(s.Name() + " output " + std::to_string(outChunk));
            const Bytes input = ImageLike(30000, 21);
            const Bytes stream = Encode(s, input);
            ZypLzwState st;
            ASSERT_EQ(ZypLzwDecodeInit(&st, s.mode), 0);
            ASSERT_EQ(ZypLzwDecodeSetBitsPerSample(&st, s.bits), 0);
            ASSERT_EQ(ZypLzwDecodeSetSamplesPerPixel(&st, s.samples), 0);
            st.rowLength = s.rowLength;
            Bytes held = stream, buffer(outChunk), output;
            ZypLzwDecodeInitInputData(&st, static_cast<uint32_t>(held.size()), held.data());
            int rc;
            int stops = 0;
            for (;;) {
                ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(buffer.size()), buffer.data());
                rc = ZypLzwDecode(&st);
                output.insert(output.end(), buffer.data(), st.outPos);
                if (rc != ZYPLZW_OUTPUT_FULL) {
                    break;
                }
                ++stops;
                ASSERT_LT(st.bitCount, 8u);
                // Move the rest to a new buffer and spoil the old one.
                Bytes rest(st.inPos, st.inEnd);
                std::fill(held.begin(), held.end(), 0xFF);
                held = std::move(rest);
                ASSERT_EQ(ZypLzwDecodeInitInputData(&st, static_cast<uint32_t>(held.size()), held.data()), 0);
            }
            EXPECT_EQ(rc, ZYPLZW_END_CODE);
            EXPECT_GT(stops, 0);
            int flushed;
            do {
                ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(buffer.size()), buffer.data());
                flushed = ZypLzwDecodeFlush(&st);
                output.insert(output.end(), buffer.data(), st.outPos);
            } while (flushed == ZYPLZW_OUTPUT_FULL);
            EXPECT_EQ(output, input);
            EXPECT_EQ(ZypLzwDecodeDone(&st), 0);
        }
    }
}

// Long runs build strings of every length; output buffers of these sizes end inside
// them, where the decoder must switch from word-sized stores to exact ones. The driver
// checks a guard byte past every buffer.
TEST(ReadPosition, LongStringsMeetTheEndOfEveryOutput) {
    const Settings settings[] = {
        {ZYPLZW_MODE_TIFF, 8, 1, 0}, {ZYPLZW_MODE_GIF, 8, 1, 0}, {ZYPLZW_MODE_TIFF_PREDICTOR, 8, 1, 0}};
    Bytes input(40000, 0x41);
    for (size_t i = 20000; i < input.size(); ++i) {
        input[i] = static_cast<uint8_t>(i / 700);  // runs that start over at each value
    }
    std::vector<size_t> outChunks{255, 4099};
    for (size_t n = 1; n <= 40; ++n) {
        outChunks.push_back(n);
    }
    for (const Settings& s : settings) {
        const Bytes stream = Encode(s, input);
        for (size_t outChunk : outChunks) {
            SCOPED_TRACE(s.Name() + " output " + std::to_string(outChunk));
            const Decoded d = Decode(s, stream, 0, outChunk);
            EXPECT_EQ(d.result, ZYPLZW_END_CODE);
            EXPECT_TRUE(d.output == input);
        }
    }
}

}  // namespace
}  // namespace zyplzw_test
