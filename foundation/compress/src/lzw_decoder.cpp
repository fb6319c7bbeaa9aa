// LZW stream decoder: header, the two code readers and the string table.
#include "allocation_hook.h"
#include "lzw_codec.h"

#include <algorithm>
#include <cstring>
#include <new>

using namespace arc_compress::detail;

namespace {

// Groups of eight codes each width holds between two widenings (widths 9 to 16).
constexpr uint32_t kGroupsPerWidth[] = {32, 64, 128, 256, 512, 1024, 2048, 4096};

constexpr int kMoreInput = -1;
constexpr int kEndOfData = -2;

void BeginGroup(ArcLZWDecoder& d) {
    d.groupLength = 0;
    d.groupBitPos = 0;
}

void SetWidth(ArcLZWDecoder& d, int width) {
    d.width = width;
    d.highest = HighestCode(width, d.streamWidth);
    d.groupsAtWidth = 0;
    BeginGroup(d);
}

// Both readers take codes from whole groups of `width` bytes (a shorter one only at the
// end of the data) and begin a new group after a clear and at every widening. They
// differ in how they see a widening coming: the padded reader from the table filling
// up, the reader of our own streams from the number of groups each width holds.
int ReadCode(ArcLZWDecoder& d, bool packed) {
    if (d.clearPending) {
        d.clearPending = false;
        SetWidth(d, kMinWidth);
    } else if (!packed && d.nextFree > d.highest && d.width < d.streamWidth) {
        SetWidth(d, d.width + 1);
    }
    const uint32_t width = static_cast<uint32_t>(d.width);
    if (d.groupLength == width && d.groupBitPos + width > width * 8) {
        // Group used up (what is left of it is padding).
        if (packed && d.width < d.streamWidth && d.groupsAtWidth >= kGroupsPerWidth[d.width - kMinWidth]) {
            SetWidth(d, d.width + 1);
        } else {
            BeginGroup(d);
        }
    }
    const uint32_t groupWidth = static_cast<uint32_t>(d.width);
    if (d.groupLength < groupWidth) {
        // Outside a call the record holds no input (inPos keeps the resume point).
        const uint32_t available = d.inLength > d.inPos ? d.inLength - d.inPos : 0;
        const uint32_t n = std::min(groupWidth - d.groupLength, available);
        if (n > 0) {
            if (d.groupLength == 0) ++d.groupsAtWidth;
            std::memcpy(d.group.data() + d.groupLength, d.in + d.inPos, n);
            d.groupLength += n;
            d.inPos += n;
        }
        if (d.groupLength < groupWidth) {
            if (!d.endOfData) return kMoreInput;
            if (d.groupBitPos + groupWidth > d.groupLength * 8) return kEndOfData;
        }
    }
    const uint32_t pos = d.groupBitPos;
    const uint32_t at = pos >> 3;
    const uint32_t bits = static_cast<uint32_t>(d.group[at]) | (static_cast<uint32_t>(d.group[at + 1]) << 8) |
                          (static_cast<uint32_t>(d.group[at + 2]) << 16);
    d.groupBitPos = pos + groupWidth;
    return static_cast<int>((bits >> (pos & 7)) & ((1u << groupWidth) - 1));
}

// Pops decoded bytes (stored last byte first) into the output.
inline void DrainStack(ArcLZWDecoder& d, unsigned char* out, uint32_t outSize, uint32_t& outPos) {
    const uint32_t n = std::min(d.stackLength, outSize - outPos);
    const uint8_t* top = d.stack.data() + d.stackLength;
    for (uint32_t i = 0; i < n; ++i) out[outPos + i] = *--top;
    outPos += n;
    d.stackLength -= n;
}

int ParseHeader(ArcLZWDecoder& d) {
    while (d.headerLength < kHeaderSize && d.inPos < d.inLength) {
        const unsigned char b = d.in[d.inPos++];
        if ((d.headerLength == 0 && b != kMagic0) || (d.headerLength == 1 && b != kMagic1))
            return ARCLZW_BAD_MAGIC;
        d.header[d.headerLength++] = b;
    }
    if (d.headerLength < kHeaderSize) return ARCLZW_OK;
    const unsigned char flags = d.header[2];
    const int width = flags & kWidthMask;
    if (width > d.maxWidth) return ARCLZW_WIDTH_TOO_LARGE;
    // Without block mode 256 would be a data code; we only write and read block mode.
    if (width < kMinWidth || (flags & kBlockModeFlag) == 0) return ARCLZW_BAD_DATA;
    d.streamWidth = width;
    d.tableLimit = 1u << width;
    d.reader = (flags & kPaddedReaderFlag) ? ArcLZWDecoder::kPadded : ArcLZWDecoder::kPacked;
    d.nextFree = kFirstFree;
    d.oldCode = -1;
    SetWidth(d, kMinWidth);
    d.state = ArcLZWDecoder::kCoding;
    return ARCLZW_OK;
}

// Decodes one code onto the stack. 0, or ARCLZW_BAD_DATA.
inline int DecodeCode(ArcLZWDecoder& d, uint32_t code) {
    uint8_t* const stack = d.stack.data();
    uint32_t sp = 0;
    if (d.oldCode < 0) {
        // The first code of the data, or after a clear, must be a byte.
        if (code >= kClearCode) return ARCLZW_BAD_DATA;
        d.firstChar = code;
        d.oldCode = static_cast<int>(code);
        stack[0] = static_cast<uint8_t>(code);
        d.stackLength = 1;
        return ARCLZW_OK;
    }
    if (code > d.nextFree) return ARCLZW_BAD_DATA;
    const uint32_t incoming = code;
    if (code == d.nextFree) {
        stack[sp++] = static_cast<uint8_t>(d.firstChar);
        code = static_cast<uint32_t>(d.oldCode);
    }
    // Every entry points at an older code, so this walk ends.
    while (code >= kClearCode) {
        stack[sp++] = d.suffixes[code];
        code = d.prefixes[code];
    }
    d.firstChar = code;
    stack[sp++] = static_cast<uint8_t>(code);
    if (d.nextFree < d.tableLimit) {
        d.prefixes[d.nextFree] = static_cast<uint16_t>(d.oldCode);
        d.suffixes[d.nextFree] = static_cast<uint8_t>(code);
        ++d.nextFree;
    }
    d.oldCode = static_cast<int>(incoming);
    d.stackLength = sp;
    return ARCLZW_OK;
}

int Finish(ArcLZWDecoder& d, uint32_t outPos, uint32_t* produced, int* status, int st) {
    *produced = outPos;
    *status = st;
    d.in = nullptr;  // never keep the caller's buffer beyond the call
    d.inLength = 0;
    return ARCLZW_OK;
}

int Fail(ArcLZWDecoder& d, uint32_t* produced, int result) {
    d.failure = result;
    *produced = 0;
    d.in = nullptr;
    d.inLength = 0;
    return result;
}

}  // namespace

