// LZW stream encoder: open-addressing string table, codes packed in groups of eight,
// the table cleared exactly when it is full.
#include "allocation_hook.h"
#include "lzw_codec.h"

#include <algorithm>
#include <cstring>
#include <new>

using namespace arc_compress::detail;
using Slot = ArcLZWEncoder::Slot;

namespace {

constexpr uint32_t kEmptySlot = 0xFFFFFFFFu;
constexpr uint32_t kHashSizes[] = {631, 1277, 2503, 5003, 10007, 20011, 40031, 80071};

// Room a single input byte may need at most (last code, clear code, two padded groups,
// header): below this the coder checks for held-back bytes after every byte.
constexpr uint32_t kRoomPerByte = 40;
// Room the fast coder keeps free: a code and a clear code (4 bytes each as whole words)
// and two padded groups (17 bytes each) fit with room to spare.
constexpr uint32_t kFastRoom = 64;

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

void ClearSlots(ArcLZWEncoder& e) { std::fill(e.slots.begin(), e.slots.end(), Slot{kEmptySlot, 0}); }

void ResetCoding(ArcLZWEncoder& e) {
    e.state = ArcLZWEncoder::kStart;
    e.width = kMinWidth;
    e.highest = HighestCode(kMinWidth, e.maxWidth);
    e.tableLimit = 1u << e.maxWidth;
    e.nextFree = kFirstFree;
    e.hashShift = e.maxWidth - 8;
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

// Finds the code of prefix + c; on a miss *slot is the empty slot where it belongs.
inline bool Lookup(const Slot* slots, uint32_t hashSize, int shift, uint32_t prefix, uint32_t c,
                   uint32_t* slot, uint32_t* code) {
    const uint32_t key = (c << 16) | prefix;
    uint32_t i = (c << shift) ^ prefix;
    if (slots[i].key != key && slots[i].key != kEmptySlot) {
        const uint32_t step = i == 0 ? 1 : hashSize - i;
        do {
            i = i >= step ? i - step : i + hashSize - step;
        } while (slots[i].key != key && slots[i].key != kEmptySlot);
    }
    *slot = i;
    if (slots[i].key != key) return false;
    *code = slots[i].code;
    return true;
}

// Codes input[pos..length) straight into the caller's output while it has room for all
// that one input byte can produce. The bits wait in a local word and go out four whole
// bytes at a time; the rest of the state stays in locals until the loop ends.
uint32_t CodeBytesFast(ArcLZWEncoder& e, const unsigned char* input, uint32_t pos, uint32_t length) {
    if (HasHeld(e) || e.outSize - e.outPos < kFastRoom) return pos;
    Slot* const slots = e.slots.data();
    const uint32_t hashSize = e.hashSize;
    const int shift = e.hashShift;
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
        uint32_t slot = 0;
        uint32_t code = 0;
        if (Lookup(slots, hashSize, shift, prefix, c, &slot, &code)) {
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
            slots[slot] = Slot{(c << 16) | prefix, nextFree++};
        } else {
            ClearSlots(e);
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
    Slot* const slots = e.slots.data();
    while (pos < length) {
        if (e.outSize - e.outPos < kRoomPerByte && HasHeld(e)) break;
        const uint32_t c = input[pos++];
        uint32_t slot = 0;
        uint32_t code = 0;
        if (Lookup(slots, e.hashSize, e.hashShift, e.prefix, c, &slot, &code)) {
            e.prefix = code;
            continue;
        }
        PutCode(e, e.prefix);
        if (e.nextFree < e.tableLimit) {
            slots[slot] = Slot{(c << 16) | e.prefix, e.nextFree++};
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
        e->hashSize = kHashSizes[width - kMinWidth];
        e->slots.resize(e->hashSize);
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
