// The three delimiter bytes of parameter text, set once for the server's code page.
#include "qel_parm.h"

#include <atomic>

#include "arc_codepage.h"
#include "parm_values.h"

namespace {

// open | close << 8 | at << 16, one word so readers never see a half-set triple.
constexpr uint32_t Pack(unsigned char open, unsigned char close, unsigned char at) {
    return uint32_t(open) | uint32_t(close) << 8 | uint32_t(at) << 16;
}
std::atomic<uint32_t> delimiters{Pack('[', ']', '@')};

// "[", "]" and "@" of code page 500 in the target EBCDIC code page, or nothing.
bool ConvertFrom500(ArcIconvContext* context, int32_t ccsid, unsigned char out[3]) {
    ArcIconvHandle* handle = nullptr;
    if (ArcICONV_Open(context, 500, ccsid, &handle) != ARC_ICONV_OK) return false;
    const char source[3] = {'\x4A', '\x5A', '\x7C'};
    char target[8] = {};
    size_t length = sizeof target;
    int rc = ArcICONV_Convert(handle, source, sizeof source, target, &length);
    ArcICONV_Close(handle);
    if (rc != ARC_ICONV_OK || length != 3) return false;
    for (int i = 0; i < 3; ++i) out[i] = static_cast<unsigned char>(target[i]);
    return true;
}

}  // namespace

namespace qelparm::detail {

ParmDelims CurrentDelims() {
    uint32_t word = delimiters.load(std::memory_order_acquire);
    return {char(word & 0xFF), char((word >> 8) & 0xFF), char((word >> 16) & 0xFF)};
}

std::string ReservedName(std::string_view name) {
    std::string out(name);
    char at = CurrentDelims().at;
    for (char& c : out)
        if (c == '@') c = at;
    return out;
}

}  // namespace qelparm::detail

int ParmSetDelimiters(ArcIconvContext* context, int32_t ccsid, char* out) {
    unsigned char bytes[3] = {'[', ']', '@'};
    if (context != nullptr && ArcICONV_IsEbcdicCcsid(ccsid)) {
        unsigned char converted[3];
        if (ConvertFrom500(context, ccsid, converted))
            for (int i = 0; i < 3; ++i) bytes[i] = converted[i];
    }
    delimiters.store(Pack(bytes[0], bytes[1], bytes[2]), std::memory_order_release);
    if (out != nullptr)
        for (int i = 0; i < 3; ++i) out[i] = static_cast<char>(bytes[i]);
    return PARM_OK;
}

char ParmOpenDelimiter() { return qelparm::detail::CurrentDelims().open; }
char ParmCloseDelimiter() { return qelparm::detail::CurrentDelims().close; }
std::string ParmFixedSection() { return qelparm::detail::ReservedName("@_FIXED_@"); }
std::string ParmPrintOptionsSection() { return qelparm::detail::ReservedName("@_PRINT_OPTIONS_@"); }
std::string ParmPageIdSection() { return qelparm::detail::ReservedName("@_PageIdentifier_@"); }
