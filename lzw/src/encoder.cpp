// LZW encoder: symbols from the input, codes to the output, resumable at any byte.
#include "bit_packing.h"
#include "lzw_detail.h"

#include <algorithm>
#include <cstring>

namespace zyplzw::detail {
namespace {

// Symbol sources other than plain bytes. Next() takes one symbol, or returns false when
// the input is used up.
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

// The dictionary operations on an EncoderBlock.
class Dictionary {
public:
    explicit Dictionary(EncoderBlock& block) : b_(block) {}

    // Empties the table: only roots are left, each a run of length 1. Roots are never
    // added, so their runOf entries stay as set here.
    static void Reset(EncoderBlock& b) {
        std::memset(b.slots, 0, sizeof b.slots);
        for (uint32_t byte = 0; byte < 256; ++byte) {
            b.runOf[byte] = 1u << 8 | byte;
            b.runTop[byte] = 1;
            b.runTopCode[byte] = static_cast<uint16_t>(byte);
        }
    }

    // Code of prefix + symbol, or 0 when absent; `slot` is left at the free slot. A
    // table never holds more than 4096 entries, but a record changed by its caller
    // could keep adding without a reset, so the probes stop after a full turn.
    uint32_t Find(uint32_t prefix, uint32_t symbol, uint32_t& slot) const {
        const uint32_t key = prefix << 8 | symbol;
        const uint32_t base = key << 12;
        slot = (key * 2654435761u) >> (32 - EncoderBlock::kHashBits);
        for (uint32_t probes = 0; probes < EncoderBlock::kHashSize; ++probes) {
            const uint32_t word = b_.slots[slot];
            const uint32_t code = word - base;
            if (code - 1 < kTableSize - 1) {
                return code;
            }
            if (word == 0) {
                break;
            }
            slot = (slot + 1) & kSlotMask;
        }
        return 0;
    }

    void Add(uint32_t slot, uint32_t prefix, uint32_t symbol, uint32_t code) {
        b_.slots[slot] = (prefix << 8 | symbol) << 12 | code;
        const uint32_t run = b_.runOf[prefix];
        if (run == 0 || (run & 0xFF) != symbol) {
            b_.runOf[code] = 0;
            return;
        }
        // prefix is the longest run of `symbol` (else this string would be present).
        const uint32_t length = (run >> 8) + 1;
        b_.runOf[code] = length << 8 | symbol;
        b_.runTop[symbol] = static_cast<uint16_t>(length);
        b_.runTopCode[symbol] = static_cast<uint16_t>(code);
        if (length < EncoderBlock::kRunCodes) {
            b_.runCode[length][symbol] = static_cast<uint16_t>(code);
        }
    }

    // When `prefix` is a run of *in that the table extends, matches as many of the
    // bytes from `in` as the table allows and returns the position after them, with
    // `prefix` the code of the longer run. Otherwise returns `in`.
    const unsigned char* ExtendRun(uint32_t& prefix, const unsigned char* in,
                                   const unsigned char* end) const {
        const uint32_t run = b_.runOf[prefix];
        const uint32_t byte = *in;
        if (run == 0 || (run & 0xFF) != byte) {
            return in;
        }
        const uint32_t length = run >> 8;
        const uint32_t top = b_.runTop[byte];
        if (length >= top) {
            return in;
        }
        // The run goes to the top when the input holds that many more bytes; a shorter
        // one needs a length with its own entry.
        const uint32_t reach = top - length;
        const size_t avail = static_cast<size_t>(end - in);
        const unsigned char* p = in;
        const unsigned char* const stop = in + std::min<size_t>(reach, avail);
        while (p != stop && *p == byte) {
            ++p;
        }
        uint32_t target = length + static_cast<uint32_t>(p - in);
        if (target == top) {
            prefix = b_.runTopCode[byte];
            return p;
        }
        if (target >= EncoderBlock::kRunCodes) {
            if (length + 1 >= EncoderBlock::kRunCodes) {
                return in;
            }
            target = EncoderBlock::kRunCodes - 1;
        }
        prefix = b_.runCode[target][byte];
        return in + (target - length);
    }

private:
    static constexpr uint32_t kSlotMask = EncoderBlock::kHashSize - 1;

