// LZW decoder: codes from the input, bytes (or packed pixels) to the output, resumable
// at any byte. Every code is checked against the table before it is used.
#include "code_reader.h"
#include "lzw_detail.h"

#include <algorithm>
#include <cstring>

namespace zyplzw::detail {
namespace {

enum class Delivery { Plain, Predictor, Pixels };

constexpr uint32_t kIndexMask = kTableSize - 1;

void InitRoots(DecoderBlock& b, uint32_t clearCode) {
    for (uint32_t code = 0; code < kTableSize; ++code) {
        const bool root = code < clearCode;
        const auto value = static_cast<uint8_t>(root ? code : 0);
        b.table[code] = {uint64_t{value} << ChunkShift(0), static_cast<uint16_t>(root ? 1 : 0), 0, value};
    }
}

// Offset of the last chunk of a string of `length` bytes (1 or more).
uint32_t LastChunkStart(uint32_t length) { return (length - 1) & ~7u; }

// Adds entry `added`: the string of `prefix` followed by the first byte of `code`'s
// string, which for code == added (the string not yet in the table) is the first byte
// of `prefix`'s own. Inlined by force: it runs once per code.
[[gnu::always_inline]] inline void AddEntry(DecoderEntry* t, uint32_t added, uint32_t prefix, uint32_t code) {
    const DecoderEntry before = t[prefix];
    const uint8_t tail = code == added ? before.first : t[code].first;
    const uint32_t used = before.length % 8;  // bytes in the prefix's last chunk, 0 if full
    DecoderEntry& entry = t[added];
    if (used != 0) {
        entry.chunk = before.chunk | uint64_t{tail} << ChunkShift(used);
        entry.ancestor = before.ancestor;
    } else {
        // The prefix ends on a chunk boundary: a new chunk starts after all of it.
        entry.chunk = uint64_t{tail} << ChunkShift(0);
        entry.ancestor = static_cast<uint16_t>(prefix);
    }
    entry.length = static_cast<uint16_t>(before.length + 1);
    entry.first = before.first;
}

// Writes the string of `code`, of `length` bytes (1 to kStagingSize), at dest, and up to
// 7 scratch bytes after it: the last chunk first, then whole chunks back to the start.
// The ancestor index is masked and the offset only falls, so whatever the table holds
// the stores stay within dest[0, length + 7).
[[gnu::always_inline]] inline void WriteWithScratch(const DecoderEntry* t, uint32_t code, uint32_t length,
                                                    uint8_t* dest) {
    uint32_t at = LastChunkStart(length);
    uint32_t c = code;
    std::memcpy(dest + at, &t[c].chunk, 8);
    while (at != 0) {
        c = t[c].ancestor & kIndexMask;
        at -= 8;
        std::memcpy(dest + at, &t[c].chunk, 8);
    }
}

// Writes exactly the `length` bytes (1 to kStagingSize) of the string of `code` at dest.
void WriteExact(const DecoderEntry* t, uint32_t code, uint32_t length, uint8_t* dest) {
    uint32_t at = LastChunkStart(length);
    uint32_t c = code;
    std::memcpy(dest + at, &t[c].chunk, length - at);
    while (at != 0) {
        c = t[c].ancestor & kIndexMask;
        at -= 8;
        std::memcpy(dest + at, &t[c].chunk, 8);
    }
}

template <bool kMsbFirst, Delivery kDelivery>
class DecodeRun {
public:
    DecodeRun(ZypLzwState& s, DecoderBlock& b)
        : s_(s),
          b_(b),
          acc_(s.bitBuffer),
          count_(s.bitCount),
          in_(s.inPos),
          inEnd_(s.inEnd),
          out_(s.outPos),
          outEnd_(s.outEnd),
          prefix_(s.prefix),
          nextFree_(s.nextFree),
          width_(s.codeWidth),
          threshold_(s.threshold) {}

    int Run() {
        const int result = Loop();
        Store();
        return result;
    }

