// uconvgen - writes one conversion table file by enumerating glibc iconv.
//
//   uconvgen table <glibc-name> <type 1..4> <sub-bytes-hex> <code-set-name> <out-file>
//   uconvgen fallback <out-file>      (C++ source of the built-in fallback tables)
//
// The table layout is in uconvtab_format.h and docs/uconvtab-format.md.
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "../src/uconvtab_format.h"

namespace {

namespace fmt = qel::uconvtab;

using UnitRow = std::array<uint16_t, fmt::kRowEntries>;
using FromRow = std::array<uint32_t, fmt::kRowEntries>;

[[noreturn]] void Fail(const std::string& text) {
    std::fprintf(stderr, "uconvgen: %s\n", text.c_str());
    std::exit(1);
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            Fail(std::string("iconv cannot convert ") + from + " to " + to);
        }
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    enum Status { kOk, kIncomplete, kInvalid };
    // Converts the input from the initial state and flushes; the output bytes.
    Status Run(const std::vector<uint8_t>& input, std::vector<uint8_t>* output) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buffer[64];
        char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(input.data()));
        size_t inLeft = input.size();
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        if (iconv(cd_, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1)) {
            return errno == EINVAL ? kIncomplete : kInvalid;
        }
        if (iconv(cd_, nullptr, nullptr, &out, &outLeft) == static_cast<size_t>(-1)) {
            return kInvalid;
        }
        output->assign(buffer, out);
        return kOk;
    }

private:
    iconv_t cd_;
};

// The one BMP unit that glibc decodes the bytes to, if any.
struct Decoder {
    explicit Decoder(const char* name) : cd("UCS-4LE", name) {}
    Iconv cd;
    Iconv::Status Decode(const std::vector<uint8_t>& bytes, uint16_t* unit) {
        std::vector<uint8_t> out;
        Iconv::Status status = cd.Run(bytes, &out);
        if (status != Iconv::kOk) return status;
        if (out.size() != 4) return Iconv::kInvalid;
        uint32_t value = out[0] | out[1] << 8 | out[2] << 16 | static_cast<uint32_t>(out[3]) << 24;
        if (value >= fmt::kUnmapped || (value >= 0xD800 && value <= 0xDFFF)) return Iconv::kInvalid;
        *unit = static_cast<uint16_t>(value);
        return Iconv::kOk;
    }
};

struct TableBuilder {
    int type = 1;
    std::array<uint8_t, 256> lengths{};
    UnitRow single{};
    UnitRow lead{};
    std::vector<UnitRow> toRows;
    UnitRow fromIndex{};
    std::vector<FromRow> fromRows;
    std::vector<std::string> prefixes;

    TableBuilder() {
        lengths.fill(1);
        single.fill(fmt::kUnmapped);
        lead.fill(0);
        UnitRow none;
        none.fill(fmt::kUnmapped);
        toRows.push_back(none);
        fromIndex.fill(0);
        FromRow noneFrom;
        noneFrom.fill(fmt::kFromUnmapped);
        fromRows.push_back(noneFrom);
    }

    uint16_t NewToRow(uint16_t fill) {
        UnitRow row;
        row.fill(fill);
        toRows.push_back(row);
        return static_cast<uint16_t>(toRows.size() - 1);
    }

    void SetFrom(uint16_t unit, uint32_t entry) {
        unsigned high = unit >> 8;
        if (fromIndex[high] == 0) {
            FromRow row;
            row.fill(fmt::kFromUnmapped);
            fromRows.push_back(row);
            fromIndex[high] = static_cast<uint16_t>(fromRows.size() - 1);
        }
        fromRows[fromIndex[high]][unit & 0xFF] = entry;
    }

    uint32_t PrefixNumber(const std::string& prefix) {
        for (size_t i = 0; i < prefixes.size(); ++i) {
            if (prefixes[i] == prefix) return static_cast<uint32_t>(i + 1);
        }
        if (prefixes.size() >= fmt::kMaxPrefixCount || prefix.size() > fmt::kMaxPrefixLength) {
            Fail("too many or too long prefixes");
        }
        prefixes.push_back(prefix);
        return static_cast<uint32_t>(prefixes.size());
    }
};

