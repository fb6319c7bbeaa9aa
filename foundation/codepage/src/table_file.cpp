// table_file.cpp - reads a conversion table file without trusting any of its fields.
#include "table_file.h"

#include <cerrno>

namespace qel::codepage {
namespace {

namespace fmt = uconvtab;

uint16_t Get16(std::span<const uint8_t> file, size_t at) {
    return static_cast<uint16_t>(file[at] | file[at + 1] << 8);
}

uint32_t Get32(std::span<const uint8_t> file, size_t at) {
    return static_cast<uint32_t>(file[at]) | static_cast<uint32_t>(file[at + 1]) << 8 |
           static_cast<uint32_t>(file[at + 2]) << 16 | static_cast<uint32_t>(file[at + 3]) << 24;
}

uint32_t Directory(std::span<const uint8_t> file, fmt::DirectoryField field) {
    return Get32(file, fmt::kOffDirectory + 4 * field);
}

// A section of count entries of width bytes at the offset a directory field gives.
bool SectionFits(std::span<const uint8_t> file, uint64_t offset, uint64_t count, uint64_t width) {
    // count and width are at most 2^32 and 1024: the product cannot overflow 64 bits.
    uint64_t bytes = count * width;
    return offset >= fmt::kMinimumFileSize && offset <= file.size() && bytes <= file.size() - offset;
}

bool ReadHeader(std::span<const uint8_t> file, TableData* table) {
    if (file.size() < fmt::kMinimumFileSize || Get32(file, fmt::kOffFileSize) != file.size()) return false;
    if (Get16(file, fmt::kOffMark) != fmt::kMark || file[fmt::kOffVersion] != fmt::kVersion ||
        file[fmt::kOffZero] != 0) {
        return false;
    }
    table->type = Get16(file, fmt::kOffType);
    if (table->type < fmt::kSingleByte || table->type > fmt::kEbcdicMixed) return false;
    table->defaultSubBytes.clear();
    for (size_t i = 0;; ++i) {
        if (i == fmt::kSubBytesField) return false;  // no terminator
        uint8_t byte = file[fmt::kOffSubBytes + i];
        if (byte == 0) break;
        table->defaultSubBytes.push_back(byte);
    }
    return true;
}

uint8_t MaxLength(uint16_t type) {
    switch (type) {
        case fmt::kDoubleByte: return 2;
        case fmt::kMultiByte: return fmt::kMaxCodeLength;
        default: return 1;
    }
}

bool ReadToUcs(std::span<const uint8_t> file, TableData* table) {
    uint32_t lengths = Directory(file, fmt::kDirLengths);
    uint32_t single = Directory(file, fmt::kDirSingle);
    uint32_t lead = Directory(file, fmt::kDirLead);
    uint32_t rows = Directory(file, fmt::kDirToRows);
    uint32_t rowCount = Directory(file, fmt::kDirToRowCount);
    if (!SectionFits(file, lengths, 256, 1) || !SectionFits(file, single, 256, 2) ||
        !SectionFits(file, lead, 256, 2) || rowCount == 0 || rowCount > 0x10000 ||
        !SectionFits(file, rows, rowCount, 512)) {
        return false;
    }
    table->toRows.resize(size_t{rowCount} * fmt::kRowEntries);
    for (size_t i = 0; i < table->toRows.size(); ++i) table->toRows[i] = Get16(file, rows + 2 * i);
    const uint8_t maxLength = MaxLength(table->type);
    for (size_t b = 0; b < 256; ++b) {
        table->lengths[b] = file[lengths + b];
        table->single[b] = Get16(file, single + 2 * b);
        table->lead[b] = Get16(file, lead + 2 * b);
        if (table->lengths[b] < 1 || table->lengths[b] > maxLength || table->lead[b] >= rowCount)
            return false;
        if (table->lengths[b] == 3) {
            // An index row: every entry names a row of units.
            const uint16_t* index = &table->toRows[size_t{table->lead[b]} * fmt::kRowEntries];
            for (size_t i = 0; i < fmt::kRowEntries; ++i) {
                if (index[i] >= rowCount) return false;
            }
        }
    }
    return true;
}

bool ReadPrefixes(std::span<const uint8_t> file, TableData* table) {
    uint32_t offset = Directory(file, fmt::kDirPrefixes);
    uint32_t count = Directory(file, fmt::kDirPrefixCount);
    if (count > fmt::kMaxPrefixCount || !SectionFits(file, offset, count, fmt::kPrefixRecordSize))
        return false;
    if (count != 0 && table->type != fmt::kMultiByte) return false;
    table->prefixes.clear();
    for (size_t i = 0; i < count; ++i) {
        size_t at = offset + i * fmt::kPrefixRecordSize;
        uint8_t length = file[at];
        if (length == 0 || length > fmt::kMaxPrefixLength) return false;
        table->prefixes.emplace_back(reinterpret_cast<const char*>(&file[at + 1]), length);
    }
    return true;
}

bool FromEntryValid(uint32_t entry, const TableData& table) {
    if (entry == fmt::kFromUnmapped) return true;
    if ((entry & fmt::kFromReservedMask) != 0) return false;
    uint32_t code = entry & fmt::kFromCodeMask;
    uint32_t prefix = entry >> fmt::kFromPrefixShift;
    if (prefix > table.prefixes.size()) return false;
    if (prefix != 0 && code < 0x100) return false;
    return table.type != fmt::kSingleByte || code < 0x100;
}

bool ReadFromUcs(std::span<const uint8_t> file, TableData* table) {
    uint32_t index = Directory(file, fmt::kDirFromIndex);
    uint32_t rows = Directory(file, fmt::kDirFromRows);
    uint32_t rowCount = Directory(file, fmt::kDirFromRowCount);
    if (!SectionFits(file, index, 256, 2) || rowCount == 0 || rowCount > 257 ||
        !SectionFits(file, rows, rowCount, 1024)) {
        return false;
    }
    for (size_t i = 0; i < 256; ++i) {
        table->fromIndex[i] = Get16(file, index + 2 * i);
        if (table->fromIndex[i] >= rowCount) return false;
    }
    table->fromRows.resize(size_t{rowCount} * fmt::kRowEntries);
    for (size_t i = 0; i < table->fromRows.size(); ++i) {
        table->fromRows[i] = Get32(file, rows + 4 * i);
        if (!FromEntryValid(table->fromRows[i], *table)) return false;
    }
    return true;
}

// Every entry of a single-byte table is one byte or unmapped (checked above).
void BuildByteMap(TableData* table) {
    table->byteFromUcs.clear();
    if (table->type != fmt::kSingleByte) return;
    table->byteFromUcs.resize(size_t{1} << 16);
    for (uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
        uint32_t entry = table->FromUcs(static_cast<uint16_t>(unit));
        table->byteFromUcs[unit] = entry == fmt::kFromUnmapped ? kByteUnmapped : static_cast<uint16_t>(entry);
    }
}

}  // namespace

int ParseTable(std::span<const uint8_t> file, TableData* table) {
    if (file.size() > kMaxTableFileSize || !ReadHeader(file, table) || !ReadToUcs(file, table) ||
        !ReadPrefixes(file, table) || !ReadFromUcs(file, table)) {
        return EINVAL;
    }
    BuildByteMap(table);
    return 0;
}

}  // namespace qel::codepage
