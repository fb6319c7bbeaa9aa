// One line-data conversion from input to text, and the formatter's file callbacks: the
// record input and the code-page map loader.
#include <cctype>
#include <cstring>
#include <sstream>

#include "arc_byteorder.h"
#include "line_data_internal.h"
#include "split_internal.h"

namespace afp {

namespace {

constexpr size_t kMapSlot = 80;  // one read takes at most 79 characters
constexpr size_t kMapSlots = 800;

int HexPair(const std::string& field) {
    if (field.size() < 2 || !std::isxdigit(static_cast<unsigned char>(field[0])) ||
        !std::isxdigit(static_cast<unsigned char>(field[1])))
        return 0;
    return std::stoi(field.substr(0, 2), nullptr, 16);
}

}  // namespace

LineDataParms LineData_ParmsFromHeader(std::span<const uint8_t, kLineDataHeaderSize> header,
                                       std::FILE* input) {
    LineDataParms parms;
    parms.shiftHandling = header[0];
    parms.recordFormat = header[1];
    parms.recordLength = QelGetBE32(&header[2]);
    parms.carriageControl = header[6];
    parms.trcFlag = header[7];
    parms.ccsid = QelGetBE32(&header[8]);
    parms.pageHeaderRows = QelGetBE32(&header[12]);
    parms.fieldHeaderRows = QelGetBE32(&header[16]);
    std::memcpy(parms.delimiter.data(), &header[20], parms.delimiter.size());
    parms.input = input;
    return parms;
}

bool LineData_FileIo(LineDataParms& parms, char op, uint64_t value, uint64_t& result, unsigned char* buffer) {
    std::FILE* input = parms.input;
    switch (op) {
        case 'G': {
            if (input == nullptr) return false;
            const off_t position = ftello(input);
            if (position < 0) return false;
            result = static_cast<uint64_t>(position);
            return true;
        }
        case 'R': {
            result = 0;
            if (input == nullptr || (buffer == nullptr && value > 0)) return false;
            const size_t got = std::fread(buffer, 1, static_cast<size_t>(value), input);
            result = got;
            return got == value || !std::ferror(input);
        }
        case 'S':
            if (input == nullptr || value > static_cast<uint64_t>(INT64_MAX)) return false;
            return fseeko(input, static_cast<off_t>(value), SEEK_SET) == 0;
        default: return true;
    }
}

bool LineData_LoadCodePageMap(const std::string& mapDirectory, uint32_t ccsid,
                              std::vector<std::string>& slots) {
    slots.clear();
    if (mapDirectory.empty()) return false;  // no directory, no maps
    std::string path = mapDirectory;
    if (path.back() != '/') path += '/';
    path += std::to_string(ccsid) + ".CP";
    File file(std::fopen(path.c_str(), "r"));
    if (!file) return false;
    char slot[kMapSlot];
    while (slots.size() < kMapSlots && std::fgets(slot, sizeof slot, file.get()) != nullptr)
        slots.emplace_back(slot);
    return true;
}

void FillTableFromMap(const std::vector<std::string>& slots, std::array<uint8_t, 256>& table) {
    table.fill(0x20);
    for (const std::string& slot : slots) {
        if (slot.empty() || slot[0] == ';' || slot[0] == '\n') continue;
        std::istringstream fields(slot);
        std::string field[4];
        if (!(fields >> field[0] >> field[1] >> field[2] >> field[3])) continue;
        const int target = HexPair(field[3]);
        if (target != 0) table[static_cast<size_t>(HexPair(field[1]))] = static_cast<uint8_t>(target);
    }
}

int LineData_ConvertToText(std::FILE* input, std::FILE* output, const std::string& mapDirectory,
                           std::span<const uint8_t, kLineDataHeaderSize> header, uint32_t& lineCount,
                           uint32_t& width) {
    lineCount = 0;
    width = 0;
    if (input == nullptr || output == nullptr) return 0;
    LineDataParms parms = LineData_ParmsFromHeader(header, input);
    LineDataFormatter formatter;
    auto loader = [&mapDirectory](uint32_t ccsid, std::vector<std::string>& slots) {
        return LineData_LoadCodePageMap(mapDirectory, ccsid, slots);
    };
    if (!LineData_Init(formatter, LineData_FileIo, loader)) return 0;
    LineDataDoc* doc = LineData_Open(formatter, parms);
    if (doc == nullptr) return 0;
    for (int32_t n = 0; n < LineData_PageCount(*doc); ++n) {
        if (!LineData_SelectPage(*doc, n)) return 0;
        for (int32_t i = 0;; ++i) {
            const std::optional<std::string_view> line = LineData_GetLine(*doc, i);
            if (!line) break;
            std::fwrite(line->data(), 1, line->size(), output);
            std::fputc('\n', output);
        }
        std::fputc('\f', output);
    }
    // A failed write (a full disk) leaves text missing: no success then.
    if (std::ferror(output)) return 0;
    lineCount = LineData_MaxPageLines(*doc);
    width = LineData_WidestLine(*doc);
    LineData_Close(formatter, doc);
    LineData_Term(formatter);
    return 1;
}

}  // namespace afp
