// LZW encoder: symbols from the input, codes to the output, resumable at any byte.
#include "bit_packing.h"
#include "lzw_detail.h"

#include <algorithm>
#include <cstring>

namespace zyplzw::detail {
namespace {

// Symbol sources. Next() takes one symbol, or returns false when the input is used up.
struct ByteSource {
    const unsigned char* in;
    const unsigned char* end;
    explicit ByteSource(ZypLzwState& s) : in(s.inPos), end(s.inEnd) {}
    bool Next(uint32_t& symbol) {
        if (in == end) {
            return false;
        }
        symbol = *in++;
        return true;
    }
    void Store(ZypLzwState& s) const { s.inPos = in; }
};

// Mode 1 with 1, 2 or 4 bits: pixels from the high bits down; a row ends its byte.
struct PixelSource {
    const unsigned char* in;
    const unsigned char* end;
    uint32_t bitPos, bits, mask, rowDone, rowLength;
    explicit PixelSource(ZypLzwState& s)
        : in(s.inPos),
          end(s.inEnd),
          bitPos(s.inputBitPos),
          bits(static_cast<uint32_t>(s.bitsPerSample)),
          mask((1u << bits) - 1),
          rowDone(s.rowDone),
          rowLength(s.rowLength) {}
    bool Next(uint32_t& symbol) {
        if (in == end) {
            return false;
        }
        symbol = (static_cast<uint32_t>(*in) >> (8 - bits - bitPos)) & mask;
        bitPos += bits;
        if (rowLength != 0 && ++rowDone >= rowLength) {
            rowDone = 0;
            bitPos = 8;
        }
        if (bitPos == 8) {
            bitPos = 0;
            ++in;
        }
        return true;
    }
    void Store(ZypLzwState& s) const {
        s.inPos = in;
        s.inputBitPos = bitPos;
        s.rowDone = rowDone;
    }
};

// Mode 3: horizontal differencing of 8-bit samples; each row starts from zero.
struct PredictorSource {
    const unsigned char* in;
    const unsigned char* end;
    uint8_t* history;
    uint32_t samples, rowDone;
    uint64_t rowBytes;
    PredictorSource(ZypLzwState& s, std::vector<uint8_t>& h)
        : in(s.inPos),
          end(s.inEnd),
          history(h.data()),
          samples(static_cast<uint32_t>(s.samplesPerPixel)),
          rowDone(s.rowDone),
          rowBytes(RowBytes(s)) {}
    bool Next(uint32_t& symbol) {
        if (in == end) {
            return false;
        }
        const uint8_t raw = *in++;
        const uint32_t channel = rowDone % samples;
        symbol = static_cast<uint8_t>(raw - history[channel]);
        history[channel] = raw;
        ++rowDone;
        if (rowBytes == 0) {
            rowDone %= samples;
        } else if (rowDone >= rowBytes) {
            rowDone = 0;
            std::memset(history, 0, samples);
        }
        return true;
    }
    void Store(ZypLzwState& s) const {
        s.inPos = in;
        s.rowDone = rowDone;
    }
};

// The code side of the encoder, working on local copies of the record's fields.
template <typename Packing>
struct CodeWriter {
    ZypLzwState& s;
    uint32_t acc, count;
    unsigned char* out;
    unsigned char* const outEnd;

    explicit CodeWriter(ZypLzwState& state)
        : s(state), acc(state.bitBuffer), count(state.bitCount), out(state.outPos), outEnd(state.outEnd) {}