    int Flush() {
        int result = ZYPLZW_OUTPUT_FULL;
        if (DeliverStaged()) {
            if (kDelivery != Delivery::Pixels || s_.pixelBits == 0) {
                result = ZYPLZW_OK;
            } else if (out_ != outEnd_) {
                *out_++ = static_cast<uint8_t>(s_.pixelByte);
                s_.pixelByte = 0;
                s_.pixelBits = 0;
                result = ZYPLZW_OK;
            }
        }
        Store();
        return result;
    }

private:
    // The code loop works on local copies: every byte it stores could alias the record
    // or the block, so members would be reloaded after each one.
    int Loop() {
        if (b_.stagedPos != b_.stagedEnd && !DeliverStaged()) {
            return ZYPLZW_OUTPUT_FULL;
        }
        if (s_.state == ZYPLZW_STATE_ENDED) {
            return ZYPLZW_END_CODE;
        }
        if (s_.state == ZYPLZW_STATE_FAILED) {
            return ZYPLZW_BAD_STREAM;
        }
        CodeReader<kMsbFirst> reader(acc_, count_, in_, inEnd_);
        uint32_t prefix = prefix_, nextFree = nextFree_;
        uint32_t width = width_, threshold = threshold_;
        unsigned char* out = out_;
        unsigned char* const outEnd = outEnd_;
        const uint32_t clear = s_.clearCode, end = s_.endCode, early = s_.earlyChange;
        DecoderEntry* const table = b_.table;
        bool started = s_.state != ZYPLZW_STATE_START;
        int result;
        for (;;) {
            if (!reader.Fill(width)) {
                result = ZYPLZW_INPUT_USED;
                break;
            }
            const uint32_t code = reader.Take(width);
            // Clear and end codes, codes beyond the table, the first code after a clear
            // and anything before the first clear are rare; one test sends them all off
            // the main road.
            if (code - clear < 2 || code > nextFree || prefix == kNoCode || !started) [[unlikely]] {
                if (code == clear) {
                    nextFree = s_.firstFree;
                    width = s_.initialWidth;
                    threshold = 1u << width;
                    prefix = kNoCode;
                    started = true;
                    s_.state = ZYPLZW_STATE_WORKING;
                    continue;
                }
                if (!started || code == end) {
                    // The stream must open with a clear code; the end code ends it.
                    result = started ? ZYPLZW_END_CODE : ZYPLZW_BAD_STREAM;
                    s_.state = started ? ZYPLZW_STATE_ENDED : ZYPLZW_STATE_FAILED;
                    break;
                }
                // Beyond the next free code, or not a root right after a clear.
                if (prefix != kNoCode || code >= clear) {
                    result = Fail();
                    break;
                }
            } else if (nextFree < kTableSize) {
                // A full table takes no more entries until the next clear code.
                AddEntry(table, nextFree, prefix, code);
                WidenAfterAdding(nextFree, early, width, threshold);
                ++nextFree;
            }
            prefix = code;
            const uint32_t length = table[code].length;
            if (length - 1 >= kStagingSize) {
                result = Fail();  // only a damaged table holds such a length
                break;
            }
            const auto room = static_cast<size_t>(outEnd - out);
            if (kDelivery != Delivery::Pixels && length <= room) {
                // Straight into the caller's buffer; the staged path only near its end.
                // The last chunk's store ends at most 7 bytes past the string.
                if (length + 7 <= room) {
                    WriteWithScratch(table, code, length, out);
                } else {
                    WriteExact(table, code, length, out);
                }
                if (kDelivery == Delivery::Predictor) {
                    UndoPredictor(out, out, length);
                }
                out += length;
                continue;
            }
            WriteExact(table, code, length, b_.staging);
            b_.stagedPos = 0;
            b_.stagedEnd = length;
            out_ = out;
            const bool delivered = DeliverStaged();
            out = out_;
            if (!delivered) {
                result = ZYPLZW_OUTPUT_FULL;
                break;
            }
        }
        // A used-up input has been read to its end; otherwise give back what was read
        // ahead of the last code.
        if (result != ZYPLZW_INPUT_USED) {
            reader.GiveBack();
        }
        acc_ = reader.Bits();
        count_ = reader.Count();
        in_ = reader.Position();
        prefix_ = prefix;
        nextFree_ = nextFree;
        width_ = width;
        threshold_ = threshold;
        out_ = out;
        return result;
    }

