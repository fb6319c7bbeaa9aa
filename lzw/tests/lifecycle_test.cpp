// Calling order, private blocks, resuming Done, flushing, and records changed by callers.
#include "codec_support.h"

#include <gtest/gtest.h>

#include <functional>

namespace zyplzw_test {
namespace {

TEST(Lifecycle, BlocksAreFreedOnlyWhenTheStreamIsComplete) {
    const long live = ZypLzwLiveBlocks();
    const Bytes input = ImageLike(5000, 5);
    const Bytes expected = Encode({}, input);

    ZypLzwState st;
    ASSERT_EQ(ZypLzwEncodeInit(&st, ZYPLZW_MODE_TIFF), 0);
    EXPECT_EQ(ZypLzwLiveBlocks(), live + 1);
    Bytes big(expected.size() + 16);
    ASSERT_EQ(ZypLzwEncodeInitOutputData(&st, static_cast<uint32_t>(big.size()), big.data()), 0);
    ASSERT_EQ(ZypLzwEncodeInitInputData(&st, static_cast<uint32_t>(input.size()), input.data()), 0);
    ASSERT_EQ(ZypLzwEncode(&st), ZYPLZW_INPUT_USED);
    Bytes out(big.data(), st.outPos);

    // Flush writes whole bytes only; the partial byte waits for Done.
    ASSERT_EQ(ZypLzwEncodeFlush(&st), 0);
    EXPECT_LT(st.bitCount, 8u);
    out.assign(big.data(), st.outPos);

    // Done on a full output keeps the block and resumes byte by byte.
    unsigned char one = 0;
    ASSERT_EQ(ZypLzwEncodeInitOutputData(&st, 0, nullptr), 0);
    EXPECT_EQ(ZypLzwEncodeDone(&st), ZYPLZW_OUTPUT_FULL);
    EXPECT_EQ(ZypLzwLiveBlocks(), live + 1);
    EXPECT_EQ(ZypLzwEncode(&st), ZYPLZW_CALLER_ERROR);  // no more input once ending
    int rc;
    do {
        ASSERT_EQ(ZypLzwEncodeInitOutputData(&st, 1, &one), 0);
        rc = ZypLzwEncodeDone(&st);
        out.insert(out.end(), &one, st.outPos);
    } while (rc == ZYPLZW_OUTPUT_FULL);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(st.block, nullptr);
    EXPECT_EQ(ZypLzwLiveBlocks(), live);
}

TEST(Lifecycle, InitNoMallocStartsAgainOnTheSameBlock) {
    const Bytes a = ImageLike(3000, 8), b = RandomBytes(3000, 9);
    for (int mode : {1, 2, 3}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const Settings s{mode, mode == 1 ? 4 : 8, mode == 3 ? 3 : 1, 10};
        const Bytes streamA = Encode(s, a), streamB = Encode(s, b);

        ZypLzwState st;
        ASSERT_EQ(ZypLzwDecodeInit(&st, mode), 0);
        ASSERT_EQ(ZypLzwDecodeSetBitsPerSample(&st, s.bits), 0);
        ASSERT_EQ(ZypLzwDecodeSetSamplesPerPixel(&st, s.samples), 0);
        st.rowLength = s.rowLength;
        void* block = st.block;
        Bytes out(10000);
        for (const Bytes* stream : {&streamA, &streamB}) {
            ASSERT_EQ(ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(out.size()), out.data()), 0);
            ASSERT_EQ(ZypLzwDecodeInitInputData(&st, static_cast<uint32_t>(stream->size()), stream->data()),
                      0);
            EXPECT_EQ(ZypLzwDecode(&st), ZYPLZW_END_CODE);
            EXPECT_EQ(ZypLzwDecode(&st), ZYPLZW_END_CODE);  // and stays there
            EXPECT_EQ(ZypLzwDecodeFlush(&st), 0);
            EXPECT_EQ(Decode(s, *stream).output, Bytes(out.data(), st.outPos));
            ASSERT_EQ(ZypLzwDecodeInitNoMalloc(&st), 0);
            EXPECT_EQ(st.block, block);
            EXPECT_EQ(st.bitsPerSample, s.bits);
            EXPECT_EQ(st.samplesPerPixel, s.samples);
        }
        // A rejected stream stays rejected until the decoder starts again.
        const Bytes bad = PackCodes(mode, s.bits, {65});
        ASSERT_EQ(ZypLzwDecodeInitInputData(&st, static_cast<uint32_t>(bad.size()), bad.data()), 0);
        EXPECT_EQ(ZypLzwDecode(&st), ZYPLZW_BAD_STREAM);
        EXPECT_EQ(ZypLzwDecode(&st), ZYPLZW_BAD_STREAM);
        ASSERT_EQ(ZypLzwDecodeInitNoMalloc(&st), 0);
        EXPECT_EQ(st.state, ZYPLZW_STATE_START);
        EXPECT_EQ(ZypLzwDecodeDone(&st), 0);
        EXPECT_EQ(ZypLzwDecodeDone(&st), ZYPLZW_CALLER_ERROR);
    }
}

TEST(Lifecycle, SettingsAreFixedOnceCodingStarted) {
    ZypLzwState st;
    ASSERT_EQ(ZypLzwEncodeInit(&st, ZYPLZW_MODE_GIF), 0);
    unsigned char out[64];
    const unsigned char in[3] = {1, 2, 3};
    ZypLzwEncodeInitOutputData(&st, sizeof out, out);
    ZypLzwEncodeInitInputData(&st, sizeof in, in);
    ASSERT_EQ(ZypLzwEncode(&st), ZYPLZW_INPUT_USED);
    EXPECT_EQ(ZypLzwEncodeSetBitsPerSample(&st, 4), ZYPLZW_CALLER_ERROR);
    EXPECT_EQ(ZypLzwEncodeSetSamplesPerPixel(&st, 3), ZYPLZW_CALLER_ERROR);
    EXPECT_EQ(st.bitsPerSample, 8);
    ASSERT_EQ(ZypLzwEncodeDone(&st), 0);
}

// Any field a caller may damage between calls is refused rather than trusted.
TEST(Lifecycle, DamagedRecordsAreRefused) {
    struct Case {
        const char* name;
        std::function<void(ZypLzwState&)> damage;
    };
    static unsigned char other[4];
    const Case cases[] = {
        {"mode", [](ZypLzwState& s) { s.mode = 9; }},
        {"next free past the table", [](ZypLzwState& s) { s.nextFree = 5000; }},
        {"next free below first free", [](ZypLzwState& s) { s.nextFree = 10; }},
        {"width 13",
         [](ZypLzwState& s) {
             s.codeWidth = 13;
             s.threshold = 8192;
         }},
        {"threshold", [](ZypLzwState& s) { s.threshold = 3; }},
        {"clear code", [](ZypLzwState& s) { s.clearCode = 4000; }},
        {"prefix", [](ZypLzwState& s) { s.prefix = 4095; }},
        {"bit count", [](ZypLzwState& s) { s.bitCount = 40; }},
        {"bit buffer",
         [](ZypLzwState& s) {
             s.bitCount = 2;
             s.bitBuffer = 0xFF;
         }},
        {"state", [](ZypLzwState& s) { s.state = 42; }},
        {"input remaining", [](ZypLzwState& s) { s.inRemaining += 1; }},
        {"input position", [](ZypLzwState& s) { s.inPos = other; }},
        {"output remaining", [](ZypLzwState& s) { s.outRemaining = 1u << 30; }},
        {"samples", [](ZypLzwState& s) { s.samplesPerPixel = 2; }},
        {"bits", [](ZypLzwState& s) { s.bitsPerSample = 3; }},
    };
    const unsigned char data[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool encoder : {true, false}) {
            ZypLzwState st;
            unsigned char out[64];
            ASSERT_EQ((encoder ? ZypLzwEncodeInit : ZypLzwDecodeInit)(&st, ZYPLZW_MODE_TIFF), 0);
            void* block = st.block;
            (encoder ? ZypLzwEncodeInitOutputData : ZypLzwDecodeInitOutputData)(&st, sizeof out, out);
            (encoder ? ZypLzwEncodeInitInputData : ZypLzwDecodeInitInputData)(&st, sizeof data, data);
            ZypLzwState saved = st;
            c.damage(st);
            EXPECT_EQ((encoder ? ZypLzwEncode : ZypLzwDecode)(&st), ZYPLZW_CALLER_ERROR);
            EXPECT_EQ((encoder ? ZypLzwEncodeInitInputData : ZypLzwDecodeInitInputData)(&st, 0, nullptr),
                      ZYPLZW_CALLER_ERROR);
            st = saved;
            st.block = block;
            if (encoder) {
                ASSERT_EQ(ZypLzwEncodeInitOutputData(&st, sizeof out, out), 0);
                ASSERT_EQ(ZypLzwEncodeDone(&st), 0);
            } else {
                ASSERT_EQ(ZypLzwDecodeDone(&st), 0);
            }
        }
    }
}