// Lead bytes whose codes glibc reads as two or three bytes.
void EnumerateLeadByte(Decoder& decoder, TableBuilder& table, uint8_t leadByte) {
    uint16_t row = 0;
    uint16_t unit = 0;
    bool threeByte = false;
    for (unsigned trail = 0; trail < 256; ++trail) {
        std::vector<uint8_t> code{leadByte, static_cast<uint8_t>(trail)};
        Iconv::Status status = decoder.Decode(code, &unit);
        if (status == Iconv::kOk) {
            if (row == 0) row = table.NewToRow(fmt::kUnmapped);
            table.toRows[row][trail] = unit;
        } else if (status == Iconv::kIncomplete) {
            threeByte = true;
        }
    }
    if (row != 0 || !threeByte || table.type != fmt::kMultiByte) {
        table.lengths[leadByte] = 2;
        table.lead[leadByte] = row;
        return;
    }
    // A prefix lead: an index row by the second byte, unit rows by the third.
    uint16_t index = table.NewToRow(0);
    for (unsigned second = 0; second < 256; ++second) {
        uint16_t unitRow = 0;
        for (unsigned third = 0; third < 256; ++third) {
            std::vector<uint8_t> code{leadByte, static_cast<uint8_t>(second), static_cast<uint8_t>(third)};
            if (decoder.Decode(code, &unit) == Iconv::kOk) {
                if (unitRow == 0) unitRow = table.NewToRow(fmt::kUnmapped);
                table.toRows[unitRow][third] = unit;
            }
        }
        table.toRows[index][second] = unitRow;
    }
    table.lengths[leadByte] = 3;
    table.lead[leadByte] = index;
}

void EnumerateToUcs(const char* name, TableBuilder& table) {
    Decoder decoder(name);
    uint16_t unit = 0;
    if (table.type == fmt::kEbcdicMixed) {
        for (unsigned b = 0; b < 256; ++b) {
            if (b == fmt::kShiftOut || b == fmt::kShiftIn) continue;
            if (decoder.Decode({static_cast<uint8_t>(b)}, &unit) == Iconv::kOk) table.single[b] = unit;
        }
        for (unsigned leadByte = 0x40; leadByte < 0xFF; ++leadByte) {
            uint16_t row = 0;
            for (unsigned trail = 0x40; trail < 0xFF; ++trail) {
                std::vector<uint8_t> code{fmt::kShiftOut, static_cast<uint8_t>(leadByte),
                                          static_cast<uint8_t>(trail)};
                if (decoder.Decode(code, &unit) == Iconv::kOk) {
                    if (row == 0) row = table.NewToRow(fmt::kUnmapped);
                    table.toRows[row][trail] = unit;
                }
            }
            table.lead[leadByte] = row;
        }
        return;
    }
    for (unsigned b = 0; b < 256; ++b) {
        Iconv::Status status = decoder.Decode({static_cast<uint8_t>(b)}, &unit);
        if (status == Iconv::kOk) {
            table.single[b] = unit;
        } else if (status == Iconv::kIncomplete && table.type != fmt::kSingleByte) {
            EnumerateLeadByte(decoder, table, static_cast<uint8_t>(b));
        }
    }
}

void EnumerateFromUcs(const char* name, TableBuilder& table) {
    Iconv encoder(name, "UCS-4LE");
    std::vector<uint8_t> out;
    for (uint32_t unit = 0; unit < fmt::kUnmapped; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue;
        std::vector<uint8_t> in{static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8), 0, 0};
        if (encoder.Run(in, &out) != Iconv::kOk || out.empty()) continue;
        uint32_t entry = fmt::kFromUnmapped;
        if (table.type == fmt::kEbcdicMixed) {
            if (out.size() == 1 && out[0] != fmt::kShiftOut && out[0] != fmt::kShiftIn) {
                entry = out[0];
            } else if (out.size() == 4 && out[0] == fmt::kShiftOut && out[3] == fmt::kShiftIn) {
                entry = static_cast<uint32_t>(out[1]) << 8 | out[2];
            }
        } else if (out.size() == 1) {
            entry = out[0];
        } else if (out.size() == 2 && table.type != fmt::kSingleByte && out[0] != 0) {
            entry = static_cast<uint32_t>(out[0]) << 8 | out[1];
        } else if (out.size() > 2 && table.type == fmt::kMultiByte && out[out.size() - 2] != 0) {
            std::string prefix(out.begin(), out.end() - 2);
            entry = table.PrefixNumber(prefix) << fmt::kFromPrefixShift |
                    static_cast<uint32_t>(out[out.size() - 2]) << 8 | out.back();
        }
        if (entry != fmt::kFromUnmapped) table.SetFrom(static_cast<uint16_t>(unit), entry);
    }
}

