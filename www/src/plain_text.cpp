// The one escape of the plain-text replies (docs/www-replies.md).
#include "plain_text.h"

namespace qelwww::detail {

PlainFraming Framing(const QelWWWConfig* config) {
    PlainFraming framing;
    if (config == nullptr) return framing;
    if (config->beginChar != 0) framing.begin = config->beginChar;
    if (config->endChar != 0) framing.end = config->endChar;
    if (config->separatorChar != 0) framing.separator = config->separatorChar;
    return framing;
}

std::string PlainEscape(const QelWWWConfig* config, std::string_view text, char alsoEscaped) {
    static const char kHex[] = "0123456789ABCDEF";
    const PlainFraming framing = Framing(config);
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const bool escaped = c == '\r' || c == '\n' || c == '%' || c == framing.begin || c == framing.end ||
                             c == framing.separator || (alsoEscaped != 0 && c == alsoEscaped);
        if (!escaped) {
            out += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    return out;
}

}  // namespace qelwww::detail
