// Code parameters per mode and the width schedule on both sides.
#include "codec_support.h"

#include <gtest/gtest.h>

#include <bit>

namespace zyplzw_test {
namespace {

TEST(CodeParameters, FollowModeAndBits) {
    struct Case {
        int mode, bits;
        uint32_t clear, end, firstFree, width, encoderEarly, decoderEarly;
    };
    const Case cases[] = {
        {ZYPLZW_MODE_GIF, 1, 4, 5, 6, 3, 0, 1},
        {ZYPLZW_MODE_GIF, 2, 4, 5, 6, 3, 0, 1},
        {ZYPLZW_MODE_GIF, 4, 16, 17, 18, 5, 0, 1},
        {ZYPLZW_MODE_GIF, 8, 256, 257, 258, 9, 0, 1},
        {ZYPLZW_MODE_TIFF, 8, 256, 257, 258, 9, 1, 2},
        {ZYPLZW_MODE_TIFF, 1, 256, 257, 258, 9, 1, 2},  // bits have no effect in TIFF modes
        {ZYPLZW_MODE_TIFF_PREDICTOR, 8, 256, 257, 258, 9, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + " bits " + std::to_string(c.bits));
        for (bool encoder : {true, false}) {
            ZypLzwState st;
            ASSERT_EQ((encoder ? ZypLzwEncodeInit : ZypLzwDecodeInit)(&st, c.mode), 0);
            ASSERT_EQ((encoder ? ZypLzwEncodeSetBitsPerSample : ZypLzwDecodeSetBitsPerSample)(&st, c.bits),
                      0);
            EXPECT_EQ(st.clearCode, c.clear);
            EXPECT_EQ(st.endCode, c.end);
            EXPECT_EQ(st.nextFree, c.firstFree);
            EXPECT_EQ(st.codeWidth, c.width);
            EXPECT_EQ(st.earlyChange, encoder ? c.encoderEarly : c.decoderEarly);
            EXPECT_EQ(st.prefix, ZYPLZW_NO_CODE);
            EXPECT_EQ(st.state, ZYPLZW_STATE_START);
            EXPECT_EQ((encoder ? ZypLzwEncodeDone : ZypLzwDecodeDone)(&st),
                      encoder ? ZYPLZW_OUTPUT_FULL : ZYPLZW_OK);  // no output given
            if (st.block != nullptr) {
                unsigned char sink[8];
                ZypLzwEncodeInitOutputData(&st, sizeof sink, sink);
                EXPECT_EQ(ZypLzwEncodeDone(&st), ZYPLZW_OK);
            }
        }
    }
}

TEST(CodeParameters, CallerErrorsGiveMinusTwo) {
    struct Case {
        const char* name;
        int mode, bits, samples;
    };
    const Case cases[] = {
        {"mode 0", 0, 8, 1},      {"mode 4", 4, 8, 1},    {"mode -1", -1, 8, 1},
        {"bits 0", 1, 0, 1},      {"bits 3", 1, 3, 1},    {"bits 16", 1, 16, 1},
        {"bits -8", 2, -8, 1},    {"samples 0", 3, 8, 0}, {"samples 65536", 3, 8, 65536},
        {"samples -1", 3, 8, -1},
    };
    const long live = ZypLzwLiveBlocks();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool encoder : {true, false}) {
            ZypLzwState st;
            const int init = (encoder ? ZypLzwEncodeInit : ZypLzwDecodeInit)(&st, c.mode);
            if (c.mode < 1 || c.mode > 3) {
                EXPECT_EQ(init, ZYPLZW_CALLER_ERROR);
                continue;
            }
            ASSERT_EQ(init, 0);
            const int bits =
                (encoder ? ZypLzwEncodeSetBitsPerSample : ZypLzwDecodeSetBitsPerSample)(&st, c.bits);
            const int samples =
                (encoder ? ZypLzwEncodeSetSamplesPerPixel : ZypLzwDecodeSetSamplesPerPixel)(&st, c.samples);
            EXPECT_EQ(bits == ZYPLZW_CALLER_ERROR || samples == ZYPLZW_CALLER_ERROR, true);
            EXPECT_EQ(st.bitsPerSample,
                      c.bits == 0 || c.bits == 3 || c.bits == 16 || c.bits == -8 ? 8 : c.bits);
            EXPECT_EQ(st.samplesPerPixel, 1);
            if (encoder) {
                unsigned char sink[8];
                ZypLzwEncodeInitOutputData(&st, sizeof sink, sink);
                EXPECT_EQ(ZypLzwEncodeDone(&st), 0);
            } else {
                EXPECT_EQ(ZypLzwDecodeDone(&st), 0);
            }
        }
    }
    EXPECT_EQ(ZypLzwLiveBlocks(), live);
}

// Width after `nextFree - 1` was added, computed apart from the codec: the width grows once
// the last added code plus the early-change offset reaches a power of two.
uint32_t ExpectedWidth(uint32_t nextFree, uint32_t early) {
    return std::min<uint32_t>(12, static_cast<uint32_t>(std::bit_width(nextFree - 1 + early)));
}

