// Feeds arbitrary bytes to the LZW decoder, split into buffers the data itself picks.
#include "arc_compress.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int bits = 9 + data[0] % 8;
    const uint32_t chunk = 1 + data[1] % 64;
    data += 2;
    size -= 2;
    ArcLZWDecoder* d = nullptr;
    if (ArcLZW_DecodeInit(&d, bits) != 0) return 0;
    std::vector<unsigned char> out(1 + chunk * 3);
    size_t pos = 0;
    uint32_t piece = static_cast<uint32_t>(size < chunk ? size : chunk);
    for (;;) {
        uint32_t produced = 0;
        int status = 0;
        const int rc = ArcLZW_Decode(d, piece ? data + pos : nullptr, piece, out.data(),
                                     static_cast<uint32_t>(out.size()), &produced, &status);
        if (rc != 0) break;
        if (produced > out.size()) __builtin_trap();
        if (status == ARCLZW_INPUT_USED) {
            if (piece == 0) __builtin_trap();  // asked for input after the end
            pos += piece;
            piece = static_cast<uint32_t>(size - pos < chunk ? size - pos : chunk);
        }
    }
    ArcLZW_DecodeFree(d);
    return 0;
}
