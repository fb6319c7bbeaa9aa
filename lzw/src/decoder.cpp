// LZW decoder: codes from the input, bytes (or packed pixels) to the output, resumable
// at any byte. Every code is checked against the table before it is used.
#include "bit_packing.h"
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
        b.table[code] = {static_cast<uint16_t>(kNoCode), static_cast<uint16_t>(root ? 1 : 0),
                         value, value};
        b.seenIn[code] = 0;
    }
}

template <typename Packing, Delivery kDelivery>
class DecodeRun {
public:
    DecodeRun(ZypLzwState& s, DecoderBlock& b)
        : s_(s), b_(b), acc_(s.bitBuffer), count_(s.bitCount), in_(s.inPos),
          inEnd_(s.inEnd), out_(s.outPos), outEnd_(s.outEnd), prefix_(s.prefix),
          nextFree_(s.nextFree), width_(s.codeWidth), threshold_(s.threshold) {}

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
        if (++b_.call == 0) {
            std::fill(std::begin(b_.seenIn), std::end(b_.seenIn), 0);
            b_.call = 1;
        }
        uint32_t acc = acc_, count = count_, prefix = prefix_, nextFree = nextFree_;
        uint32_t width = width_, threshold = threshold_;
        const unsigned char* in = in_;
        unsigned char* out = out_;
        const unsigned char* const inEnd = inEnd_;
        unsigned char* const outEnd = outEnd_;
        const uint32_t clear = s_.clearCode, end = s_.endCode, early = s_.earlyChange;
        DecoderEntry* const table = b_.table;
        const uint8_t** const seenAt = b_.seenAt;
        uint32_t* const seenIn = b_.seenIn;
        const uint32_t call = b_.call;
        // Copying pays for stamping the roots only when the output is large.
        const bool copying = kDelivery == Delivery::Plain && outEnd - out >= 4096;
        if (copying) {
            for (uint32_t root = 0; root < clear; ++root) {
                b_.rootBytes[root] = static_cast<uint8_t>(root);
                seenAt[root] = &b_.rootBytes[root];
                seenIn[root] = call;
            }
        }
        bool started = s_.state != ZYPLZW_STATE_START;
        const uint8_t* previous = nullptr;  // previous string, when written in this call
        int result;
        for (;;) {
            while (count < width && in != inEnd) {
                Packing::AddByte(acc, count, *in++);
            }
            if (count < width) {
                result = ZYPLZW_INPUT_USED;
                break;
            }
            const uint32_t code = Packing::TakeCode(acc, count, width);
            if (code == clear) {
                nextFree = s_.firstFree;
                width = s_.initialWidth;
                threshold = 1u << width;
                prefix = kNoCode;
                previous = nullptr;
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
            uint32_t added = kNoCode;
            if (prefix == kNoCode) {
                if (code >= clear) {
                    result = Fail();  // after a clear only a root can follow
                    break;
                }
            } else {
                if (code > nextFree || code == kTableSize) {
                    result = Fail();
                    break;
                }
                // A full table takes no more entries until the next clear code.
                if (nextFree < kTableSize) {
                    added = nextFree;
                    const DecoderEntry& before = table[prefix];
                    const uint8_t tail = code == added ? before.first : table[code].first;
                    DecoderEntry& entry = table[added];
                    entry.prefix = static_cast<uint16_t>(prefix);
                    entry.length = static_cast<uint16_t>(before.length + 1);
                    entry.suffix = tail;
                    entry.first = before.first;
                    seenIn[added] = 0;
                    WidenAfterAdding(added, early, width, threshold);
                    ++nextFree;
                }
            }
            prefix = code;
            const uint32_t length = table[code].length;
            if (length > kStagingSize) {
                result = Fail();
                break;
            }
            if (kDelivery != Delivery::Pixels && length <= static_cast<size_t>(outEnd - out)) {
                if (copying && seenIn[code] == call) {
                    // Short strings move as one 16-byte block while the buffer has room;
                    // the bytes past the string are rewritten by the codes that follow.
                    if (length <= 16 && outEnd - out >= 16) {
                        uint8_t block[16];
                        std::memcpy(block, seenAt[code], 16);
                        std::memcpy(out, block, 16);
                    } else {
                        std::memcpy(out, seenAt[code], length);
                    }
                } else {
                    Unwind(code, length, out);
                    if (kDelivery == Delivery::Predictor) {
                        UndoPredictor(out, out, length);
                    }
                }
                // The new entry is the previous string plus this one's first byte, and
                // both now lie side by side in the output.
                if (copying && added != kNoCode && previous != nullptr) {
                    seenAt[added] = previous;
                    seenIn[added] = call;
                }
                previous = out;
                out += length;
                continue;
            }
            previous = nullptr;
            Unwind(code, length, b_.staging);
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
        acc_ = acc;
        count_ = count;
        prefix_ = prefix;
        nextFree_ = nextFree;
        width_ = width;
        threshold_ = threshold;
        in_ = in;
        out_ = out;
        return result;
    }

    // Writes the string of `code` backwards from its last byte; indexes are masked so a
    // table damaged by a stray write can never send the walk outside it.
    void Unwind(uint32_t code, uint32_t length, uint8_t* dest) const {
        uint32_t c = code;
        for (uint32_t i = length; i-- > 0;) {
            const DecoderEntry& e = b_.table[c];
            dest[i] = e.suffix;
            c = e.prefix & kIndexMask;
        }
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
        const uint32_t n = std::min<uint32_t>(b_.stagedEnd - b_.stagedPos,
                                              static_cast<uint32_t>(outEnd_ - out_));
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

template <typename Packing, Delivery kDelivery>
int RunOrFlush(ZypLzwState& s, DecoderBlock& b, bool flush) {
    DecodeRun<Packing, kDelivery> run(s, b);
    return flush ? run.Flush() : run.Run();
}

int Dispatch(ZypLzwState& s, DecoderBlock& b, bool flush) {
    if (s.mode == ZYPLZW_MODE_TIFF_PREDICTOR) {
        return RunOrFlush<MsbFirst, Delivery::Predictor>(s, b, flush);
    }
    if (s.mode == ZYPLZW_MODE_TIFF) {
        return RunOrFlush<MsbFirst, Delivery::Plain>(s, b, flush);
    }
    if (s.bitsPerSample == 8) {
        return RunOrFlush<LsbFirst, Delivery::Plain>(s, b, flush);
    }
    return RunOrFlush<LsbFirst, Delivery::Pixels>(s, b, flush);
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
    if (state == nullptr || !ValidMode(mode)) {
        return ZYPLZW_CALLER_ERROR;
    }
    ClearRecord(*state, mode);
    DecoderBlock* block = NewDecoderBlock();
    if (block == nullptr) {
        return ZYPLZW_NO_MEMORY;
    }
    state->block = block;
    Restart(*state, *block);
    const int rc = SetSamples(*state, block->history, 1);
    if (rc != ZYPLZW_OK) {
        FreeBlock(state);
    }
    return rc;
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

ZYPLZW_API int ZypLzwDecodeInitInputData(ZypLzwState* state, uint32_t length,
                                         const unsigned char* data) {
    if (SaneDecoder(state) == nullptr) {
        return ZYPLZW_CALLER_ERROR;
    }
    return SetInput(state, length, data);
}

ZYPLZW_API int ZypLzwDecodeInitOutputData(ZypLzwState* state, uint32_t length,
                                          unsigned char* buffer) {
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
