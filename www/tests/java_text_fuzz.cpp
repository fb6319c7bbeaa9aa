// The servlet's text conversions between the JVM's UTF-16 and the gateway's bytes.
// The input is both: the bytes of a reply header, and (byte pairs, little-endian) a
// UTF-16 text from the JVM.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "java_text.h"

namespace {

using qelwww::detail::BytesToUtf16;
using qelwww::detail::IsPlainAscii;
using qelwww::detail::Utf16ToUtf8;

bool High(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool Low(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The text with every unpaired surrogate as U+FFFD.
std::u16string Repaired(std::u16string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (High(text[i]) && i + 1 < text.size() && Low(text[i + 1])) {
            out += text[i];
            out += text[++i];
        } else {
            out += High(text[i]) || Low(text[i]) ? u'\uFFFD' : text[i];
        }
    }
    return out;
}

bool WellFormed(std::u16string_view text) { return Repaired(text) == text; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::u16string wide;
    for (size_t i = 0; i + 1 < size; i += 2) wide += static_cast<char16_t>(data[i] | data[i + 1] << 8);

    // JVM text to UTF-8 and back: the same text, with unpaired surrogates replaced.
    const std::string utf8 = Utf16ToUtf8(wide);
    if (BytesToUtf16(utf8) != Repaired(wide)) std::abort();

    // Reply bytes to the JVM: always well-formed UTF-16; valid UTF-8 comes through whole.
    const std::u16string fromBytes = BytesToUtf16(bytes);
    if (!WellFormed(fromBytes)) std::abort();
    const std::string again = Utf16ToUtf8(fromBytes);
    if (BytesToUtf16(again) != fromBytes) std::abort();
    if (IsPlainAscii(bytes)) {
        if (fromBytes.size() != bytes.size()) std::abort();
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (fromBytes[i] != static_cast<unsigned char>(bytes[i])) std::abort();
        }
    }
    if (fromBytes.find(u'\uFFFD') == std::u16string::npos && again != bytes) std::abort();
    return 0;
}
