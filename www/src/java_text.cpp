#include "java_text.h"

namespace qelwww::detail {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string* out, char32_t c) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string* out, char32_t c) {
    if (c < 0x10000) {
        *out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        *out += static_cast<char16_t>(0xD800 | (c >> 10));
        *out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

// Length of a valid UTF-8 sequence at text[at] and its code point; 0 when invalid.
size_t DecodeUtf8(std::string_view text, size_t at, char32_t* code) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    size_t length;
    char32_t value;
    char32_t minimum;
    if (lead < 0x80) {
        *code = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *code = value;
    return length;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(&out, c);
    }
    return out;
}

std::u16string BytesToUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    size_t at = 0;
    while (at < bytes.size()) {
        char32_t code = 0;
        size_t length = DecodeUtf8(bytes, at, &code);
        if (length == 0) {
            code = kReplacement;
            length = 1;
        }
        AppendUtf16(&out, code);
        at += length;
    }
    return out;
}

bool IsUtf8(std::string_view bytes) {
    char32_t code = 0;
    for (size_t at = 0; at < bytes.size();) {
        size_t length = DecodeUtf8(bytes, at, &code);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

bool IsPlainAscii(std::string_view bytes) {
    for (char c : bytes) {
        if (c == '\0' || static_cast<unsigned char>(c) > 0x7F) return false;
    }
    return true;
}

}  // namespace qelwww::detail
