// Records of the LZW stream codec; private to foundation/compress.
#pragma once

#include "arc_compress.h"

#include <array>
#include <cstdint>
#include <vector>

namespace arc_compress::detail {

// Stream layout (docs/lzw-stream.md).
inline constexpr uint8_t kMagic0 = 0xF1;
inline constexpr uint8_t kMagic1 = 0xD9;
inline constexpr uint8_t kWidthMask = 0x1F;
inline constexpr uint8_t kPaddedReaderFlag = 0x40;
inline constexpr uint8_t kBlockModeFlag = 0x80;
inline constexpr int kHeaderSize = 3;
inline constexpr int kMinWidth = 9;
inline constexpr int kMaxWidth = 16;
inline constexpr uint32_t kClearCode = 256;
inline constexpr uint32_t kFirstFree = 257;
inline constexpr int kCodesPerGroup = 8;

// Largest code that still fits the width before the coder widens; at the maximum width
// the whole table (2^max codes) fits and no widening follows.
inline uint32_t HighestCode(int width, int maxWidth) {
    return width >= maxWidth ? (1u << maxWidth) : (1u << width) - 1;
}

inline int ClampWidth(int bits) {
    return bits < kMinWidth ? kMinWidth : (bits > kMaxWidth ? kMaxWidth : bits);
}

}  // namespace arc_compress::detail

struct ArcLZWEncoder {
    enum State { kStart = 1, kCoding = 2, kEnding = 4, kEnded = 6 };

    int state = kStart;
    int maxWidth = 16;
    int width = 9;
    uint32_t highest = 511;
    uint32_t tableLimit = 1u << 16;  // 2^max
    uint32_t nextFree = 257;
    // String table: strings of two bytes directly by their bytes, longer ones in a hash
    // table (keys and codes). An entry of another generation is empty, so a clear only
    // starts a new generation.
    int hashShift = 15;           // 32 - log2(hashSize)
    uint32_t hashSize = 0;        // slots, a power of two
    std::vector<uint32_t> pairs;  // [(first << 8) | second]: (generation << 16) | code
    std::vector<uint32_t> keys;   // (generation << 24) | (byte << 16) | prefix
    std::vector<uint16_t> codes;
    uint32_t generation = 1;  // 1..255
    uint32_t prefix = 0;

    // Bits of the current group not yet written as whole bytes.
    uint64_t bitBuffer = 0;
    int bitCount = 0;
    int codesInGroup = 0;

    // The caller's output of the current call.
    unsigned char* out = nullptr;
    uint32_t outSize = 0;
    uint32_t outPos = 0;
    // Bytes that found no room in the output; written first by the next call.
    std::vector<unsigned char> held;
    uint32_t heldStart = 0;

    // Position in an input that a call left unfinished (output full).
    uint32_t inPos = 0;
    bool inputPending = false;
};

struct ArcLZWDecoder {
    enum State { kHeader = 1, kCoding = 2, kEnded = 4 };
    enum Reader { kPacked = 0, kPadded = 1 };

    int state = kHeader;
    int failure = 0;       // a corrupt stream's result, repeated until re-initialised
    int maxWidth = 16;     // as created
    int streamWidth = 16;  // from the header, at most maxWidth
    int width = 9;
    uint32_t highest = 511;
    uint32_t tableLimit = 1u << 16;
    uint32_t nextFree = 257;
    bool clearPending = false;
    int reader = kPacked;
    std::array<unsigned char, 3> header{};
    int headerLength = 0;

    std::vector<uint16_t> prefixes;
    std::vector<uint8_t> suffixes;
    std::vector<uint8_t> stack;
    uint32_t stackLength = 0;

    int oldCode = -1;  // -1: the next code starts the data (stream start, clear)
    uint32_t firstChar = 0;

    // The caller's input of the current call.
    const unsigned char* in = nullptr;
    uint32_t inLength = 0;
    uint32_t inPos = 0;
    bool inputPending = false;
    bool endOfData = false;

    // Current group: up to `width` bytes (+2 zero bytes so a code read never overruns).
    std::array<unsigned char, 18> group{};
    uint32_t groupLength = 0;
    uint32_t groupBitPos = 0;
    uint32_t groupsAtWidth = 0;  // groups begun at this width (reader of own streams)
};
