// Internal records of the line-data formatter: the open document with its record area
// and page lines, the translate tables, and the record reader the formatter shares.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "afp_split.h"

namespace afp {

struct MixedCcsid {
    uint32_t mixed;
    uint32_t singleByte;
    uint32_t doubleByte;
};
const MixedCcsid* FindMixedCcsid(uint32_t ccsid);
bool IsDoubleBytePart(uint32_t ccsid);

struct LineDataTable {
    uint32_t ccsid = 0;
    std::array<uint8_t, 256> target{};
};

// Fills `table` from map-file lines: 256 blanks, then "x <source> x <target>" per line.
void FillTableFromMap(const std::vector<std::string>& slots, std::array<uint8_t, 256>& table);

struct LineDataDoc {
    LineDataParms* parms = nullptr;
    const LineDataRecordIo* io = nullptr;
    std::span<const CarriageControlRow> set;
    size_t prefix = 0;
    bool ebcdic = false;
    char kind = 'S';  // 'C' mixed, 'D' double-byte, 'S' single-byte
    const LineDataTable* table = nullptr;

    std::vector<uint64_t> pageIndex;  // page starts, then the end position
    uint32_t maxLines = 0;
    uint32_t widest = 0;
    int32_t currentPage = kNoCurrentPage;

    // Record area.
    std::string record;  // the current record, translated
    uint64_t position = 0;
    std::vector<uint8_t> delimiter;
    bool delimiterParsed = false;
    bool reload = true;
    std::vector<uint8_t> block;  // delimited data read ahead
    size_t cursor = 0;
    bool endMarked = false;  // the block holds the last bytes of the input

    std::vector<LineDataLine> lines;  // the current page
};

// Reads the next record into doc.record (translated) and advances doc.position. false at
// the end of the document (also on an input error or an over-long record).
bool ReadRecord(LineDataDoc& doc);
// Moves the input to `position` and makes the next delimited read load a new block.
void SeekRecords(LineDataDoc& doc, uint64_t position);

}  // namespace afp
