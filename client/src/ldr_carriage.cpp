// ldr_carriage.cpp - the carriage-control tables: what a control byte does to spacing and
// pages.
#include <span>

#include "ldr_internal.h"

namespace qelldr {
namespace {

// Columns: control byte, blank lines before, after, new page before, after, printed.
constexpr CarriageRow kAnsi[] = {
    {'+', 0, 0, false, false, true}, {' ', 0, 0, false, false, true}, {'0', 1, 0, false, false, true},
    {'-', 2, 0, false, false, true}, {'1', 0, 0, true, false, true},
};
// The same characters in EBCDIC: a report in an EBCDIC code page carries its ANSI
// controls in that code page.
constexpr CarriageRow kAnsiEbcdic[] = {
    {0x4E, 0, 0, false, false, true}, {0x40, 0, 0, false, false, true}, {0xF0, 1, 0, false, false, true},
    {0x60, 2, 0, false, false, true}, {0xF1, 0, 0, true, false, true},
};
constexpr CarriageRow kMachine[] = {
    {0x01, 0, 0, false, false, true},  {0x09, 0, 0, false, false, true},  {0x11, 0, 1, false, false, true},
    {0x19, 0, 2, false, false, true},  {0x89, 0, 0, false, true, true},   {0x0B, 0, 0, false, false, false},
    {0x13, 1, 0, false, false, false}, {0x1B, 2, 0, false, false, false}, {0x8B, 0, 0, true, false, false},
};
constexpr CarriageRow kEnd = {0xFF, 0, 0, false, false, true};

std::span<const CarriageRow> SetOf(char set, bool ebcdic) {
    if (set == 'A')
        return ebcdic ? std::span<const CarriageRow>(kAnsiEbcdic) : std::span<const CarriageRow>(kAnsi);
    if (set == 'M') return kMachine;
    return {};
}

}  // namespace

const CarriageRow& FindCarriageRow(char set, bool ebcdic, uint8_t control) {
    for (const CarriageRow& row : SetOf(set, ebcdic))
        if (row.control == control) return row;
    return kEnd;
}

bool IsOverprint(char set, bool ebcdic, uint8_t control) {
    if (set == 'A') return control == (ebcdic ? 0x4E : '+');
    return set == 'M' && control == 0x01;
}

}  // namespace qelldr
