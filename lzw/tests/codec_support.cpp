#include "codec_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>

namespace zyplzw_test {

std::string Settings::Name() const {
    return "mode " + std::to_string(mode) + " bits " + std::to_string(bits) + " samples " +
           std::to_string(samples) + " row " + std::to_string(rowLength);
}

namespace {

size_t Chunk(size_t chunk, size_t left) { return chunk == 0 ? left : std::min(chunk, left); }

}  // namespace

Bytes Encode(const Settings& settings, const Bytes& input, size_t inChunk, size_t outChunk) {
    ZypLzwState st;
    EXPECT_EQ(ZypLzwEncodeInit(&st, settings.mode), 0);
    EXPECT_EQ(ZypLzwEncodeSetBitsPerSample(&st, settings.bits), 0);
    EXPECT_EQ(ZypLzwEncodeSetSamplesPerPixel(&st, settings.samples), 0);
    st.rowLength = settings.rowLength;

    Bytes out;
    Bytes buffer(outChunk == 0 ? input.size() + 64 : outChunk);
    auto collect = [&] { out.insert(out.end(), buffer.data(), st.outPos); };
    auto newOutput = [&] {
        EXPECT_EQ(ZypLzwEncodeInitOutputData(&st, static_cast<uint32_t>(buffer.size()), buffer.data()), 0);
    };
    newOutput();
    size_t offset = 0;
    do {
        const size_t n = Chunk(inChunk, input.size() - offset);
        EXPECT_EQ(ZypLzwEncodeInitInputData(&st, static_cast<uint32_t>(n), input.data() + offset), 0);
        offset += n;
        for (int guard = 0;; ++guard) {
            const int rc = ZypLzwEncode(&st);
            if (rc == ZYPLZW_INPUT_USED) {
                break;
            }
            if (rc != ZYPLZW_OUTPUT_FULL || guard > 1 << 24) {
                ADD_FAILURE() << "Encode gave " << rc;
                return out;
            }
            collect();
            newOutput();
        }
    } while (offset < input.size());
    for (int guard = 0;; ++guard) {
        const int rc = ZypLzwEncodeDone(&st);
        collect();
        if (rc == ZYPLZW_OK) {
            break;
        }
        if (rc != ZYPLZW_OUTPUT_FULL || guard > 64) {
            ADD_FAILURE() << "Done gave " << rc;
            break;
        }
        newOutput();
    }
    EXPECT_EQ(st.block, nullptr);
    return out;
}

Decoded Decode(const Settings& settings, const Bytes& stream, size_t inChunk, size_t outChunk) {
    ZypLzwState st;
    Decoded d;
    EXPECT_EQ(ZypLzwDecodeInit(&st, settings.mode), 0);
    EXPECT_EQ(ZypLzwDecodeSetBitsPerSample(&st, settings.bits), 0);
    EXPECT_EQ(ZypLzwDecodeSetSamplesPerPixel(&st, settings.samples), 0);
    st.rowLength = settings.rowLength;

    // A guard byte past the caller's buffer shows any write beyond it.
    const size_t size = outChunk == 0 ? 1 << 16 : outChunk;
    Bytes buffer(size + 1, 0xA5);
    auto collect = [&] { d.output.insert(d.output.end(), buffer.data(), st.outPos); };
    auto newOutput = [&] {
        EXPECT_EQ(ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(size), buffer.data()), 0);
    };
    newOutput();
    size_t offset = 0;
    bool more = true;
    while (more) {
        const size_t n = Chunk(inChunk, stream.size() - offset);
        EXPECT_EQ(ZypLzwDecodeInitInputData(&st, static_cast<uint32_t>(n), stream.data() + offset), 0);
        offset += n;
        for (;;) {
            d.result = ZypLzwDecode(&st);
            if (d.result != ZYPLZW_OUTPUT_FULL) {
                break;
            }
            collect();
            newOutput();
        }
        more = d.result == ZYPLZW_INPUT_USED && offset < stream.size();
    }
    if (d.result != ZYPLZW_BAD_STREAM) {
        while (ZypLzwDecodeFlush(&st) == ZYPLZW_OUTPUT_FULL) {
            collect();
            newOutput();
        }
    }
    collect();
    EXPECT_EQ(buffer[size], 0xA5) << "decoder wrote past its output buffer";
    EXPECT_EQ(ZypLzwDecodeDone(&st), 0);
    return d;
}

Bytes PackCodes(int mode, int bits, const std::vector<uint32_t>& codes) {
    const bool gif = mode == ZYPLZW_MODE_GIF;
    const uint32_t root = gif ? (bits == 1 ? 2u : static_cast<uint32_t>(bits)) : 8u;
    const uint32_t clear = 1u << root;
    uint32_t entries = clear + 2;
    bool havePrevious = false;
    uint64_t acc = 0;
    uint32_t count = 0;
    Bytes out;
    for (uint32_t code : codes) {
        const uint32_t width =
            std::min<uint32_t>(12, static_cast<uint32_t>(std::bit_width(gif ? entries : entries + 1)));
        if (gif) {
            acc |= static_cast<uint64_t>(code) << count;
            count += width;
            while (count >= 8) {
                out.push_back(static_cast<uint8_t>(acc));
                acc >>= 8;
                count -= 8;
            }
        } else {
            acc = (acc << width) | code;
            count += width;
            while (count >= 8) {
                count -= 8;
                out.push_back(static_cast<uint8_t>(acc >> count));
            }
        }
        if (code == clear) {
            entries = clear + 2;
            havePrevious = false;
        } else {
            if (havePrevious && entries < 4096) {
                ++entries;
            }
            havePrevious = true;
        }
    }
    if (count > 0) {
        out.push_back(static_cast<uint8_t>(gif ? acc : acc << (8 - count)));
    }
    return out;
}

Bytes ImageLike(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    uint32_t value = 128;
    for (size_t i = 0; i < size; ++i) {
        const uint32_t r = rng();
        if ((i / 512) % 5 == 4) {
            out[i] = static_cast<uint8_t>(value);  // flat run
            continue;
        }
        value = (value + (r & 3) - 1 + ((r >> 8) % 7 == 0 ? (r >> 16) % 9 : 0)) & 0xFF;
        out[i] = static_cast<uint8_t>(value);
    }
    return out;
}

Bytes RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out) {
        b = static_cast<uint8_t>(rng());
    }
    return out;
}

}  // namespace zyplzw_test
