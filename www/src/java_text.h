// Internal: texts between the JVM (UTF-16) and the gateway (bytes, UTF-8 on the way in).
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
// True when every byte is 1..127, which NewStringUTF takes as it stands.
bool IsPlainAscii(std::string_view bytes);

}  // namespace qelwww::detail
