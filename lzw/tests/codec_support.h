// Drivers that run the codec over chunked input and output, and an independent packer
// for hand-made code streams.
#pragma once

#include "zyplzw.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zyplzw_test {

using Bytes = std::vector<uint8_t>;

struct Settings {
    int mode = ZYPLZW_MODE_TIFF;
    int bits = 8;
    int samples = 1;
    uint32_t rowLength = 0;
    std::string Name() const;
};

// Encodes feeding `inChunk` input bytes and `outChunk` output bytes at a time
// (0 = everything at once). Fails the running test on an unexpected result.
Bytes Encode(const Settings& settings, const Bytes& input, size_t inChunk = 0, size_t outChunk = 0);

struct Decoded {
    int result = 0;  // last result of ZypLzwDecode (3 end, 1 input used up, -1 bad)
    Bytes output;
};
// Decodes in chunks as above, then flushes.
Decoded Decode(const Settings& settings, const Bytes& stream, size_t inChunk = 0, size_t outChunk = 0);

// Packs codes at the widths a decoder expects, written from the textbook rule: with n
// table entries in use, a GIF code is bit_length(n) bits, a TIFF code
// bit_length(n + 1) bits, at most 12. Mode 1 uses the root size of `bits`.
Bytes PackCodes(int mode, int bits, const std::vector<uint32_t>& codes);

// Image-like test data: smooth gradients with noise and flat runs.
Bytes ImageLike(size_t size, uint32_t seed);
Bytes RandomBytes(size_t size, uint32_t seed);

}  // namespace zyplzw_test