    void UndoPredictor(const uint8_t* from, uint8_t* to, uint32_t n) {
        uint8_t* history = b_.history.data();
        const auto samples = static_cast<uint32_t>(s_.samplesPerPixel);
        const uint64_t rowBytes = RowBytes(s_);
        uint32_t rowDone = s_.rowDone;
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t channel = rowDone % samples;
            const auto value = static_cast<uint8_t>(from[i] + history[channel]);
            to[i] = value;
            history[channel] = value;
            ++rowDone;
            if (rowBytes == 0) {
                rowDone %= samples;
            } else if (rowDone >= rowBytes) {
                rowDone = 0;
                std::memset(history, 0, samples);
            }
        }
        s_.rowDone = rowDone;
    }

    // Moves staged bytes to the output as far as it goes; true when none are left.
    bool DeliverStaged() {
        if (kDelivery == Delivery::Pixels) {
            return PackStaged();
        }
        const uint32_t n =
            std::min<uint32_t>(b_.stagedEnd - b_.stagedPos, static_cast<uint32_t>(outEnd_ - out_));
        const uint8_t* from = b_.staging + b_.stagedPos;
        if (kDelivery == Delivery::Predictor) {
            UndoPredictor(from, out_, n);
        } else if (n != 0) {
            std::memcpy(out_, from, n);
        }
        out_ += n;
        b_.stagedPos += n;
        return b_.stagedPos == b_.stagedEnd;
    }

    // Mode 1 below 8 bits: pixels into bytes from the high bits down, a row ends its byte.
    bool PackStaged() {
        const auto bits = static_cast<uint32_t>(s_.bitsPerSample);
        const uint32_t mask = (1u << bits) - 1;
        const uint32_t rowLength = s_.rowLength;
        while (b_.stagedPos != b_.stagedEnd) {
            const bool rowEnd = rowLength != 0 && s_.rowDone + 1 >= rowLength;
            const bool completes = s_.pixelBits + bits == 8 || rowEnd;
            if (completes && out_ == outEnd_) {
                return false;
            }
            const uint32_t pixel = b_.staging[b_.stagedPos++] & mask;
            s_.pixelByte |= pixel << (8 - s_.pixelBits - bits);
            s_.pixelBits += bits;
            s_.rowDone = rowEnd ? 0 : (rowLength != 0 ? s_.rowDone + 1 : 0);
            if (completes) {
                *out_++ = static_cast<uint8_t>(s_.pixelByte);
                s_.pixelByte = 0;
                s_.pixelBits = 0;
            }
        }
        return true;
    }

    int Fail() {
        s_.state = ZYPLZW_STATE_FAILED;
        return ZYPLZW_BAD_STREAM;
    }

    void Store() {
        s_.bitBuffer = acc_;
        s_.bitCount = count_;
        s_.inPos = in_;
        s_.inRemaining = static_cast<uint32_t>(inEnd_ - in_);
        s_.outPos = out_;
        s_.outRemaining = static_cast<uint32_t>(outEnd_ - out_);
        s_.prefix = prefix_;
        s_.nextFree = nextFree_;
        s_.codeWidth = width_;
        s_.threshold = threshold_;
    }

