// Feeds arbitrary streams to the decoder in every mode, split over small buffers.
#include "fuzz_settings.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zyplzw_fuzz;
    if (size < kHeaderSize) {
        return 0;
    }
    const FuzzSettings s = ReadSettings(data);
    const uint8_t* stream = data + kHeaderSize;
    const size_t length = size - kHeaderSize;

    ZypLzwState st;
    if (ZypLzwDecodeInit(&st, s.mode) != 0 || ZypLzwDecodeSetBitsPerSample(&st, s.bits) != 0 ||
        ZypLzwDecodeSetSamplesPerPixel(&st, s.samples) != 0) {
        abort();
    }
    st.rowLength = s.rowLength;
    // Exactly sized so that AddressSanitizer sees any write past the end.
    std::vector<uint8_t> out(s.outChunk == 0 ? 4096 : s.outChunk);
    ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(out.size()), out.data());
    size_t offset = 0;
    int rc = ZYPLZW_INPUT_USED;
    while (rc == ZYPLZW_INPUT_USED && offset < length) {
        const size_t n = s.inChunk == 0 ? length - offset : std::min(s.inChunk, length - offset);
        ZypLzwDecodeInitInputData(&st, static_cast<uint32_t>(n), stream + offset);
        offset += n;
        while ((rc = ZypLzwDecode(&st)) == ZYPLZW_OUTPUT_FULL) {
            ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(out.size()), out.data());
        }
        if (rc < ZYPLZW_BAD_STREAM || rc > ZYPLZW_END_CODE) {
            abort();
        }
    }
    while (ZypLzwDecodeFlush(&st) == ZYPLZW_OUTPUT_FULL) {
        ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(out.size()), out.data());
    }
    if (ZypLzwDecodeDone(&st) != 0 || ZypLzwLiveBlocks() != 0) {
        abort();
    }
    return 0;
}
