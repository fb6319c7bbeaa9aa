// table_file.h - a conversion table file, checked and unpacked for the converters.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "uconvtab_format.h"

namespace qel::codepage {

struct TableData {
    uint16_t type = 0;
    std::vector<uint8_t> defaultSubBytes;   // from the header; may be empty
    std::array<uint8_t, 256> lengths{};     // code length by lead byte
    std::array<uint16_t, 256> single{};     // one-byte codes to UCS-2
    std::array<uint16_t, 256> lead{};       // to-UCS row of each lead byte
    std::vector<uint16_t> toRows;           // rows of 256 entries
    std::array<uint16_t, 256> fromIndex{};  // from-UCS row by the unit's high byte
    std::vector<uint32_t> fromRows;         // rows of 256 entries
    std::vector<std::string> prefixes;      // prefix number n is prefixes[n - 1]
    // Single-byte tables: the byte of every UCS-2 unit, kByteUnmapped where there is none.
    // The same answers as FromUcs, one lookup instead of two.
    std::vector<uint16_t> byteFromUcs;

    uint16_t ToUcs2Bytes(uint8_t leadByte, uint8_t trail) const {
        return toRows[size_t{lead[leadByte]} * uconvtab::kRowEntries + trail];
    }
    uint16_t ToUcs3Bytes(uint8_t leadByte, uint8_t second, uint8_t third) const {
        size_t row = toRows[size_t{lead[leadByte]} * uconvtab::kRowEntries + second];
        return toRows[row * uconvtab::kRowEntries + third];
    }
    uint32_t FromUcs(uint16_t unit) const {
        return fromRows[size_t{fromIndex[unit >> 8]} * uconvtab::kRowEntries + (unit & 0xFF)];
    }
};

inline constexpr uint16_t kByteUnmapped = 0x100;

// Largest table file we load; the shipped ones are below 300 KB.
inline constexpr size_t kMaxTableFileSize = size_t{64} << 20;

// Checks every field of a table file (size, mark, version, type, substitution bytes,
// each section inside the file, every row number and code in range) and unpacks it.
// 0, or EINVAL when anything is out of place.
int ParseTable(std::span<const uint8_t> file, TableData* table);

}  // namespace qel::codepage
