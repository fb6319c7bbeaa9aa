// ldr_tables.cpp - translation tables of the line-data reader: configured ones read from
// their text, the built-in EBCDIC table, and the kind of a CCSID.
#include <cstring>
#include <string_view>

#include "arc_codepage.h"
#include "ldr_internal.h"

namespace qelldr {
namespace {

constexpr size_t kTableLine = 80;

// Mixed CCSID, its single-byte part, its double-byte part.
struct MixedCcsid {
    int32_t mixed;
    int32_t singleByte;
    int32_t doubleByte;
};
constexpr MixedCcsid kMixed[] = {
    {930, 290, 300}, {931, 37, 300}, {939, 1027, 300}, {933, 833, 834}, {937, 37, 835}, {935, 836, 837},
};

int HexByte(std::string_view field) {
    if (field.size() != 2) return -1;
    int value = 0;
    for (char c : field) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

// The fields of a table line separated by blanks.
std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\0' || line[i] == '\n' || line[i] == '\r'))
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\0' && line[i] != '\n' && line[i] != '\r')
            ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

}  // namespace

TranslationTable ParseTranslationTable(int32_t ccsid, std::string_view text, int32_t lineCount) {
    TranslationTable table;
    table.ccsid = ccsid;
    table.target.fill(' ');
    for (int32_t n = 0; n < lineCount; ++n) {
        const size_t start = static_cast<size_t>(n) * kTableLine;
        if (start >= text.size()) break;
        const std::string_view line = text.substr(start, kTableLine);
        if (line[0] == ';' || line[0] == '\n') continue;
        const std::vector<std::string_view> fields = Fields(line);
        if (fields.size() < 4) continue;
        const int source = HexByte(fields[1]);
        const int target = HexByte(fields[3]);
        if (source < 0 || target <= 0) continue;
        table.target[static_cast<size_t>(source)] = static_cast<unsigned char>(target);
    }
    return table;
}

TranslationTable EbcdicTable(int32_t ccsid) {
    TranslationTable table;
    table.ccsid = ccsid;
    std::memcpy(table.target.data(), ArcICONV_EbcdicToLatin1Table(ccsid), table.target.size());
    return table;
}

TranslationTable IdentityTable(int32_t ccsid) {
    TranslationTable table;
    table.ccsid = ccsid;
    for (size_t i = 0; i < table.target.size(); ++i) table.target[i] = static_cast<unsigned char>(i);
    return table;
}

CcsidKind KindOfCcsid(int32_t ccsid) {
    for (const MixedCcsid& m : kMixed) {
        if (m.mixed == ccsid) return {'C', m.singleByte};
        if (m.doubleByte == ccsid) return {'D', ccsid};
    }
    return {'S', ccsid};
}

const TranslationTable* TableFor(ArcLdrReader* reader, int32_t ccsid, bool ebcdic) {
    std::lock_guard lock(reader->tablesLock);
    for (const auto& table : reader->tables)
        if (table->ccsid == ccsid) return table.get();
    std::string text;
    int32_t lines = 0;
    TranslationTable table;
    if (reader->callbacks.table && reader->callbacks.table(ccsid, &text, &lines))
        table = ParseTranslationTable(ccsid, text, lines);
    else
        table = ebcdic || ArcICONV_IsEbcdicCcsid(ccsid) ? EbcdicTable(ccsid) : IdentityTable(ccsid);
    reader->tables.push_back(std::make_unique<TranslationTable>(table));
    return reader->tables.back().get();
}

}  // namespace qelldr
