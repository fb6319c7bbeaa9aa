// The LZW stream codec on its own: round trips over every split, the header rules,
// corrupt streams and the code-level entry points.
#include "arc_compress.h"
#include "compress_test_support.h"

#include <gtest/gtest.h>

#include <string>

using namespace compress_test;

namespace {

Bytes Encode(int bits, const Bytes& data) {
    Bytes out;
    EXPECT_EQ(LzwEncode(bits, data, Splitter::Fixed(1 << 20, 1 << 20), &out), 0);
    return out;
}

Bytes Decode(int bits, const Bytes& stream, int* rc) {
    Bytes out;
    *rc = LzwDecode(bits, stream, Splitter::Fixed(1 << 20, 8192), &out);
    return out;
}

TEST(LzwCodec, RoundTripsAtEveryWidthAndSplit) {
    struct Case {
        const char* name;
        Bytes data;
    };
    const Case cases[] = {
        {"one byte", ToBytes("x")},
        {"two alike", ToBytes("aa")},
        {"kwkwk", ToBytes("abababababababababa")},
        {"one run", Bytes(5000, 'z')},
        {"text 300k", WordText(300000, 1)},
        {"random 200k", RandomBytes(200000, 2)},
    };
    for (const auto& c : cases) {
        for (int bits = 9; bits <= 16; ++bits) {
            SCOPED_TRACE(std::string(c.name) + " bits " + std::to_string(bits));
            const Bytes whole = Encode(bits, c.data);
            Bytes split;
            ASSERT_EQ(LzwEncode(bits, c.data, Splitter::Random(bits, 4000, 3000), &split), 0);
            EXPECT_EQ(split, whole) << "the stream depends on the buffer split";
            int rc = 0;
            EXPECT_EQ(Decode(bits, whole, &rc), c.data);
            EXPECT_EQ(rc, 0);
            Bytes back;
            ASSERT_EQ(LzwDecode(bits, whole, Splitter::Random(bits + 100, 3000, 4000), &back), 0);
            EXPECT_EQ(back, c.data);
        }
    }
}

TEST(LzwCodec, OneByteBuffersGiveTheSameStream) {
    const Bytes data = WordText(20000, 3);
    for (int bits : {9, 12, 16}) {
        SCOPED_TRACE(bits);
        const Bytes whole = Encode(bits, data);
        Bytes tiny;
        ASSERT_EQ(LzwEncode(bits, data, Splitter::Fixed(1, 1), &tiny), 0);
        EXPECT_EQ(tiny, whole);
        Bytes back;
        ASSERT_EQ(LzwDecode(bits, whole, Splitter::Fixed(1, 1), &back), 0);
        EXPECT_EQ(back, data);
    }
}

TEST(LzwCodec, HeaderNamesWidthAndBlockMode) {
    const Bytes stream = Encode(13, ToBytes("hello"));
    ASSERT_GE(stream.size(), 3u);
    EXPECT_EQ(stream[0], 0xF1);
    EXPECT_EQ(stream[1], 0xD9);
    EXPECT_EQ(stream[2], 0x80 | 13) << "block mode set, padded-reader bit 0x40 never set";
}

TEST(LzwCodec, EncoderWithoutDataWritesNothing) {
    ArcLZWEncoder* e = nullptr;
    ASSERT_EQ(ArcLZW_EncodeInit(&e, 12), 0);
    unsigned char out[32];
    uint32_t produced = 99;
    int status = 0;
    EXPECT_EQ(ArcLZW_Encode(e, nullptr, 0, out, sizeof out, &produced, &status), ARCLZW_AFTER_END);
    EXPECT_EQ(status, ARCLZW_ENDED);
    EXPECT_EQ(produced, 0u);
    ArcLZW_EncodeFree(e);
}

TEST(LzwCodec, EndIsReportedThenRefused) {
    ArcLZWEncoder* e = nullptr;
    ASSERT_EQ(ArcLZW_EncodeInit(&e, 12), 0);
    const unsigned char in[] = {'a', 'b', 'c'};
    unsigned char out[64];
    uint32_t produced = 0;
    int status = 0;
    ASSERT_EQ(ArcLZW_Encode(e, in, 3, out, sizeof out, &produced, &status), 0);
    EXPECT_EQ(status, ARCLZW_INPUT_USED);
    EXPECT_EQ(produced, 3u + 2u) << "header and the whole bytes of two 9-bit codes";
    ASSERT_EQ(ArcLZW_Encode(e, nullptr, 0, out, sizeof out, &produced, &status), 0);
    EXPECT_EQ(status, ARCLZW_OUTPUT_FULL);
    EXPECT_EQ(produced, 2u) << "last code and the partial byte: 27 bits in 4 bytes";
    EXPECT_EQ(ArcLZW_Encode(e, nullptr, 0, out, sizeof out, &produced, &status), ARCLZW_AFTER_END);
    EXPECT_EQ(status, ARCLZW_ENDED);
    ArcLZW_EncodeFree(e);
}

TEST(LzwCodec, StreamWidthAgainstDecoderWidth) {
    const Bytes data = WordText(100000, 4);
    int rc = 0;
    Decode(12, Encode(16, data), &rc);
    EXPECT_EQ(rc, ARCLZW_WIDTH_TOO_LARGE);
    EXPECT_EQ(Decode(16, Encode(12, data), &rc), data);
    EXPECT_EQ(rc, 0);
}

TEST(LzwCodec, EmptyStreamIsEmptyData) {
    int rc = -5;
    EXPECT_TRUE(Decode(12, Bytes{}, &rc).empty());
    EXPECT_EQ(rc, 0);
}

TEST(LzwCodec, BadStreamsFail) {
    // Codes are LSB first; a 9-bit code c at bit 0 of the group is bytes c&0xFF, c>>8.
    struct Case {
        const char* name;
        Bytes stream;
        int result;
    };
    const Case cases[] = {
        {"wrong first magic byte", {0x1F, 0x9D, 0x8C, 'a', 0}, ARCLZW_BAD_MAGIC},
        {"wrong second magic byte", {0xF1, 0x9D, 0x8C, 'a', 0}, ARCLZW_BAD_MAGIC},
        {"width below 9", {0xF1, 0xD9, 0x88, 'a', 0}, ARCLZW_BAD_DATA},
        {"width 0", {0xF1, 0xD9, 0x80, 'a', 0}, ARCLZW_BAD_DATA},
        {"width above 16", {0xF1, 0xD9, 0x91, 'a', 0}, ARCLZW_WIDTH_TOO_LARGE},
        {"no block mode", {0xF1, 0xD9, 0x0C, 'a', 0}, ARCLZW_BAD_DATA},
        {"header cut after one byte", {0xF1}, ARCLZW_BAD_DATA},
        {"header cut after two bytes", {0xF1, 0xD9}, ARCLZW_BAD_DATA},
        // first code 257: nothing is defined yet
        {"first code not a byte", {0xF1, 0xD9, 0x8C, 0x01, 0x01}, ARCLZW_BAD_DATA},
        {"only a clear code", {0xF1, 0xD9, 0x8C, 0x00, 0x01}, 0},
        // 'a' then 258: next free is 257
        {"code above next free", {0xF1, 0xD9, 0x8C, 0x61, 0x04, 0x02}, ARCLZW_BAD_DATA},
        {"code equal to next free", {0xF1, 0xD9, 0x8C, 0x61, 0x02, 0x02}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int rc = 0;
        Decode(16, c.stream, &rc);
        EXPECT_EQ(rc, c.result);
    }
}

TEST(LzwCodec, CodeAfterClearMustBeAByte) {
    // 'a' (97), clear (256), the rest of the 9-byte group, then 257 in a new group.
    const Bytes stream = {0xF1, 0xD9, 0x8C, 0x61, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0x01, 0x01};
    int rc = 0;
    Decode(16, stream, &rc);
    EXPECT_EQ(rc, ARCLZW_BAD_DATA);
    const Bytes good = {0xF1, 0xD9, 0x8C, 0x61, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0x62, 0x00};
    EXPECT_EQ(Decode(16, good, &rc), ToBytes("ab"));
    EXPECT_EQ(rc, 0);
}

TEST(LzwCodec, TruncatedAndFlippedStreamsNeverCrash) {
    const Bytes data = WordText(6000, 5);
    const Bytes stream = Encode(12, data);
    for (size_t cut = 0; cut < stream.size(); ++cut) {
        int rc = 0;
        const Bytes part(stream.begin(), stream.begin() + cut);
        const Bytes out = Decode(12, part, &rc);
        if (cut >= 3 && rc == 0) {
            ASSERT_LE(out.size(), data.size()) << cut;
            EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << "cut at " << cut;
        }
    }
    size_t failures = 0;
    for (size_t i = 0; i < stream.size(); ++i) {
        for (unsigned char flip : {0x01, 0x80, 0xFF}) {
            Bytes bad = stream;
            bad[i] ^= flip;
            int rc = 0;
            Decode(12, bad, &rc);
            if (rc != 0) ++failures;
        }
    }
    EXPECT_GT(failures, 0u) << "no flipped byte was ever detected";
}

TEST(LzwCodec, ReadersAgreeWithAndWithoutPaddedBit) {
    const Bytes data = WordText(400000, 6);  // fills the 12-bit table many times
    Bytes stream = Encode(12, data);
    stream[2] |= 0x40;
    int rc = 0;
    EXPECT_EQ(Decode(12, stream, &rc), data);
    EXPECT_EQ(rc, 0);
}

TEST(LzwCodec, InitClampsWidthAndReusesRecord) {
    ArcLZWEncoder* e = nullptr;
    ASSERT_EQ(ArcLZW_EncodeInit(&e, 3), 0);
    const unsigned char in[] = {'q'};
    unsigned char out[16];
    uint32_t produced = 0;
    int status = 0;
    ASSERT_EQ(ArcLZW_Encode(e, in, 1, out, sizeof out, &produced, &status), 0);
    EXPECT_EQ(out[2], 0x80 | 9);
    ArcLZWEncoder* same = e;
    ASSERT_EQ(ArcLZW_EncodeInit(&e, 40), 0);
    EXPECT_EQ(e, same);
    ASSERT_EQ(ArcLZW_Encode(e, in, 1, out, sizeof out, &produced, &status), 0);
    EXPECT_EQ(out[2], 0x80 | 16) << "reset starts a fresh stream with a new header";
    ArcLZW_EncodeFree(e);

    ArcLZWDecoder* d = nullptr;
    ASSERT_EQ(ArcLZW_DecodeInit(&d, 99), 0);
    ArcLZWDecoder* sameDecoder = d;
    ASSERT_EQ(ArcLZW_DecodeInit(&d, 0), 0);
    EXPECT_EQ(d, sameDecoder);
    ArcLZW_DecodeFree(d);
}

TEST(LzwCodec, ProtocolMisuseIsRefused) {
    ArcLZWEncoder* e = nullptr;
    ASSERT_EQ(ArcLZW_EncodeInit(&e, 12), 0);
    const Bytes data = WordText(1000, 7);
    unsigned char out[4];
    uint32_t produced = 0;
    int status = 0;
    ASSERT_EQ(ArcLZW_Encode(e, data.data(), 1000, out, sizeof out, &produced, &status), 0);
    ASSERT_EQ(status, ARCLZW_OUTPUT_FULL);
    EXPECT_EQ(ArcLZW_Encode(e, nullptr, 0, out, sizeof out, &produced, &status), ARCLZW_BAD_STATE)
        << "ending while the same input is still due";
    EXPECT_EQ(ArcLZW_Encode(nullptr, data.data(), 1, out, 4, &produced, &status), ARCLZW_BAD_STATE);
    ArcLZW_EncodeFree(e);

    ArcLZWDecoder* d = nullptr;
    ASSERT_EQ(ArcLZW_DecodeInit(&d, 12), 0);
    ASSERT_EQ(ArcLZW_Decode(d, nullptr, 0, out, sizeof out, &produced, &status), 0);
    EXPECT_EQ(ArcLZW_Decode(d, data.data(), 3, out, sizeof out, &produced, &status), ARCLZW_AFTER_END);
    EXPECT_EQ(status, ARCLZW_ENDED);
    ArcLZW_DecodeFree(d);
}

TEST(LzwCodec, PutCodeAndGetCodeWorkOnTheRecords) {
    // PutCode outside a call holds its bytes back; the next Encode call writes them
    // ahead of its own output.
    ArcLZWEncoder* e = nullptr;
    ASSERT_EQ(ArcLZW_EncodeInit(&e, 12), 0);
    EXPECT_EQ(ArcLZW_PutCode(e, 'A'), 3);
    EXPECT_EQ(ArcLZW_PutCode(e, -1), 3);
    const unsigned char in[] = {'B'};
    unsigned char out[16];
    uint32_t produced = 0;
    int status = 0;
    ASSERT_EQ(ArcLZW_Encode(e, in, 1, out, sizeof out, &produced, &status), 0);
    ASSERT_EQ(produced, 5u);
    EXPECT_EQ(out[0], 'A');
    EXPECT_EQ(out[1], 0x00);
    EXPECT_EQ(out[2], 0xF1);
    ArcLZW_ClearTable(e);
    ArcLZW_EncodeFree(e);

    // Without input the readers ask for more; a decoder not yet past its header has
    // no codes.
    ArcLZWDecoder* d = nullptr;
    ASSERT_EQ(ArcLZW_DecodeInit(&d, 12), 0);
    EXPECT_EQ(ArcLZW_GetCodePadded(d), -2);
    const unsigned char header[] = {0xF1, 0xD9, 0x8C};
    ASSERT_EQ(ArcLZW_Decode(d, header, 3, out, sizeof out, &produced, &status), 0);
    EXPECT_EQ(status, ARCLZW_INPUT_USED);
    EXPECT_EQ(ArcLZW_GetCodePadded(d), -1);
    EXPECT_EQ(ArcLZW_GetCodePacked(d), -1);
    ArcLZW_DecodeFree(d);
}

}  // namespace
