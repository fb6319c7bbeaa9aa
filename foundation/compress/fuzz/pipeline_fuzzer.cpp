// Runs arbitrary bytes through a pipeline whose letters, window and buffer sizes the
// first bytes pick; expanding garbage must end in a state, never a crash or a hang.
#include "arc_compress.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char kFrom[] = {'O', 'L', '3', '4', '5', 'Z', 'N', 'D'};
    static const char kTo[] = {'N', 'D', 'O', 'L', 'Z'};
    if (size < 4) return 0;
    const char from = kFrom[data[0] % sizeof kFrom];
    const char to = kTo[data[1] % sizeof kTo];
    const size_t chunk = 1 + data[2] % 200;
    const uint64_t windowStart = (data[3] & 0x80) ? (data[3] & 0x3F) : 0;
    const uint64_t windowLength = (data[3] & 0x40) ? 1 + data[3] % 50 : 0;
    data += 4;
    size -= 4;
    ArcCmpPipeline* p = nullptr;
    if (ArcCMP_Begin(from, to, windowStart, windowLength, nullptr, &p) != 0) return 0;
    std::vector<unsigned char> out(chunk);
    size_t pos = 0;
    size_t piece = size < chunk ? size : chunk;
    // Expansion is bounded per input byte in LZW and zlib alike; stop far beyond it.
    const size_t limit = 1 << 20;
    size_t total = 0;
    for (;;) {
        size_t produced = 0;
        const int rc = ArcCMP_Run(p, piece ? data + pos : nullptr, piece, out.data(), out.size(), &produced);
        if (produced > out.size()) __builtin_trap();
        total += produced;
        if (rc == ARCCMP_NEED_INPUT) {
            if (piece == 0) __builtin_trap();  // asked for input after the end
            pos += piece;
            piece = size - pos < chunk ? size - pos : chunk;
        } else if (rc != ARCCMP_OUTPUT_READY || total > limit) {
            break;
        }
    }
    ArcCMP_End(p);
    return 0;
}
