// LZW stream encoder: codes packed in groups of eight, the string table cleared exactly
// when it is full. The stream depends only on which strings the table holds, never on
// how it stores them or on how input and output are split.
#include "allocation_hook.h"
#include "lzw_codec.h"

#include <algorithm>
#include <cstring>
#include <new>

using namespace arc_compress::detail;

namespace {

// Room a single input byte may need at most (last code, clear code, two padded groups,
// header): below this the coder checks for held-back bytes after every byte.
constexpr uint32_t kRoomPerByte = 40;
// Room the fast coder keeps free: a code and a clear code (4 bytes each as whole words)
// and two padded groups (17 bytes each) fit with room to spare.
constexpr uint32_t kFastRoom = 64;
constexpr uint32_t kLastGeneration = 255;
constexpr uint32_t kHashFactor = 0x9E3779B1u;

inline bool HasHeld(const ArcLZWEncoder& e) { return e.held.size() > e.heldStart; }

inline void EmitByte(ArcLZWEncoder& e, unsigned char b) {
    if (!HasHeld(e) && e.outPos < e.outSize) {
        e.out[e.outPos++] = b;
        return;
    }
    e.held.push_back(b);
}

inline void EmitWholeBytes(ArcLZWEncoder& e) {
    while (e.bitCount >= 8) {
        EmitByte(e, static_cast<unsigned char>(e.bitBuffer));
        e.bitBuffer >>= 8;
        e.bitCount -= 8;
    }
}

// Pads the current group to all of its `width` bytes, so the reader can begin the next
// group at a byte boundary whatever the output split.
void CloseGroup(ArcLZWEncoder& e) {
    if (e.codesInGroup != 0) {
        e.bitCount += (kCodesPerGroup - e.codesInGroup) * e.width;
        while (e.bitCount >= 8) EmitWholeBytes(e);
        e.codesInGroup = 0;
    }
}

inline void PutCode(ArcLZWEncoder& e, uint32_t code) {
    e.bitBuffer |= static_cast<uint64_t>(code) << e.bitCount;
    e.bitCount += e.width;
    EmitWholeBytes(e);
    if (++e.codesInGroup == kCodesPerGroup) e.codesInGroup = 0;
    if (code == kClearCode) {
        CloseGroup(e);
        e.width = kMinWidth;
        e.highest = HighestCode(e.width, e.maxWidth);
    } else if (e.nextFree > e.highest) {
        CloseGroup(e);
        ++e.width;
        e.highest = HighestCode(e.width, e.maxWidth);
    }
}

void FlushPartialGroup(ArcLZWEncoder& e) {
    if (e.bitCount > 0) EmitByte(e, static_cast<unsigned char>(e.bitBuffer));
    e.bitBuffer = 0;
    e.bitCount = 0;
    e.codesInGroup = 0;
}

void DrainHeld(ArcLZWEncoder& e) {
    const uint32_t waiting = static_cast<uint32_t>(e.held.size()) - e.heldStart;
    const uint32_t n = std::min(waiting, e.outSize - e.outPos);
    if (n > 0) {
        std::memcpy(e.out + e.outPos, e.held.data() + e.heldStart, n);
        e.outPos += n;
        e.heldStart += n;
    }
    if (!HasHeld(e)) {
        e.held.clear();
        e.heldStart = 0;
    }
}

// Empties the table by starting a new generation; only when the 8-bit generation
// runs out are the slots really wiped.
void ClearSlots(ArcLZWEncoder& e) {
    if (++e.generation > kLastGeneration) {
        std::fill(e.pairs.begin(), e.pairs.end(), 0u);
        std::fill(e.keys.begin(), e.keys.end(), 0u);
        e.generation = 1;
    }
}

void ResetCoding(ArcLZWEncoder& e) {
    e.state = ArcLZWEncoder::kStart;
    e.width = kMinWidth;
    e.highest = HighestCode(kMinWidth, e.maxWidth);
    e.tableLimit = 1u << e.maxWidth;
    e.nextFree = kFirstFree;
    e.hashShift = 32 - (e.maxWidth + 1);
    e.prefix = 0;
    e.bitBuffer = 0;
    e.bitCount = 0;
    e.codesInGroup = 0;
    e.out = nullptr;
    e.outSize = e.outPos = 0;
    e.held.clear();
    e.heldStart = 0;
    e.inPos = 0;
    e.inputPending = false;
    ClearSlots(e);
}

// The string table as the coding loops see it. Strings of two bytes sit in a direct
// table by their bytes; longer ones in a hash table at most half full (multiplicative
// hash, linear probing, so a probe rarely leaves its cache line). An entry of another
// generation is empty.
struct Table {
    uint32_t* pairs;
    uint32_t* keys;
    uint16_t* codes;
    uint32_t mask;
    int shift;
    uint32_t generation;