int ArcLZW_DecodeInit(ArcLZWDecoder** decoder, int maxBits) {
    if (decoder == nullptr) return ARCLZW_BAD_STATE;
    const int width = ClampWidth(maxBits);
    ArcLZWDecoder* d = *decoder;
    try {
        if (d == nullptr) {
            CheckAllocation();
            d = new ArcLZWDecoder();
        }
        const size_t entries = size_t{1} << width;
        CheckAllocation();
        d->prefixes.resize(entries);
        d->suffixes.resize(entries);
        d->stack.resize(entries + 2);
    } catch (const std::bad_alloc&) {
        delete d;
        *decoder = nullptr;
        return ARCLZW_NO_MEMORY;
    }
    ArcLZWDecoder& r = *d;
    r.state = ArcLZWDecoder::kHeader;
    r.failure = 0;
    r.maxWidth = width;
    r.streamWidth = width;
    r.tableLimit = 1u << width;
    r.nextFree = kFirstFree;
    r.clearPending = false;
    r.reader = ArcLZWDecoder::kPacked;
    r.headerLength = 0;
    r.stackLength = 0;
    r.oldCode = -1;
    r.firstChar = 0;
    r.in = nullptr;
    r.inLength = r.inPos = 0;
    r.inputPending = false;
    r.endOfData = false;
    SetWidth(r, kMinWidth);
    *decoder = d;
    return ARCLZW_OK;
}

