// Fuzzes ArcDT_ParseValue (and formatting with the same bytes as format). Input: the
// first byte picks the type letter (low seven bits); with its top bit set the next
// sizeof(ArcDTNames) bytes (zero-filled when short) are a names block used for this
// input. The rest is "format\0text" (no zero: text only).
#include "arc_datetime.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const char kLetters[] = "CDTZE";
    const char letter = kLetters[(data[0] & 0x7F) % (sizeof kLetters - 1)];
    const bool withNames = (data[0] & 0x80) != 0;
    ++data;
    --size;
    if (withNames) {
        // The block arrives from outside (a session file, the client): no slot need end in zero.
        ArcDTNames names;
        std::memset(&names, 0, sizeof names);
        const size_t taken = size < sizeof names ? size : sizeof names;
        std::memcpy(&names, data, taken);
        data += taken;
        size -= taken;
        ArcDT_SetLocaleNames(&names);
        char buffer[ARC_DT_FORMAT_MAX];
        for (char l : {'C', 'D', 'T', 'Z', 'E'}) {
            const char* format = ArcDT_DefaultFormat(buffer, l);
            if (std::strlen(format) >= ARC_DT_FORMAT_MAX) std::abort();
        }
    }
    const std::string rest(reinterpret_cast<const char*>(data), size);
    const size_t split = rest.find('\0');
    const std::string format = split == std::string::npos ? std::string() : rest.substr(0, split);
    const std::string text = split == std::string::npos ? rest : rest.substr(split + 1);

    ArcDateTime earliest = -7;
    ArcDateTime latest = -7;
    const int rc =
        ArcDT_ParseValue(text.c_str(), format.empty() ? nullptr : format.c_str(), letter, &earliest, &latest);
    if (rc != 0 && rc != -1) std::abort();
    if (rc == 0 && earliest > latest) std::abort();
    if (rc == -1 && (earliest != -7 || latest != -7)) std::abort();

    // Exactly the documented size on the heap, so a write past it is caught.
    std::vector<char> buffer(ARC_DT_TEXT_MAX);
    const ArcDTValue value{rc == 0 ? latest : 13119, format.c_str(), letter};
    ArcDT_FormatValue(buffer.data(), &value);
    // Formatting with every directive shows each name of the block.
    const ArcDTValue all{rc == 0 ? latest : 13119, "%a %A %b %B %p %Z %c %x %X", letter};
    ArcDT_FormatValue(buffer.data(), &all);
    if (withNames) ArcDT_SetLocaleNames(nullptr);
    return 0;
}