    // Finds the code of prefix + c; on a miss *slot is where Add puts it.
    bool Find(uint32_t prefix, uint32_t c, uint32_t* slot, uint32_t* code) const {
        if (prefix < 256) {
            const uint32_t i = (prefix << 8) | c;
            *slot = i;
            if (pairs[i] >> 16 != generation) return false;
            *code = pairs[i] & 0xFFFF;
            return true;
        }
        const uint32_t key = (generation << 24) | (c << 16) | prefix;
        uint32_t i = (key * kHashFactor) >> shift;
        for (uint32_t other; (other = keys[i] ^ key) != 0; i = (i + 1) & mask) {
            if (other >> 24 != 0) {
                *slot = i;
                return false;
            }
        }
        *code = codes[i];
        return true;
    }

    void Add(uint32_t prefix, uint32_t c, uint32_t slot, uint32_t code) {
        if (prefix < 256) {
            pairs[slot] = (generation << 16) | code;
        } else {
            keys[slot] = (generation << 24) | (c << 16) | prefix;
            codes[slot] = static_cast<uint16_t>(code);
        }
    }
};

Table TableOf(ArcLZWEncoder& e) {
    return Table{e.pairs.data(), e.keys.data(), e.codes.data(), e.hashSize - 1, e.hashShift, e.generation};
}

// Codes input[pos..length) straight into the caller's output while it has room for all
// that one input byte can produce. The bits wait in a local word and go out four whole
// bytes at a time; the rest of the state stays in locals until the loop ends.
uint32_t CodeBytesFast(ArcLZWEncoder& e, const unsigned char* input, uint32_t pos, uint32_t length) {
    if (HasHeld(e) || e.outSize - e.outPos < kFastRoom) return pos;
    Table table = TableOf(e);
    const uint32_t tableLimit = e.tableLimit;
    const int maxWidth = e.maxWidth;
    uint32_t prefix = e.prefix;
    uint32_t nextFree = e.nextFree;
    uint32_t highest = e.highest;
    int width = e.width;
    int codesInGroup = e.codesInGroup;
    uint64_t bits = e.bitBuffer;
    int bitCount = e.bitCount;  // below 32 between codes
    unsigned char* op = e.out + e.outPos;
    unsigned char* const fastEnd = e.out + e.outSize - kFastRoom;

    const auto put = [&](uint32_t code) {
        bits |= static_cast<uint64_t>(code) << bitCount;
        bitCount += width;
        if (bitCount >= 32) {
            const uint32_t word = static_cast<uint32_t>(bits);
            op[0] = static_cast<unsigned char>(word);
            op[1] = static_cast<unsigned char>(word >> 8);
            op[2] = static_cast<unsigned char>(word >> 16);
            op[3] = static_cast<unsigned char>(word >> 24);
            op += 4;
            bits >>= 32;
            bitCount -= 32;
        }
        if (++codesInGroup == kCodesPerGroup) codesInGroup = 0;
    };
    const auto closeGroup = [&] {
        if (codesInGroup != 0) bitCount += (kCodesPerGroup - codesInGroup) * width;
        while (bitCount >= 8) {
            *op++ = static_cast<unsigned char>(bits);
            bits >>= 8;
            bitCount -= 8;
        }
        codesInGroup = 0;
    };

    while (pos < length) {
        const uint32_t c = input[pos];
        // Should c end the string, c and the byte after it are looked up next: fetch
        // that entry early (on data that hardly compresses most strings are short).
        if (pos + 1 < length) __builtin_prefetch(&table.pairs[(c << 8) | input[pos + 1]]);
        uint32_t slot = 0;
        uint32_t code = 0;
        if (table.Find(prefix, c, &slot, &code)) {
            prefix = code;
            ++pos;
            continue;
        }
        if (op > fastEnd) break;
        ++pos;
        put(prefix);
        if (nextFree > highest) {
            closeGroup();
            ++width;
            highest = HighestCode(width, maxWidth);
        }
        if (nextFree < tableLimit) {
            table.Add(prefix, c, slot, nextFree++);
        } else {
            ClearSlots(e);
            table.generation = e.generation;
            nextFree = kFirstFree;
            put(kClearCode);
            closeGroup();
            width = kMinWidth;
            highest = HighestCode(width, maxWidth);
        }
        prefix = c;
    }
    // Whole bytes out, so the record looks as the byte-wise coder leaves it.
    while (bitCount >= 8) {
        *op++ = static_cast<unsigned char>(bits);
        bits >>= 8;
        bitCount -= 8;
    }
    e.prefix = prefix;
    e.nextFree = nextFree;
    e.highest = highest;
    e.width = width;
    e.codesInGroup = codesInGroup;
    e.bitBuffer = bits;
    e.bitCount = bitCount;
    e.outPos = static_cast<uint32_t>(op - e.out);
    return pos;
}

// Codes input[pos..length) until the input is used up or bytes are held back; byte by
// byte through the record, for the last bytes of room in an output.
uint32_t CodeBytes(ArcLZWEncoder& e, const unsigned char* input, uint32_t pos, uint32_t length) {
    while (pos < length) {
        if (e.outSize - e.outPos < kRoomPerByte && HasHeld(e)) break;
        const uint32_t c = input[pos++];
        uint32_t slot = 0;
        uint32_t code = 0;
        if (TableOf(e).Find(e.prefix, c, &slot, &code)) {
            e.prefix = code;
            continue;
        }
        PutCode(e, e.prefix);
        if (e.nextFree < e.tableLimit) {
            TableOf(e).Add(e.prefix, c, slot, e.nextFree++);
        } else {
            ClearSlots(e);
            e.nextFree = kFirstFree;
            PutCode(e, kClearCode);
        }
        e.prefix = c;
    }
    return pos;
}

int Finish(ArcLZWEncoder& e, uint32_t* produced, int status) {
    *produced = e.outPos;
    e.out = nullptr;  // never keep the caller's buffer beyond the call
    e.outSize = e.outPos = 0;
    return status;
}

}  // namespace

