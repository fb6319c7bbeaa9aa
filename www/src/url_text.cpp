// Text helpers for URLs, parameter values and HTML.
#include "qel_www.h"

#include "arc_platform.h"

#include <cstring>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;  // the decoder has always counted anything else as 0
}

bool IsAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool KeepsAt(const QelWWWSession* session) {
    if (session == nullptr) return false;
    return session->browserKind == QELWWW_BROWSER_IE ||
           (session->browserKind == QELWWW_BROWSER_NETSCAPE && session->browserMajor == 3);
}

bool Kept(unsigned char c, bool strict, bool keepAt) {
    if (IsAsciiAlnum(c) || c == '.') return true;
    if (strict) return false;
    return c == '_' || c == '-' || c == '*' || (c == '@' && keepAt);
}

// Decodes [text, text+length) into out; out may equal text (the result never grows).
size_t DecodeInto(const char* text, size_t length, char* out) {
    size_t w = 0;
    for (size_t r = 0; r < length; ++r) {
        char c = text[r];
        if (c == '+') {
            out[w++] = ' ';
        } else if (c == '%' && length - r > 2) {
            out[w++] = static_cast<char>(HexValue(text[r + 1]) * 16 + HexValue(text[r + 2]));
            r += 2;
        } else {
            out[w++] = c;  // also a '%' too close to the end to carry two digits
        }
    }
    return w;
}

}  // namespace

char* QelWWW_UrlEncode(const QelWWWConfig*, const QelWWWSession* session, const char* text, char* output,
                       bool strict) {
    if (output == nullptr) return nullptr;
    std::string encoded = QelWWW_UrlEncode(session, text ? text : "", strict);
    std::memcpy(output, encoded.c_str(), encoded.size() + 1);
    return output;
}

std::string QelWWW_UrlEncode(const QelWWWSession* session, std::string_view text, bool strict) {
    static const char kHex[] = "0123456789ABCDEF";
    bool keepAt = KeepsAt(session);
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (Kept(c, strict, keepAt)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

char* QelWWW_PercentDecode(char* text) {
    if (text == nullptr) return nullptr;
    size_t length = std::strlen(text);
    text[DecodeInto(text, length, text)] = '\0';
    return text;
}

void QelWWW_PercentDecode(std::string* text) {
    if (text == nullptr) return;
    text->resize(DecodeInto(text->data(), text->size(), text->data()));
}

void QelWWW_EncodeNul(std::string* text) {
    if (text == nullptr || text->find('\0') == std::string::npos) return;
    std::string encoded;
    encoded.reserve(text->size() + 32);
    for (char c : *text) {
        if (c == '\0') {
            encoded += "%00";
        } else {
            encoded += c;
        }
    }
    *text = std::move(encoded);
}

char* QelWWW_ReplaceChar(char* text, char c, char n) {
    if (text == nullptr) return nullptr;
    for (char* p = text; *p != '\0'; ++p) {
        if (*p == c) *p = n;
    }
    return text;
}

std::optional<std::string> QelWWW_ReplaceCharByText(const char* text, char c, const char* replacement) {
    if (text == nullptr || replacement == nullptr) return std::nullopt;
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (ArcOS_IsDBCSLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') {
            out.append(p, 2);  // a double-byte character never matches a single-byte one
            ++p;
        } else if (*p == c) {
            out += replacement;
        } else {
            out += *p;
        }
    }
    return out;
}

bool QelWWW_IsNumber(const char* text) {
    if (text == nullptr) return true;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
    }
    return true;
}

std::string QelWWW_HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}
