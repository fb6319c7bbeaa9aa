// uconvtab_format.h - layout of the conversion table files (docs/uconvtab-format.md).
//
// Shared by the table generator (writer) and the table loader (reader). All numbers
// are little-endian. The first 628 bytes are the fixed header; our mapping sections
// follow, found through the section directory right after the header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qel::uconvtab {

// Fixed header.
inline constexpr size_t kOffFileSize = 0;  // u32: size of the whole file
inline constexpr size_t kOffMark = 4;      // u16: 0xFFFE
inline constexpr size_t kOffVersion = 6;   // u8: 1
inline constexpr size_t kOffZero = 7;      // u8: 0
inline constexpr size_t kOffComment = 8;   // 70 bytes: code-set name, informational
inline constexpr size_t kCommentSize = 70;
inline constexpr size_t kOffType = 78;      // u16: table type 1..4
inline constexpr size_t kOffSubBytes = 82;  // 32 bytes: default substitution, 0-ended
inline constexpr size_t kSubBytesField = 32;
inline constexpr size_t kHeaderSize = 628;

inline constexpr uint16_t kMark = 0xFFFE;
inline constexpr uint8_t kVersion = 1;

enum TableType : uint16_t {
    kSingleByte = 1,   // one byte per code
    kDoubleByte = 2,   // one- and two-byte codes, length by lead byte
    kMultiByte = 3,    // codes of one to three bytes, length by lead byte; prefixes
    kEbcdicMixed = 4,  // single- and double-byte codes switched by SO 0x0E / SI 0x0F
};

// Section directory (u32 each), right after the header.
inline constexpr size_t kOffDirectory = kHeaderSize;
enum DirectoryField : size_t {
    kDirLengths = 0,   // offset of 256 u8: code length by lead byte (1..3)
    kDirSingle,        // offset of 256 u16: UCS-2 unit of each one-byte code
    kDirLead,          // offset of 256 u16: to-UCS row of each lead byte
    kDirToRows,        // offset of the to-UCS rows, 256 u16 each
    kDirToRowCount,    // number of to-UCS rows (row 0 is all 0xFFFF)
    kDirFromIndex,     // offset of 256 u16: from-UCS row by high byte of the unit
    kDirFromRows,      // offset of the from-UCS rows, 256 u32 each
    kDirFromRowCount,  // number of from-UCS rows (row 0 is all unmapped)
    kDirPrefixes,      // offset of the prefix records
    kDirPrefixCount,   // number of prefix records (0..255)
    kDirFieldCount
};
inline constexpr size_t kDirectorySize = kDirFieldCount * 4;
inline constexpr size_t kMinimumFileSize = kHeaderSize + kDirectorySize;

inline constexpr size_t kRowEntries = 256;
inline constexpr uint16_t kUnmapped = 0xFFFF;
// A from-UCS entry: code in bits 0..15, prefix number (1-based, 0 none) in bits 16..23.
inline constexpr uint32_t kFromUnmapped = 0x0000FFFF;
inline constexpr uint32_t kFromCodeMask = 0xFFFF;
inline constexpr unsigned kFromPrefixShift = 16;
inline constexpr uint32_t kFromReservedMask = 0xFF000000;

// A prefix record: u8 length (1..30), then 31 bytes (the prefix, zero-padded).
inline constexpr size_t kPrefixRecordSize = 32;
inline constexpr size_t kMaxPrefixLength = 30;
inline constexpr size_t kMaxPrefixCount = 255;

// Longest code a table may describe: a three-byte lead (type 3).
inline constexpr uint8_t kMaxCodeLength = 3;

// Shift controls of mixed EBCDIC.
inline constexpr uint8_t kShiftOut = 0x0E;
inline constexpr uint8_t kShiftIn = 0x0F;

}  // namespace qel::uconvtab