    void Put(uint32_t code, uint32_t width) { Packing::Put(acc, count, code, width); }
    // Writes whole bytes while there is room; true when none is held back.
    bool Drain() {
        while (count >= 8 && out != outEnd) {
            *out++ = Packing::TakeByte(acc, count);
        }
        return count < 8;
    }
    bool WritePartialByte() {
        if (count == 0) {
            return true;
        }
        if (out == outEnd) {
            return false;
        }
        *out++ = Packing::PartialByte(acc, count);
        acc = 0;
        count = 0;
        return true;
    }
    void Store() {
        s.bitBuffer = acc;
        s.bitCount = count;
        s.outPos = out;
        s.outRemaining = static_cast<uint32_t>(outEnd - out);
    }
};

uint32_t HashSlot(uint32_t key) { return (key * 2654435761u) >> (32 - EncoderBlock::kHashBits); }

void NextGeneration(EncoderBlock& b) {
    if (++b.generation == kTableSize) {
        std::memset(b.keys, 0, sizeof b.keys);
        b.generation = 1;
    }
}

template <typename Packing, typename Source>
int EncodeLoop(ZypLzwState& s, EncoderBlock& b, Source& source) {
    CodeWriter<Packing> writer(s);
    uint32_t prefix = s.prefix;
    uint32_t nextFree = s.nextFree;
    uint32_t width = s.codeWidth;
    uint32_t threshold = s.threshold;
    const uint32_t early = s.earlyChange;
    constexpr uint32_t kSlotMask = EncoderBlock::kHashSize - 1;

    writer.Drain();
    if (s.state == ZYPLZW_STATE_START) {
        writer.Put(s.clearCode, width);
        s.state = ZYPLZW_STATE_WORKING;
        writer.Drain();
    }
    int result;
    for (;;) {
        if (writer.count >= 8) {
            result = ZYPLZW_OUTPUT_FULL;
            break;
        }
        uint32_t symbol;
        if (!source.Next(symbol)) {
            result = ZYPLZW_INPUT_USED;
            break;
        }
        if (prefix == kNoCode) {
            prefix = symbol;
            continue;
        }
        const uint32_t stamped = (b.generation << 20) | (prefix << 8) | symbol;
        uint32_t slot = HashSlot(stamped & 0xFFFFF);
        bool found = false;
        for (;;) {
            const uint32_t key = b.keys[slot];
            if (key == stamped) {
                found = true;
                break;
            }
            if ((key >> 20) != b.generation) {
                break;
            }
            slot = (slot + 1) & kSlotMask;
        }
        if (found) {
            prefix = b.codes[slot];
            continue;
        }
        writer.Put(prefix, width);
        if (nextFree == kTableSize) {
            writer.Put(s.clearCode, width);
            nextFree = s.firstFree;
            width = s.initialWidth;
            threshold = 1u << width;
            NextGeneration(b);
        } else {
            b.keys[slot] = stamped;
            b.codes[slot] = static_cast<uint16_t>(nextFree);
            WidenAfterAdding(nextFree, early, width, threshold);
            ++nextFree;
        }
        prefix = symbol;
        writer.Drain();
    }
    source.Store(s);
    s.inRemaining = static_cast<uint32_t>(s.inEnd - s.inPos);
    s.prefix = prefix;
    s.nextFree = nextFree;
    s.codeWidth = width;
    s.threshold = threshold;
    writer.Store();
    return result;
}

template <typename Packing>
int EncodeDispatch(ZypLzwState& s, EncoderBlock& b) {
    if (s.mode == ZYPLZW_MODE_TIFF_PREDICTOR) {
        PredictorSource source(s, b.history);
        return EncodeLoop<Packing>(s, b, source);
    }
    if (s.mode == ZYPLZW_MODE_GIF && s.bitsPerSample != 8) {
        PixelSource source(s);
        return EncodeLoop<Packing>(s, b, source);
    }
    ByteSource source(s);
    return EncodeLoop<Packing>(s, b, source);
}

template <typename Packing>
int FlushBytes(ZypLzwState& s) {
    CodeWriter<Packing> writer(s);
    const bool drained = writer.Drain();
    writer.Store();
    return drained ? ZYPLZW_OK : ZYPLZW_OUTPUT_FULL;
}

// Last string, end code, partial byte; each step may stop on a full output and is
// taken up again on the next call.
template <typename Packing>
int FinishStream(ZypLzwState& s) {
    CodeWriter<Packing> writer(s);
    int result = ZYPLZW_OUTPUT_FULL;
    if (writer.Drain()) {
        if (s.state == ZYPLZW_STATE_START || s.state == ZYPLZW_STATE_WORKING) {
            if (s.state == ZYPLZW_STATE_START) {
                writer.Put(s.clearCode, s.codeWidth);
            }
            if (s.prefix != kNoCode) {
                writer.Put(s.prefix, s.codeWidth);
                s.prefix = kNoCode;
                // The decoder adds an entry on reading that code and widens by its rule.
                if (s.nextFree < kTableSize) {
                    WidenAfterAdding(s.nextFree, s.earlyChange, s.codeWidth, s.threshold);
                    ++s.nextFree;
                }
            }
            writer.Put(s.endCode, s.codeWidth);
            s.state = ZYPLZW_STATE_ENDING;
        }
        if (writer.Drain() && writer.WritePartialByte()) {
            s.state = ZYPLZW_STATE_ENDED;
            result = ZYPLZW_OK;
        }
    }
    writer.Store();
    return result;
}

EncoderBlock* SaneEncoder(ZypLzwState* state) {
    EncoderBlock* block = EncoderOf(state);
    if (block == nullptr || !RecordIsSane(*state, true, block->history.size())) {
        return nullptr;
    }
    return block;
}

}  // namespace
}  // namespace zyplzw::detail