int ArcLZW_Decode(ArcLZWDecoder* decoder, const unsigned char* input, uint32_t inputLength,
                  unsigned char* output, uint32_t outputSize, uint32_t* produced, int* status) {
    if (produced != nullptr) *produced = 0;
    if (status != nullptr) *status = 0;
    if (decoder == nullptr || produced == nullptr || status == nullptr) return ARCLZW_BAD_STATE;
    if ((input == nullptr && inputLength > 0) || (output == nullptr && outputSize > 0))
        return ARCLZW_BAD_STATE;
    ArcLZWDecoder& d = *decoder;
    if (d.failure != 0) return d.failure;
    if (d.state == ArcLZWDecoder::kEnded) {
        *status = ARCLZW_ENDED;
        return ARCLZW_AFTER_END;
    }
    if (d.state != ArcLZWDecoder::kHeader && d.state != ArcLZWDecoder::kCoding) return ARCLZW_BAD_STATE;
    if (d.endOfData) {
        if (inputLength != 0) return ARCLZW_BAD_STATE;  // input after the end of the data
        d.inPos = 0;
    } else if (inputLength == 0) {
        // After status 3 the same input must come again before the end.
        if (d.inputPending) return ARCLZW_BAD_STATE;
        d.endOfData = true;
        d.inPos = 0;
    } else if (d.inputPending) {
        if (d.inPos > inputLength) return ARCLZW_BAD_STATE;
    } else {
        d.inPos = 0;
    }
    d.in = input;
    d.inLength = inputLength;

    if (d.state == ArcLZWDecoder::kHeader) {
        const int rc = ParseHeader(d);
        if (rc != ARCLZW_OK) return Fail(d, produced, rc);
        if (d.state == ArcLZWDecoder::kHeader) {
            if (!d.endOfData) return Finish(d, 0, produced, status, ARCLZW_INPUT_USED);
            if (d.headerLength != 0) return Fail(d, produced, ARCLZW_BAD_DATA);
            d.state = ArcLZWDecoder::kEnded;  // an empty stream holds empty data
            return Finish(d, 0, produced, status, ARCLZW_OUTPUT_FULL);
        }
    }

    uint32_t outPos = 0;
    const bool packed = d.reader == ArcLZWDecoder::kPacked;
    for (;;) {
        DrainStack(d, output, outputSize, outPos);
        if (d.stackLength > 0) {
            d.inputPending = true;
            return Finish(d, outPos, produced, status, ARCLZW_OUTPUT_FULL);
        }
        const int code = ReadCode(d, packed);
        if (code == kMoreInput) {
            d.inputPending = false;
            return Finish(d, outPos, produced, status, ARCLZW_INPUT_USED);
        }
        if (code == kEndOfData) {
            d.inputPending = false;
            d.state = ArcLZWDecoder::kEnded;
            return Finish(d, outPos, produced, status, ARCLZW_OUTPUT_FULL);
        }
        if (static_cast<uint32_t>(code) == kClearCode) {
            d.clearPending = true;
            d.nextFree = kFirstFree;
            d.oldCode = -1;
            continue;
        }
        const int rc = DecodeCode(d, static_cast<uint32_t>(code));
        if (rc != ARCLZW_OK) return Fail(d, produced, rc);
    }
}

void ArcLZW_DecodeFree(ArcLZWDecoder* decoder) { delete decoder; }

int ArcLZW_GetCodePadded(ArcLZWDecoder* decoder) {
    if (decoder == nullptr || decoder->state != ArcLZWDecoder::kCoding) return kEndOfData;
    return ReadCode(*decoder, false);
}

int ArcLZW_GetCodePacked(ArcLZWDecoder* decoder) {
    if (decoder == nullptr || decoder->state != ArcLZWDecoder::kCoding) return kEndOfData;
    return ReadCode(*decoder, true);
}