void Put16(std::vector<uint8_t>& file, size_t at, uint32_t value) {
    file[at] = static_cast<uint8_t>(value);
    file[at + 1] = static_cast<uint8_t>(value >> 8);
}
void Put32(std::vector<uint8_t>& file, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
size_t Append(std::vector<uint8_t>& file, size_t bytes) {
    size_t at = file.size();
    file.resize(at + bytes, 0);
    return at;
}

std::vector<uint8_t> Serialise(const TableBuilder& table, const std::string& codeSetName,
                               const std::vector<uint8_t>& subBytes) {
    std::vector<uint8_t> file(fmt::kMinimumFileSize, 0);
    Put16(file, fmt::kOffMark, fmt::kMark);
    file[fmt::kOffVersion] = fmt::kVersion;
    file[fmt::kOffZero] = 0;
    std::memcpy(&file[fmt::kOffComment], codeSetName.data(),
                std::min(codeSetName.size(), fmt::kCommentSize - 1));
    Put16(file, fmt::kOffType, static_cast<uint32_t>(table.type));
    std::copy(subBytes.begin(), subBytes.end(), file.begin() + fmt::kOffSubBytes);

    auto dir = [&](size_t field, size_t value) {
        Put32(file, fmt::kOffDirectory + 4 * field, static_cast<uint32_t>(value));
    };
    size_t at = Append(file, 256);
    dir(fmt::kDirLengths, at);
    std::copy(table.lengths.begin(), table.lengths.end(), file.begin() + at);
    at = Append(file, 512);
    dir(fmt::kDirSingle, at);
    for (size_t i = 0; i < 256; ++i) Put16(file, at + 2 * i, table.single[i]);
    at = Append(file, 512);
    dir(fmt::kDirLead, at);
    for (size_t i = 0; i < 256; ++i) Put16(file, at + 2 * i, table.lead[i]);
    at = Append(file, 512 * table.toRows.size());
    dir(fmt::kDirToRows, at);
    dir(fmt::kDirToRowCount, table.toRows.size());
    for (const UnitRow& row : table.toRows) {
        for (uint16_t unit : row) {
            Put16(file, at, unit);
            at += 2;
        }
    }
    at = Append(file, 512);
    dir(fmt::kDirFromIndex, at);
    for (size_t i = 0; i < 256; ++i) Put16(file, at + 2 * i, table.fromIndex[i]);
    at = Append(file, 1024 * table.fromRows.size());
    dir(fmt::kDirFromRows, at);
    dir(fmt::kDirFromRowCount, table.fromRows.size());
    for (const FromRow& row : table.fromRows) {
        for (uint32_t entry : row) {
            Put32(file, at, entry);
            at += 4;
        }
    }
    at = Append(file, fmt::kPrefixRecordSize * table.prefixes.size());
    dir(fmt::kDirPrefixes, at);
    dir(fmt::kDirPrefixCount, table.prefixes.size());
    for (const std::string& prefix : table.prefixes) {
        file[at] = static_cast<uint8_t>(prefix.size());
        std::copy(prefix.begin(), prefix.end(), file.begin() + at + 1);
        at += fmt::kPrefixRecordSize;
    }
    Put32(file, fmt::kOffFileSize, static_cast<uint32_t>(file.size()));
    return file;
}

std::vector<uint8_t> ParseHex(const std::string& text) {
    std::vector<uint8_t> bytes;
    if (text.size() % 2 != 0 || text.size() / 2 >= fmt::kSubBytesField)
        Fail("bad substitution bytes " + text);
    for (size_t i = 0; i < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

void WriteFile(const std::string& path, const void* data, size_t size) {
    std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) Fail("cannot write " + temp);
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) Fail("cannot rename " + temp);
}

int MakeTable(char** argv) {
    TableBuilder table;
    table.type = std::atoi(argv[3]);
    if (table.type < fmt::kSingleByte || table.type > fmt::kEbcdicMixed) Fail("bad table type");
    EnumerateToUcs(argv[2], table);
    EnumerateFromUcs(argv[2], table);
    std::vector<uint8_t> file = Serialise(table, argv[5], ParseHex(argv[4]));
    WriteFile(argv[6], file.data(), file.size());
    return 0;
}

// Built-in fallback tables --------------------------------------------------------

using ByteTable = std::array<int, 256>;

ByteTable Decode256(const char* name) {
    Decoder decoder(name);
    ByteTable table;
    for (unsigned b = 0; b < 256; ++b) {
        uint16_t unit = 0;
        table[b] = decoder.Decode({static_cast<uint8_t>(b)}, &unit) == Iconv::kOk ? unit : -1;
    }
    return table;
}

// A bijection between two single-byte code pages: shared characters map to each other,
// the forced pairs first, and what only one side has is paired in ascending order.
ByteTable Pair(const ByteTable& from, const ByteTable& to, const std::map<int, int>& forced) {
    ByteTable result;
    result.fill(-1);
    std::array<bool, 256> used{};
    for (auto [a, b] : forced) {
        result[a] = b;
        used[b] = true;
    }
    for (int a = 0; a < 256; ++a) {
        if (result[a] >= 0 || from[a] < 0) continue;
        for (int b = 0; b < 256; ++b) {
            if (!used[b] && to[b] == from[a]) {
                result[a] = b;
                used[b] = true;
                break;
            }
        }
    }
    int next = 0;
    for (int a = 0; a < 256; ++a) {
        if (result[a] >= 0) continue;
        while (used[next]) ++next;
        result[a] = next;
        used[next] = true;
    }
    return result;
}

ByteTable Inverse(const ByteTable& table) {
    ByteTable inverse;
    for (int a = 0; a < 256; ++a) inverse[table[a]] = a;
    return inverse;
}

void PrintTable(FILE* out, const char* name, const ByteTable& table) {
    std::fprintf(out, "constexpr ByteMap %s = {{", name);
    for (int i = 0; i < 256; ++i) {
        std::fprintf(out, "%s0x%02X,", i % 16 == 0 ? "\n    " : " ", table[i]);
    }
    std::fprintf(out, "\n}};\n\n");
}

int MakeFallback(const char* path) {
    const ByteTable latin1 = Decode256("ISO-8859-1");
    const ByteTable pc850 = Decode256("IBM850");
    std::string text;
    FILE* out = std::fopen((std::string(path) + ".tmp").c_str(), "w");
    if (out == nullptr) Fail("cannot write fallback tables");
    std::fprintf(out,
                 "// Generated once by `uconvgen fallback`; the 850 pairing of characters that only\n"
                 "// one side has is ours (docs/codepage-fallback.md).\n"
                 "#include \"fallback_tables.h\"\n\nnamespace qel::codepage {\nnamespace {\n\n");
    const struct {
        const char* glibc;
        const char* tag;
    } pages[] = {{"IBM037", "37"}, {"IBM277", "277"}, {"IBM500", "500"}};
    for (const auto& page : pages) {
        ByteTable ebcdic = Decode256(page.glibc);
        ByteTable fromLatin = Pair(latin1, ebcdic, {});
        std::map<int, int> forced{{0x1A, 0x1C}, {0x1C, 0x07}, {0x7F, 0x3F}};
        ByteTable from850 = Pair(pc850, ebcdic, forced);
        PrintTable(out, (std::string("kLatin1To") + page.tag).c_str(), fromLatin);
        PrintTable(out, (std::string("k") + page.tag + "ToLatin1").c_str(), Inverse(fromLatin));
        PrintTable(out, (std::string("k850To") + page.tag).c_str(), from850);
        PrintTable(out, (std::string("k") + page.tag + "To850").c_str(), Inverse(from850));
    }
    std::fprintf(out,
                 "}  // namespace\n\n"
                 "const FallbackTables& FallbackTablesFor(int32_t ebcdicCcsid) {\n"
                 "    static const FallbackTables k37{kLatin1To37, k37ToLatin1, k850To37, k37To850};\n"
                 "    static const FallbackTables k277{kLatin1To277, k277ToLatin1, k850To277, k277To850};\n"
                 "    static const FallbackTables k500{kLatin1To500, k500ToLatin1, k850To500, k500To850};\n"
                 "    if (ebcdicCcsid == 37) return k37;\n"
                 "    if (ebcdicCcsid == 277) return k277;\n"
                 "    return k500;\n"
                 "}\n\n}  // namespace qel::codepage\n");
    std::fclose(out);
    if (std::rename((std::string(path) + ".tmp").c_str(), path) != 0) Fail("cannot rename");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::strcmp(argv[1], "table") == 0) return MakeTable(argv);
    if (argc == 3 && std::strcmp(argv[1], "fallback") == 0) return MakeFallback(argv[2]);
    std::fprintf(stderr,
                 "usage: uconvgen table <glibc-name> <type> <sub-hex> <code-set-name> <out-file>\n"
                 "       uconvgen fallback <out-file>\n");
    return 2;
}
