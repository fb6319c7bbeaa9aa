// Internal: texts between the JVM (UTF-16) and the gateway (bytes, UTF-8 on the way in),
// and the check of UTF-8 that request values pass.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qelwww::detail {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Reply bytes (headers) to UTF-16: valid UTF-8 as such, any other byte as U+FFFD. The
// JVM never sees bytes that are not modified UTF-8.
std::u16string BytesToUtf16(std::string_view bytes);
// True when the bytes are well-formed UTF-8: no overlong form, no surrogate, nothing past
// U+10FFFF, no stray or cut-off byte.
bool IsUtf8(std::string_view bytes);
// True when every byte is 1..127, which NewStringUTF takes as it stands.
bool IsPlainAscii(std::string_view bytes);

}  // namespace qelwww::detail