    ZypLzwState& s_;
    DecoderBlock& b_;
    uint32_t acc_, count_;
    const unsigned char* in_;
    const unsigned char* const inEnd_;
    unsigned char* out_;
    unsigned char* const outEnd_;
    uint32_t prefix_, nextFree_, width_, threshold_;
};

template <bool kMsbFirst, Delivery kDelivery>
int RunOrFlush(ZypLzwState& s, DecoderBlock& b, bool flush) {
    DecodeRun<kMsbFirst, kDelivery> run(s, b);
    return flush ? run.Flush() : run.Run();
}

int Dispatch(ZypLzwState& s, DecoderBlock& b, bool flush) {
    if (s.mode == ZYPLZW_MODE_TIFF_PREDICTOR) {
        return RunOrFlush<true, Delivery::Predictor>(s, b, flush);
    }
    if (s.mode == ZYPLZW_MODE_TIFF) {
        return RunOrFlush<true, Delivery::Plain>(s, b, flush);
    }
    if (s.bitsPerSample == 8) {
        return RunOrFlush<false, Delivery::Plain>(s, b, flush);
    }
    return RunOrFlush<false, Delivery::Pixels>(s, b, flush);
}

DecoderBlock* SaneDecoder(ZypLzwState* state) {
    DecoderBlock* block = DecoderOf(state);
    if (block == nullptr || !RecordIsSane(*state, false, block->history.size()) ||
        block->stagedPos > block->stagedEnd || block->stagedEnd > kStagingSize) {
        return nullptr;
    }
    return block;
}

void Restart(ZypLzwState& s, DecoderBlock& b) {
    RestartRecord(s, false);
    InitRoots(b, s.clearCode);
    b.stagedPos = 0;
    b.stagedEnd = 0;
    std::fill(b.history.begin(), b.history.end(), 0);
}

}  // namespace
}  // namespace zyplzw::detail

using namespace zyplzw::detail;

extern "C" {

ZYPLZW_API int ZypLzwDecodeInit(ZypLzwState* state, int mode) {
    return InitWithNewBlock(state, mode, NewDecoderBlock, Restart);
}

ZYPLZW_API int ZypLzwDecodeInitNoMalloc(ZypLzwState* state) {
    DecoderBlock* block = DecoderOf(state);
    if (block == nullptr || !ValidMode(state->mode) || !ValidBits(state->bitsPerSample)) {
        return ZYPLZW_CALLER_ERROR;
    }
    Restart(*state, *block);
    return ZYPLZW_OK;
}

ZYPLZW_API int ZypLzwDecodeSetBitsPerSample(ZypLzwState* state, int bits) {
    DecoderBlock* block = SaneDecoder(state);
    if (block == nullptr || !ValidBits(bits) || state->state != ZYPLZW_STATE_START) {
        return ZYPLZW_CALLER_ERROR;
    }
    state->bitsPerSample = bits;
    Restart(*state, *block);
    return ZYPLZW_OK;
}

ZYPLZW_API int ZypLzwDecodeSetSamplesPerPixel(ZypLzwState* state, int samples) {
    DecoderBlock* block = SaneDecoder(state);
    if (block == nullptr) {
        return ZYPLZW_CALLER_ERROR;
    }
    return SetSamples(*state, block->history, samples);
}

ZYPLZW_API int ZypLzwDecodeInitInputData(ZypLzwState* state, uint32_t length, const unsigned char* data) {
    if (SaneDecoder(state) == nullptr) {
        return ZYPLZW_CALLER_ERROR;
    }
    return SetInput(state, length, data);
}

ZYPLZW_API int ZypLzwDecodeInitOutputData(ZypLzwState* state, uint32_t length, unsigned char* buffer) {
    if (SaneDecoder(state) == nullptr) {
        return ZYPLZW_CALLER_ERROR;
    }
    return SetOutput(state, length, buffer);
}

ZYPLZW_API int ZypLzwDecode(ZypLzwState* state) {
    DecoderBlock* block = SaneDecoder(state);
    if (block == nullptr) {
        return ZYPLZW_CALLER_ERROR;
    }
    return Dispatch(*state, *block, false);
}

ZYPLZW_API int ZypLzwDecodeFlush(ZypLzwState* state) {
    DecoderBlock* block = SaneDecoder(state);
    if (block == nullptr) {
        return ZYPLZW_CALLER_ERROR;
    }
    return Dispatch(*state, *block, true);
}

ZYPLZW_API int ZypLzwDecodeDone(ZypLzwState* state) {
    if (DecoderOf(state) == nullptr) {
        return ZYPLZW_CALLER_ERROR;
    }
    FreeBlock(state);
    return ZYPLZW_OK;
}

}  // extern "C"