struct Trace {
    uint32_t firstNextFreeAt10 = 0;  // nextFree when the width first reached 10
    bool sawFullTable = false;
    bool sawReset = false;
};

// Checks the width against the rule after every input byte and records the events
// the edge cases talk about.
void Observe(const ZypLzwState& st, uint32_t& lastNextFree, Trace& t) {
    ASSERT_LE(st.nextFree, ZYPLZW_TABLE_SIZE);
    ASSERT_EQ(st.codeWidth, ExpectedWidth(st.nextFree, st.earlyChange)) << "nextFree " << st.nextFree;
    if (st.codeWidth == 10 && t.firstNextFreeAt10 == 0) {
        t.firstNextFreeAt10 = st.nextFree;
    }
    t.sawFullTable |= st.nextFree == ZYPLZW_TABLE_SIZE;
    t.sawReset |= st.nextFree < lastNextFree;
    lastNextFree = st.nextFree;
}

TEST(CodeWidth, GrowsByTheRuleAndTheTableClearsWhenFull) {
    struct Case {
        int mode, bits;
        uint32_t encoderAt10, decoderAt10;
    };
    const Case cases[] = {
        {ZYPLZW_MODE_TIFF, 8, 512, 511},  // encoder adds 511, decoder 510: early change
        {ZYPLZW_MODE_GIF, 8, 513, 512},
        {ZYPLZW_MODE_GIF, 1, 513, 512},
    };
    for (const Case& c : cases) {
        const Settings s{c.mode, c.bits, 1, 0};
        SCOPED_TRACE(s.Name());
        const Bytes input = RandomBytes(40000, 11);
        Bytes stream(60000);
        Trace enc;
        {
            ZypLzwState st;
            ASSERT_EQ(ZypLzwEncodeInit(&st, c.mode), 0);
            ASSERT_EQ(ZypLzwEncodeSetBitsPerSample(&st, c.bits), 0);
            ASSERT_EQ(ZypLzwEncodeInitOutputData(&st, static_cast<uint32_t>(stream.size()), stream.data()),
                      0);
            uint32_t last = st.nextFree;
            for (size_t i = 0; i < input.size(); ++i) {
                ASSERT_EQ(ZypLzwEncodeInitInputData(&st, 1, &input[i]), 0);
                ASSERT_EQ(ZypLzwEncode(&st), ZYPLZW_INPUT_USED);
                Observe(st, last, enc);
            }
            ASSERT_EQ(ZypLzwEncodeDone(&st), 0);
            stream.resize(static_cast<size_t>(st.outPos - stream.data()));
        }
        EXPECT_EQ(enc.firstNextFreeAt10, c.encoderAt10);
        EXPECT_TRUE(enc.sawFullTable);
        EXPECT_TRUE(enc.sawReset);

        Trace dec;
        ZypLzwState st;
        ASSERT_EQ(ZypLzwDecodeInit(&st, c.mode), 0);
        ASSERT_EQ(ZypLzwDecodeSetBitsPerSample(&st, c.bits), 0);
        Bytes out(input.size() * 8 + 16);
        ASSERT_EQ(ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(out.size()), out.data()), 0);
        uint32_t last = st.nextFree;
        int rc = ZYPLZW_INPUT_USED;
        for (size_t i = 0; i < stream.size() && rc == ZYPLZW_INPUT_USED; ++i) {
            ASSERT_EQ(ZypLzwDecodeInitInputData(&st, 1, &stream[i]), 0);
            rc = ZypLzwDecode(&st);
            Observe(st, last, dec);
        }
        EXPECT_EQ(rc, ZYPLZW_END_CODE);
        EXPECT_EQ(dec.firstNextFreeAt10, c.decoderAt10);
        EXPECT_TRUE(dec.sawFullTable);
        EXPECT_TRUE(dec.sawReset);
        EXPECT_EQ(ZypLzwDecodeDone(&st), 0);
    }
}

// The end code goes out at the width the decoder has after adding the entry for the
// last string. Distinct bytes are coded as their roots, so the stream is known code by
// code; the lengths cross the first widening on both sides.
TEST(CodeWidth, EndCodeFollowsTheLastEntry) {
    for (int mode : {ZYPLZW_MODE_TIFF, ZYPLZW_MODE_GIF}) {
        for (uint32_t n = 250; n <= 256; ++n) {
            SCOPED_TRACE("mode " + std::to_string(mode) + " length " + std::to_string(n));
            Bytes input;
            std::vector<uint32_t> codes{256};
            for (uint32_t i = 0; i < n; ++i) {
                input.push_back(static_cast<uint8_t>(i));
                codes.push_back(i);
            }
            codes.push_back(257);
            EXPECT_EQ(Encode({mode, 8, 1, 0}, input), PackCodes(mode, 8, codes));
        }
    }
}

}  // namespace
}  // namespace zyplzw_test