    EncoderBlock& b_;
};

// The codes after a string that the table does not extend: the string's code, then a
// new entry, or a clear code when the table is full.
struct CodeState {
    uint32_t nextFree, width, threshold;
};

template <typename Writer>
[[gnu::always_inline]] inline void EndString(ZypLzwState& s, EncoderBlock& b, Writer& writer, CodeState& c,
                                             uint32_t prefix, uint32_t symbol, uint32_t slot) {
    writer.Put(prefix, c.width);
    if (c.nextFree == kTableSize) {
        writer.Put(s.clearCode, c.width);
        c.nextFree = s.firstFree;
        c.width = s.initialWidth;
        c.threshold = 1u << c.width;
        Dictionary::Reset(b);
    } else {
        Dictionary(b).Add(slot, prefix, symbol, c.nextFree);
        WidenAfterAdding(c.nextFree, s.earlyChange, c.width, c.threshold);
        ++c.nextFree;
    }
    writer.Drain();
}

// Writes the clear code a stream starts with; false when the output is full.
template <typename Writer>
bool Start(ZypLzwState& s, Writer& writer) {
    writer.Drain();
    if (s.state == ZYPLZW_STATE_START) {
        writer.Put(s.clearCode, s.codeWidth);
        s.state = ZYPLZW_STATE_WORKING;
        writer.Drain();
    }
    return writer.count < 8;
}

template <typename Writer>
void StoreCodes(ZypLzwState& s, Writer& writer, const CodeState& c, uint32_t prefix) {
    s.inRemaining = static_cast<uint32_t>(s.inEnd - s.inPos);
    s.prefix = prefix;
    s.nextFree = c.nextFree;
    s.codeWidth = c.width;
    s.threshold = c.threshold;
    writer.Store();
}

// Pixels and predictor differences: one symbol at a time from the source.
template <typename Packing, typename Source>
int EncodeLoop(ZypLzwState& s, EncoderBlock& b, Source& source) {
    CodeWriter<Packing> writer(s);
    CodeState c{s.nextFree, s.codeWidth, s.threshold};
    uint32_t prefix = s.prefix;
    const Dictionary dict(b);
    int result = ZYPLZW_OUTPUT_FULL;
    if (Start(s, writer)) {
        for (;;) {
            uint32_t symbol;
            if (!source.Next(symbol)) {
                result = ZYPLZW_INPUT_USED;
                break;
            }
            if (prefix == kNoCode) {
                prefix = symbol;
                continue;
            }
            uint32_t slot;
            const uint32_t code = dict.Find(prefix, symbol, slot);
            if (code != 0) {
                prefix = code;
                continue;
            }
            EndString(s, b, writer, c, prefix, symbol, slot);
            prefix = symbol;
            if (writer.count >= 8) {
                break;
            }
        }
    }
    source.Store(s);
    StoreCodes(s, writer, c, prefix);
    return result;
}

bool SameEightBytes(const unsigned char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word == (word & 0xFF) * 0x0101010101010101u;
}

// Bytes (modes 2 and 1 at 8 bits), with runs matched by counting.
template <typename Packing>
int EncodeBytes(ZypLzwState& s, EncoderBlock& b) {
    CodeWriter<Packing> writer(s);
    CodeState c{s.nextFree, s.codeWidth, s.threshold};
    uint32_t prefix = s.prefix;
    const Dictionary dict(b);
    const unsigned char* in = s.inPos;
    const unsigned char* const end = s.inEnd;
    int result = ZYPLZW_OUTPUT_FULL;
    if (Start(s, writer)) {
        if (prefix == kNoCode && in != end) {
            prefix = *in++;
        }
        for (;;) {
            // A run starts right after a string ends (or goes on after a counted part),
            // so the run test comes once per code; counting pays only on long runs.
            if (end - in >= 8 && SameEightBytes(in)) {
                const unsigned char* after = dict.ExtendRun(prefix, in, end);
                if (after != in) {
                    in = after;
                    continue;
                }
            }
            // Follow the table until the string ends (code 0) or the input does.
            uint32_t symbol = 0, slot = 0, code = kNoCode;
            while (in != end) {
                symbol = *in++;
                code = dict.Find(prefix, symbol, slot);
                if (code == 0) {
                    break;
                }
                prefix = code;
            }
            if (code != 0) {
                result = ZYPLZW_INPUT_USED;
                break;
            }
            EndString(s, b, writer, c, prefix, symbol, slot);
            prefix = symbol;
            if (writer.count >= 8) {
                break;
            }
        }
    }
    s.inPos = in;
    StoreCodes(s, writer, c, prefix);
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
    return EncodeBytes<Packing>(s, b);
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
    return InitWithNewBlock(state, mode, NewEncoderBlock, [](ZypLzwState& s, EncoderBlock& b) {
        RestartRecord(s, true);
        Dictionary::Reset(b);
    });
}

ZYPLZW_API int ZypLzwEncodeInitNoMalloc(ZypLzwState* state) {
    EncoderBlock* block = EncoderOf(state);
    if (block == nullptr || !ValidMode(state->mode) || !ValidBits(state->bitsPerSample)) {
        return ZYPLZW_CALLER_ERROR;
    }
    RestartRecord(*state, true);
    Dictionary::Reset(*block);
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
