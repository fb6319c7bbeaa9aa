// The caller's record: defaults, code parameters, buffers and the consistency check
// that stands between a caller's stray write and the code tables.
#include "lzw_detail.h"

#include <cstring>
#include <new>

namespace zyplzw::detail {
namespace {

bool SpanIsSane(const void* start, const void* pos, const void* end, uint32_t remaining) {
    const auto a = reinterpret_cast<uintptr_t>(start);
    const auto p = reinterpret_cast<uintptr_t>(pos);
    const auto e = reinterpret_cast<uintptr_t>(end);
    if (a > p || p > e) {
        return false;
    }
    return e - p == remaining;
}

}  // namespace

bool ValidMode(int mode) {
    return mode == ZYPLZW_MODE_GIF || mode == ZYPLZW_MODE_TIFF || mode == ZYPLZW_MODE_TIFF_PREDICTOR;
}

bool ValidBits(int bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8; }

void SetCodeParameters(ZypLzwState& s, bool encoder) {
    if (s.mode == ZYPLZW_MODE_GIF) {
        const uint32_t root = s.bitsPerSample == 1 ? 2u : static_cast<uint32_t>(s.bitsPerSample);
        s.clearCode = 1u << root;
        s.initialWidth = root + 1;
        s.earlyChange = encoder ? 0 : 1;
    } else {
        s.clearCode = 256;
        s.initialWidth = 9;
        s.earlyChange = encoder ? 1 : 2;
    }
    s.endCode = s.clearCode + 1;
    s.firstFree = s.clearCode + 2;
    ResetTable(s);
}

void ResetTable(ZypLzwState& s) {
    s.nextFree = s.firstFree;
    s.codeWidth = s.initialWidth;
    s.threshold = 1u << s.initialWidth;
}

void ClearRecord(ZypLzwState& s, int mode) {
    std::memset(&s, 0, sizeof s);
    s.mode = mode;
    s.bitsPerSample = 8;
    s.samplesPerPixel = 1;
}

void RestartRecord(ZypLzwState& s, bool encoder) {
    s.state = ZYPLZW_STATE_START;
    s.prefix = kNoCode;
    s.bitBuffer = 0;
    s.bitCount = 0;
    s.inputBitPos = 0;
    s.pixelByte = 0;
    s.pixelBits = 0;
    s.rowDone = 0;
    SetCodeParameters(s, encoder);
}

bool RecordIsSane(const ZypLzwState& s, bool encoder, size_t historySize) {
    if (!ValidMode(s.mode) || !ValidBits(s.bitsPerSample)) {
        return false;
    }
    if (s.samplesPerPixel < 1 || static_cast<size_t>(s.samplesPerPixel) > historySize ||
        RowBytes(s) > UINT32_MAX) {
        return false;
    }
    // Code parameters must be exactly what mode and bits give.
    ZypLzwState expected = s;
    SetCodeParameters(expected, encoder);
    if (s.clearCode != expected.clearCode || s.endCode != expected.endCode ||
        s.firstFree != expected.firstFree || s.initialWidth != expected.initialWidth ||
        s.earlyChange != expected.earlyChange) {
        return false;
    }
    if (s.codeWidth < s.initialWidth || s.codeWidth > kMaxWidth || s.threshold != (1u << s.codeWidth)) {
        return false;
    }
    if (s.nextFree < s.firstFree || s.nextFree > kTableSize) {
        return false;
    }
    if (s.prefix != kNoCode && s.prefix >= s.nextFree) {
        return false;
    }
    if (s.bitCount > 31 || (s.bitBuffer >> s.bitCount) != 0) {
        return false;
    }
    if (s.inputBitPos >= 8 || s.pixelBits >= 8 || (s.pixelByte >> 8) != 0) {
        return false;
    }
    if (s.inputBitPos % static_cast<uint32_t>(s.bitsPerSample) != 0 ||
        s.pixelBits % static_cast<uint32_t>(s.bitsPerSample) != 0) {
        return false;
    }
    switch (s.state) {
        case ZYPLZW_STATE_START:
        case ZYPLZW_STATE_WORKING:
        case ZYPLZW_STATE_ENDING:
        case ZYPLZW_STATE_ENDED:
        case ZYPLZW_STATE_FAILED: break;
        default: return false;
    }
    return SpanIsSane(s.inStart, s.inPos, s.inEnd, s.inRemaining) &&
           SpanIsSane(s.outStart, s.outPos, s.outEnd, s.outRemaining);
}

int SetInput(ZypLzwState* s, uint32_t length, const unsigned char* data) {
    if (data == nullptr && length != 0) {
        return ZYPLZW_CALLER_ERROR;
    }
    s->inStart = data;
    s->inPos = data;
    s->inEnd = data == nullptr ? nullptr : data + length;
    s->inRemaining = length;
    s->inputBitPos = 0;
    return ZYPLZW_OK;
}

int SetOutput(ZypLzwState* s, uint32_t length, unsigned char* buffer) {
    if (buffer == nullptr && length != 0) {
        return ZYPLZW_CALLER_ERROR;
    }
    s->outStart = buffer;
    s->outPos = buffer;
    s->outEnd = buffer == nullptr ? nullptr : buffer + length;
    s->outRemaining = length;
    return ZYPLZW_OK;
}

int SetSamples(ZypLzwState& s, std::vector<uint8_t>& history, int samples) {
    if (samples < 1 || samples > kMaxSamplesPerPixel || s.state != ZYPLZW_STATE_START) {
        return ZYPLZW_CALLER_ERROR;
    }
    try {
        history.assign(static_cast<size_t>(samples), 0);
    } catch (const std::bad_alloc&) {
        return ZYPLZW_NO_MEMORY;
    }
    s.samplesPerPixel = samples;
    return ZYPLZW_OK;
}

}  // namespace zyplzw::detail
