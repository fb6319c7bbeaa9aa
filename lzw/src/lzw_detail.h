// Internals shared by the encoder and the decoder; no other component includes this.
#pragma once

#include "zyplzw.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zyplzw::detail {

constexpr uint32_t kMaxWidth = 12;
constexpr uint32_t kTableSize = ZYPLZW_TABLE_SIZE;
constexpr uint32_t kNoCode = ZYPLZW_NO_CODE;
constexpr uint32_t kStagingSize = 8192;
constexpr int kMaxSamplesPerPixel = 65535;

enum class BlockKind : uint32_t { Encoder = 0x5a4c5745, Decoder = 0x5a4c5744 };

// Both blocks start with their kind, so a block handed to the wrong side is refused.
struct BlockHeader {
    BlockKind kind;
};

// Encoder dictionary. `slots` is an open-addressed hash of (prefix, symbol) -> code with
// key and code in one word, so a probe is one load: key << 12 | code, key = prefix << 8 |
// symbol, 0 for an empty slot (a code is never 0). A table reset clears the slots.
//
// Runs of one byte get a shortcut: the strings b, bb, bbb, ... present in the table are
// always b^1..b^K with no gap (a string is added only after its prefix), so a run in the
// input can be matched by counting the bytes instead of looking up each one.
struct EncoderBlock {
    BlockHeader header{BlockKind::Encoder};
    static constexpr uint32_t kHashBits = 14;
    static constexpr uint32_t kHashSize = 1u << kHashBits;
    static constexpr uint32_t kRunCodes = 256;  // run lengths with a direct code entry
    uint32_t slots[kHashSize] = {};
    // Per code: L << 8 | b when its string is b repeated L times, else 0.
    uint32_t runOf[kTableSize] = {};
    // Per byte: the longest run in the table (K) and its code; codes of runs of length
    // 2 to kRunCodes - 1, [length][byte], valid up to K.
    uint16_t runTop[256] = {};
    uint16_t runTopCode[256] = {};
    uint16_t runCode[kRunCodes][256] = {};
    std::vector<uint8_t> history;  // mode 3: last raw sample of each channel
};

// Decoder: the code table and the staging buffer for a string that did not fit in the
// caller's output. A string is kept as a chain of 8-byte chunks: its last 1 to 8 bytes
// in `chunk`, and the code of the prefix that holds the bytes before them (a whole
// number of chunks long) in `ancestor`. A string then goes out as one 8-byte store per
// chunk instead of one byte per link of the prefix chain.
struct DecoderEntry {
    uint64_t chunk;     // last bytes, byte i at ChunkShift(i), the rest zero
    uint16_t length;    // 0 for clear, end and codes not yet added
    uint16_t ancestor;  // code of the first (length - 1) / 8 * 8 bytes; unused below 9
    uint8_t first;      // first byte, the one a following entry borrows
};

// Bit position of byte i of a chunk, so that storing the chunk writes the bytes in order.
constexpr uint32_t ChunkShift(uint32_t i) {
    return std::endian::native == std::endian::little ? 8 * i : 56 - 8 * i;
}

struct DecoderBlock {
    BlockHeader header{BlockKind::Decoder};
    DecoderEntry table[kTableSize] = {};
    uint8_t staging[kStagingSize] = {};
    uint32_t stagedPos = 0;
    uint32_t stagedEnd = 0;
    std::vector<uint8_t> history;  // mode 3: last decoded sample of each channel
};

// Allocation with a process-wide count of live blocks.
EncoderBlock* NewEncoderBlock();
DecoderBlock* NewDecoderBlock();
void FreeBlock(ZypLzwState* state);

// The block of a record if it is of the wanted kind, else null.
EncoderBlock* EncoderOf(ZypLzwState* state);
DecoderBlock* DecoderOf(ZypLzwState* state);

bool ValidMode(int mode);
bool ValidBits(int bits);

// Fills clear/end/first free/initial width/early change from mode and bits per sample.
void SetCodeParameters(ZypLzwState& s, bool encoder);
// Back to the first free code and the initial width.
void ResetTable(ZypLzwState& s);
// True when the record's fields are consistent with each other and with its block,
// so that nothing derived from them can index outside the tables.
bool RecordIsSane(const ZypLzwState& s, bool encoder, size_t historySize);

// Fresh record for Init: everything zero but the defaults.
void ClearRecord(ZypLzwState& s, int mode);
// Back to state 1 keeping mode, settings, buffers and block.
void RestartRecord(ZypLzwState& s, bool encoder);

int SetInput(ZypLzwState* s, uint32_t length, const unsigned char* data);
int SetOutput(ZypLzwState* s, uint32_t length, unsigned char* buffer);
int SetSamples(ZypLzwState& s, std::vector<uint8_t>& history, int samples);

// Init of either codec: a fresh record in `mode` owning a new block that `restart` has
// put in its starting state, one sample per pixel. Nothing is left allocated on failure.
template <class Block, class Restart>
int InitWithNewBlock(ZypLzwState* state, int mode, Block* (*newBlock)(), Restart restart) {
    if (state == nullptr || !ValidMode(mode)) {
        return ZYPLZW_CALLER_ERROR;
    }
    ClearRecord(*state, mode);
    Block* block = newBlock();
    if (block == nullptr) {
        return ZYPLZW_NO_MEMORY;
    }
    state->block = block;
    restart(*state, *block);
    const int rc = SetSamples(*state, block->history, 1);
    if (rc != ZYPLZW_OK) {
        FreeBlock(state);
    }
    return rc;
}

// Bytes per row in mode 3 (0: the data is one endless row).
inline uint64_t RowBytes(const ZypLzwState& s) {
    return static_cast<uint64_t>(s.rowLength) * static_cast<uint64_t>(s.samplesPerPixel);
}

// Width rule for adding table entry `code`.
inline void WidenAfterAdding(uint32_t code, uint32_t earlyChange, uint32_t& width, uint32_t& threshold) {
    const uint32_t reach = code + earlyChange;
    if (reach == threshold && reach < kTableSize - 1) {
        ++width;
        threshold <<= 1;
    }
}

}  // namespace zyplzw::detail