// A caller that winds the next free code back between calls passes the checks, and the
// table then never fills to its reset: the encoder must still finish every call.
TEST(Lifecycle, RewoundNextFreeStillEncodes) {
    const Bytes input = RandomBytes(1 << 15, 21);
    ZypLzwState st;
    ASSERT_EQ(ZypLzwEncodeInit(&st, ZYPLZW_MODE_TIFF), 0);
    Bytes out(input.size() * 2);
    ASSERT_EQ(ZypLzwEncodeInitOutputData(&st, static_cast<uint32_t>(out.size()), out.data()), 0);
    for (size_t at = 0; at < input.size(); at += 2048) {
        ASSERT_EQ(ZypLzwEncodeInitInputData(&st, 2048, input.data() + at), 0);
        ASSERT_EQ(ZypLzwEncode(&st), ZYPLZW_INPUT_USED);
        st.nextFree = st.firstFree;
        st.codeWidth = st.initialWidth;
        st.threshold = 1u << st.initialWidth;
        st.prefix = ZYPLZW_NO_CODE;
    }
    EXPECT_EQ(ZypLzwEncodeDone(&st), 0);
}

TEST(Lifecycle, RowTooLongIsRefused) {
    ZypLzwState st;
    ASSERT_EQ(ZypLzwEncodeInit(&st, ZYPLZW_MODE_TIFF_PREDICTOR), 0);
    ASSERT_EQ(ZypLzwEncodeSetSamplesPerPixel(&st, 2), 0);
    unsigned char out[8];
    ZypLzwEncodeInitOutputData(&st, sizeof out, out);
    st.rowLength = 0x80000000u;  // 2^32 sample bytes per row
    EXPECT_EQ(ZypLzwEncode(&st), ZYPLZW_CALLER_ERROR);
    st.rowLength = 0x7FFFFFFFu;
    EXPECT_EQ(ZypLzwEncode(&st), ZYPLZW_INPUT_USED);
    EXPECT_EQ(ZypLzwEncodeDone(&st), 0);
}

