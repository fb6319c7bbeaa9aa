// Encodes arbitrary data in every mode over small buffers and checks that decoding
// gives it back.
#include "fuzz_settings.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using namespace zyplzw_fuzz;

size_t Take(size_t chunk, size_t left) { return chunk == 0 ? left : std::min(chunk, left); }

Bytes EncodeAll(const FuzzSettings& s, const uint8_t* data, size_t size) {
    ZypLzwState st;
    if (ZypLzwEncodeInit(&st, s.mode) != 0 || ZypLzwEncodeSetBitsPerSample(&st, s.bits) != 0 ||
        ZypLzwEncodeSetSamplesPerPixel(&st, s.samples) != 0) {
        abort();
    }
    st.rowLength = s.rowLength;
    Bytes out, buffer(s.outChunk == 0 ? 4096 : s.outChunk);
    auto collect = [&] {
        out.insert(out.end(), buffer.data(), st.outPos);
        ZypLzwEncodeInitOutputData(&st, static_cast<uint32_t>(buffer.size()), buffer.data());
    };
    ZypLzwEncodeInitOutputData(&st, static_cast<uint32_t>(buffer.size()), buffer.data());
    size_t offset = 0;
    do {
        const size_t n = Take(s.inChunk, size - offset);
        ZypLzwEncodeInitInputData(&st, static_cast<uint32_t>(n), data + offset);
        offset += n;
        int rc;
        while ((rc = ZypLzwEncode(&st)) == ZYPLZW_OUTPUT_FULL) {
            collect();
        }
        if (rc != ZYPLZW_INPUT_USED) {
            abort();
        }
    } while (offset < size);
    int rc;
    while ((rc = ZypLzwEncodeDone(&st)) == ZYPLZW_OUTPUT_FULL) {
        collect();
    }
    if (rc != 0) {
        abort();
    }
    out.insert(out.end(), buffer.data(), st.outPos);
    return out;
}

Bytes DecodeAll(const FuzzSettings& s, const Bytes& stream) {
    ZypLzwState st;
    ZypLzwDecodeInit(&st, s.mode);
    ZypLzwDecodeSetBitsPerSample(&st, s.bits);
    ZypLzwDecodeSetSamplesPerPixel(&st, s.samples);
    st.rowLength = s.rowLength;
    Bytes out, buffer(s.outChunk == 0 ? 4096 : s.outChunk);
    auto collect = [&] {
        out.insert(out.end(), buffer.data(), st.outPos);
        ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(buffer.size()), buffer.data());
    };
    ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(buffer.size()), buffer.data());
    ZypLzwDecodeInitInputData(&st, static_cast<uint32_t>(stream.size()), stream.data());
    int rc;
    while ((rc = ZypLzwDecode(&st)) == ZYPLZW_OUTPUT_FULL) {
        collect();
    }
    if (rc != ZYPLZW_END_CODE) {
        abort();
    }
    while (ZypLzwDecodeFlush(&st) == ZYPLZW_OUTPUT_FULL) {
        collect();
    }
    out.insert(out.end(), buffer.data(), st.outPos);
    ZypLzwDecodeDone(&st);
    return out;
}

// Mode 1 below 8 bits ends a row's byte early: those padding bits do not come back.
Bytes Expected(const FuzzSettings& s, const uint8_t* data, size_t size) {
    Bytes in(data, data + size);
    if (s.mode != ZYPLZW_MODE_GIF || s.bits == 8 || s.rowLength == 0) {
        return in;
    }
    const size_t rowBits = static_cast<size_t>(s.rowLength) * static_cast<size_t>(s.bits);
    const size_t rowBytes = (rowBits + 7) / 8;
    const unsigned pad = static_cast<unsigned>(rowBytes * 8 - rowBits);
    for (size_t end = rowBytes; end <= in.size(); end += rowBytes) {
        in[end - 1] &= static_cast<uint8_t>(0xFF << pad);
    }
    return in;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderSize) {
        return 0;
    }
    const FuzzSettings s = ReadSettings(data);
    data += kHeaderSize;
    size -= kHeaderSize;
    const Bytes stream = EncodeAll(s, data, size);
    const Bytes decoded = DecodeAll(s, stream);
    const Bytes expected = Expected(s, data, size);
    if (decoded != expected) {
        abort();
    }
    if (ZypLzwLiveBlocks() != 0) {
        abort();
    }
    return 0;
}