using namespace zyplzw::detail;

extern "C" {

ZYPLZW_API int ZypLzwEncodeInit(ZypLzwState* state, int mode) {
    return InitWithNewBlock(state, mode, NewEncoderBlock,
                            [](ZypLzwState& s, EncoderBlock&) { RestartRecord(s, true); });
}

ZYPLZW_API int ZypLzwEncodeInitNoMalloc(ZypLzwState* state) {
    EncoderBlock* block = EncoderOf(state);
    if (block == nullptr || !ValidMode(state->mode) || !ValidBits(state->bitsPerSample)) {
        return ZYPLZW_CALLER_ERROR;
    }
    RestartRecord(*state, true);
    NextGeneration(*block);
    std::fill(block->history.begin(), block->history.end(), 0);
    return ZYPLZW_OK;
}

ZYPLZW_API int ZypLzwEncodeSetBitsPerSample(ZypLzwState* state, int bits) {
    if (SaneEncoder(state) == nullptr || !ValidBits(bits) || state->state != ZYPLZW_STATE_START) {
        return ZYPLZW_CALLER_ERROR;
    }
    state->bitsPerSample = bits;
    SetCodeParameters(*state, true);
    return ZYPLZW_OK;
}

ZYPLZW_API int ZypLzwEncodeSetSamplesPerPixel(ZypLzwState* state, int samples) {
    EncoderBlock* block = SaneEncoder(state);
    if (block == nullptr) {
        return ZYPLZW_CALLER_ERROR;
    }
    return SetSamples(*state, block->history, samples);
}

ZYPLZW_API int ZypLzwEncodeInitInputData(ZypLzwState* state, uint32_t length, const unsigned char* data) {
    if (SaneEncoder(state) == nullptr) {
        return ZYPLZW_CALLER_ERROR;
    }
    return SetInput(state, length, data);
}

ZYPLZW_API int ZypLzwEncodeInitOutputData(ZypLzwState* state, uint32_t length, unsigned char* buffer) {
    if (SaneEncoder(state) == nullptr) {
        return ZYPLZW_CALLER_ERROR;
    }
    return SetOutput(state, length, buffer);
}

ZYPLZW_API int ZypLzwEncode(ZypLzwState* state) {
    EncoderBlock* block = SaneEncoder(state);
    if (block == nullptr || (state->state != ZYPLZW_STATE_START && state->state != ZYPLZW_STATE_WORKING)) {
        return ZYPLZW_CALLER_ERROR;
    }
    return state->mode == ZYPLZW_MODE_GIF ? EncodeDispatch<LsbFirst>(*state, *block)
                                          : EncodeDispatch<MsbFirst>(*state, *block);
}

ZYPLZW_API int ZypLzwEncodeFlush(ZypLzwState* state) {
    if (SaneEncoder(state) == nullptr) {
        return ZYPLZW_CALLER_ERROR;
    }
    return state->mode == ZYPLZW_MODE_GIF ? FlushBytes<LsbFirst>(*state) : FlushBytes<MsbFirst>(*state);
}

ZYPLZW_API int ZypLzwEncodeDone(ZypLzwState* state) {
    if (SaneEncoder(state) == nullptr || state->state == ZYPLZW_STATE_FAILED ||
        state->state == ZYPLZW_STATE_ENDED) {
        return ZYPLZW_CALLER_ERROR;
    }
    const int rc =
        state->mode == ZYPLZW_MODE_GIF ? FinishStream<LsbFirst>(*state) : FinishStream<MsbFirst>(*state);
    if (rc == ZYPLZW_OK) {
        FreeBlock(state);
    }
    return rc;
}

}  // extern "C"
