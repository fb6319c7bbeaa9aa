// hit_bitmap.h - one bit per row of a segment: the rows a search has found.
//
// Bit n is bit (n mod 8) of byte n/8, least significant bit first, and the bytes
// are split into pages of 32768 so that no allocation exceeds 32 KiB. Only bits of
// rows 0 .. Rows()-1 are ever set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace qel::local::detail {

inline constexpr size_t QELBM_PAGE_BYTES = 32768;
inline constexpr int64_t QELBM_MAX_ROWS = 0x8000000;
// Pages of the largest bitmap: QELBM_MAX_ROWS rows need 16 MiB, 513 pages by the sizing rule.
inline constexpr size_t QELBM_MAX_PAGES = 513;

// Operations of Combine.
enum : int { QELBM_AND = 2, QELBM_OR = 3, QELBM_XOR = 4 };

class HitBitmap {
public:
    // Bytes ((rows - 1) / 32 x 4 + 4) and pages ((bytes + 3) / 32768 + 1) for rows;
    // 0, or 9 (CS_NO_MEMORY) when rows is above QELBM_MAX_ROWS or the pages above
    // QELBM_MAX_PAGES. No rows take one page of 4 bytes.
    static int Size(int64_t rows, size_t* bytes, size_t* pages);

    // Makes the bitmap hold rows bits, all clear: 0, or 9.
    int Allocate(int64_t rows);
    void Free();

    int64_t Rows() const { return rows_; }
    // Sets every row's bit (ones) or clears every bit.
    void Fill(bool ones);
    // The first set bit at or after from (from < 0 starts at 0), or -1.
    int64_t NextSet(int64_t from) const;
    // 1 or 0; 255 for bit -1; 0 for any other bit outside the rows.
    int Test(int64_t bit) const;
    // Sets or clears one bit; bits outside the rows are left alone.
    void Set(int64_t bit);
    void Clear(int64_t bit);
    // this = this op other, page by page; both must hold the same rows (else -1). 0.
    int Combine(const HitBitmap& other, int op);
    // this = rows not set in this (within the rows).
    void Invert();
    // Set bits.
    int64_t Count() const;

private:
    size_t Words() const;  // 64-bit words that hold the rows
    uint64_t Word(size_t word) const;
    void SetWord(size_t word, uint64_t value);
    uint64_t LastWordMask() const;  // the bits of the last word that are rows

    uint8_t* Byte(int64_t bit) {
        return &pages_[size_t(bit >> 3) / QELBM_PAGE_BYTES][size_t(bit >> 3) % QELBM_PAGE_BYTES];
    }
    const uint8_t* Byte(int64_t bit) const {
        return &pages_[size_t(bit >> 3) / QELBM_PAGE_BYTES][size_t(bit >> 3) % QELBM_PAGE_BYTES];
    }

    int64_t rows_ = 0;
    size_t bytes_ = 0;
    std::vector<std::unique_ptr<uint8_t[]>> pages_;
    // Per page: 0 when no bit of it is set, so that searches pass it over whole.
    std::vector<uint8_t> maybeSet_;
};

}  // namespace qel::local::detail
