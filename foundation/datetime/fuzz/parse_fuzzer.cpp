// Fuzzes ArcDT_ParseValue (and formatting with the same bytes as format). Input: the
// first byte picks the type letter, the rest is "format\0text" (no zero: text only).
#include "arc_datetime.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const char kLetters[] = "CDTZE";
    const char letter = kLetters[data[0] % (sizeof kLetters - 1)];
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
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
    return 0;
}