int ArcLZW_EncodeInit(ArcLZWEncoder** encoder, int maxBits) {
    if (encoder == nullptr) return ARCLZW_BAD_STATE;
    const int width = ClampWidth(maxBits);
    ArcLZWEncoder* e = *encoder;
    try {
        if (e == nullptr) {
            CheckAllocation();
            e = new ArcLZWEncoder();
        }
        e->maxWidth = width;
        CheckAllocation();
        e->hashSize = 2u << width;  // twice the codes: at most half full
        e->pairs.assign(size_t{1} << 16, 0);
        e->keys.assign(e->hashSize, 0);
        e->codes.resize(e->hashSize);
        e->generation = 1;
        e->held.reserve(64);
    } catch (const std::bad_alloc&) {
        delete e;
        *encoder = nullptr;
        return ARCLZW_NO_MEMORY;
    }
    ResetCoding(*e);
    *encoder = e;
    return ARCLZW_OK;
}

int ArcLZW_Encode(ArcLZWEncoder* encoder, const unsigned char* input, uint32_t inputLength,
                  unsigned char* output, uint32_t outputSize, uint32_t* produced, int* status) {
    if (produced != nullptr) *produced = 0;
    if (status != nullptr) *status = 0;
    if (encoder == nullptr || produced == nullptr || status == nullptr) return ARCLZW_BAD_STATE;
    if ((input == nullptr && inputLength > 0) || (output == nullptr && outputSize > 0))
        return ARCLZW_BAD_STATE;
    ArcLZWEncoder& e = *encoder;
    if (e.state == ArcLZWEncoder::kEnded) {
        *status = ARCLZW_ENDED;
        return ARCLZW_AFTER_END;
    }
    if (e.state == ArcLZWEncoder::kCoding && e.inputPending && (inputLength == 0 || e.inPos > inputLength))
        return ARCLZW_BAD_STATE;  // after status 3 the same input must come again
    e.out = output;
    e.outSize = outputSize;
    e.outPos = 0;
    DrainHeld(e);

    switch (e.state) {
        case ArcLZWEncoder::kStart: {
            if (inputLength == 0) {
                // Nothing was ever coded: no header, no data.
                e.state = ArcLZWEncoder::kEnded;
                *status = Finish(e, produced, ARCLZW_ENDED);
                return ARCLZW_AFTER_END;
            }
            EmitByte(e, kMagic0);
            EmitByte(e, kMagic1);
            EmitByte(e, static_cast<unsigned char>(kBlockModeFlag | e.maxWidth));
            e.prefix = input[0];
            e.state = ArcLZWEncoder::kCoding;
            e.inPos = 1;
            e.inputPending = true;
            [[fallthrough]];
        }
        case ArcLZWEncoder::kCoding: {
            if (inputLength == 0) {
                PutCode(e, e.prefix);
                FlushPartialGroup(e);
                e.state = HasHeld(e) ? ArcLZWEncoder::kEnding : ArcLZWEncoder::kEnded;
                *status = Finish(e, produced, ARCLZW_OUTPUT_FULL);
                return ARCLZW_OK;
            }
            const uint32_t start = e.inputPending ? e.inPos : 0;
            uint32_t pos = CodeBytesFast(e, input, start, inputLength);
            if (!HasHeld(e)) pos = CodeBytes(e, input, pos, inputLength);
            if (pos < inputLength || HasHeld(e)) {
                e.inPos = pos;
                e.inputPending = true;
                *status = Finish(e, produced, ARCLZW_OUTPUT_FULL);
            } else {
                e.inPos = 0;
                e.inputPending = false;
                *status = Finish(e, produced, ARCLZW_INPUT_USED);
            }
            return ARCLZW_OK;
        }
        case ArcLZWEncoder::kEnding:
            if (!HasHeld(e)) e.state = ArcLZWEncoder::kEnded;
            *status = Finish(e, produced, ARCLZW_OUTPUT_FULL);
            return ARCLZW_OK;
        default: Finish(e, produced, 0); return ARCLZW_BAD_STATE;
    }
}

void ArcLZW_EncodeFree(ArcLZWEncoder* encoder) { delete encoder; }

int ArcLZW_PutCode(ArcLZWEncoder* encoder, int code) {
    if (encoder == nullptr) return 3;
    if (code < 0) {
        FlushPartialGroup(*encoder);
    } else {
        PutCode(*encoder, static_cast<uint32_t>(code) & ((1u << encoder->width) - 1));
    }
    return HasHeld(*encoder) ? 3 : 1;
}

void ArcLZW_ClearTable(ArcLZWEncoder* encoder) {
    if (encoder != nullptr) ClearSlots(*encoder);
}