TEST(Lifecycle, WrongSideAndNullRecords) {
    ZypLzwState enc, dec;
    ASSERT_EQ(ZypLzwEncodeInit(&enc, 2), 0);
    ASSERT_EQ(ZypLzwDecodeInit(&dec, 2), 0);
    EXPECT_EQ(ZypLzwDecode(&enc), ZYPLZW_CALLER_ERROR);
    EXPECT_EQ(ZypLzwDecodeDone(&enc), ZYPLZW_CALLER_ERROR);
    EXPECT_EQ(ZypLzwEncode(&dec), ZYPLZW_CALLER_ERROR);
    EXPECT_EQ(ZypLzwEncodeDone(&dec), ZYPLZW_CALLER_ERROR);
    EXPECT_EQ(ZypLzwEncodeInit(nullptr, 2), ZYPLZW_CALLER_ERROR);
    EXPECT_EQ(ZypLzwDecode(nullptr), ZYPLZW_CALLER_ERROR);
    EXPECT_EQ(ZypLzwEncodeInitInputData(&enc, 5, nullptr), ZYPLZW_CALLER_ERROR);
    EXPECT_EQ(ZypLzwDecodeInitOutputData(&dec, 5, nullptr), ZYPLZW_CALLER_ERROR);
    ASSERT_EQ(ZypLzwDecodeDone(&dec), 0);
    EXPECT_EQ(ZypLzwDecode(&dec), ZYPLZW_CALLER_ERROR);  // block gone
    EXPECT_EQ(ZypLzwDecodeInitNoMalloc(&dec), ZYPLZW_CALLER_ERROR);
    unsigned char out[8];
    ZypLzwEncodeInitOutputData(&enc, sizeof out, out);
    ASSERT_EQ(ZypLzwEncodeDone(&enc), 0);
    EXPECT_EQ(ZypLzwEncodeDone(&enc), ZYPLZW_CALLER_ERROR);
    EXPECT_EQ(ZypLzwEncodeInitNoMalloc(&enc), ZYPLZW_CALLER_ERROR);
}

}  // namespace
}  // namespace zyplzw_test
