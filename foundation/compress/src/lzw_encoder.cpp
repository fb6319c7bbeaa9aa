// LZW stream encoder: open-addressing string table, codes packed in groups of eight,
// the table cleared exactly when it is full.
#include "allocation_hook.h"
#include "lzw_codec.h"

#include <algorithm>
#include <cstring>
#include <new>

using namespace arc_compress::detail;

namespace {

constexpr uint32_t kEmptySlot = 0xFFFFFFFFu;
constexpr uint32_t kHashSizes[] = {631, 1277, 2503, 5003, 10007, 20011, 40031, 80071};

// Room a single input byte may need at most (last code, clear code, two padded groups,
// header): below this the coder checks for held-back bytes after every byte.
constexpr uint32_t kRoomPerByte = 40;

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

void ClearSlots(ArcLZWEncoder& e) { std::fill(e.hashKeys.begin(), e.hashKeys.end(), kEmptySlot); }

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

// Codes input[pos..length) until the input is used up or bytes are held back.
uint32_t CodeBytes(ArcLZWEncoder& e, const unsigned char* input, uint32_t pos, uint32_t length) {
    uint32_t* const keys = e.hashKeys.data();
    uint16_t* const codes = e.hashCodes.data();
    const uint32_t hashSize = e.hashSize;
    const int shift = e.hashShift;
    uint32_t prefix = e.prefix;
    while (pos < length) {
        if (e.outSize - e.outPos < kRoomPerByte && HasHeld(e)) break;
        const uint32_t c = input[pos++];
        const uint32_t key = (c << 16) | prefix;
        uint32_t slot = (c << shift) ^ prefix;
        if (keys[slot] == key) {
            prefix = codes[slot];
            continue;
        }
        if (keys[slot] != kEmptySlot) {
            const uint32_t step = slot == 0 ? 1 : hashSize - slot;
            bool found = false;
            do {
                slot = slot >= step ? slot - step : slot + hashSize - step;
                if (keys[slot] == key) {
                    found = true;
                    break;
                }
            } while (keys[slot] != kEmptySlot);
            if (found) {
                prefix = codes[slot];
                continue;
            }
        }
        PutCode(e, prefix);
        prefix = c;
        if (e.nextFree < e.tableLimit) {
            codes[slot] = static_cast<uint16_t>(e.nextFree++);
            keys[slot] = key;
        } else {
            ClearSlots(e);
            e.nextFree = kFirstFree;
            PutCode(e, kClearCode);
        }
    }
    e.prefix = prefix;
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
        e->hashKeys.resize(e->hashSize);
        e->hashCodes.resize(e->hashSize);
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
            const uint32_t pos = HasHeld(e) ? start : CodeBytes(e, input, start, inputLength);
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
