// Character and string helpers. The process code page decides what counts as a letter:
// on a Latin-1 family page the accented letters are letters too, as users of those
// pages expect; on UTF-8 only ASCII bytes are classified and sequences are stepped over.
#include "arc_platform.h"

#include <cstring>
#include <string>

namespace {

bool latinPage() {
    static const bool latin = [] {
        int cp = ArcOS_GetCodePage();
        return cp == 819 || cp == 923;
    }();
    return latin;
}

bool latinLetter(unsigned char c) {
    return (c >= 0xC0 && c != 0xD7 && c != 0xF7) || c == 0xAA || c == 0xB5 || c == 0xBA;
}

unsigned char lowerByte(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7 && latinPage()) return static_cast<unsigned char>(c + 32);
    return c;
}

unsigned char upperByte(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7 && latinPage()) return static_cast<unsigned char>(c - 32);
    return c;
}

int compare(const char* a, const char* b, size_t n, bool fold) {
    if (a == nullptr || b == nullptr) return (a == nullptr ? 0 : 1) - (b == nullptr ? 0 : 1);
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        if (fold) {
            ca = lowerByte(ca);
            cb = lowerByte(cb);
        }
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
    return 0;
}

// Case-blind search within the first n bytes of text; the result points into text.
const char* findFolded(const char* text, const char* sub, size_t n) {
    if (text == nullptr || sub == nullptr) return nullptr;
    size_t textLen = strnlen(text, n);
    size_t subLen = std::strlen(sub);
    if (subLen == 0) return text;
    if (subLen > textLen) return nullptr;
    for (size_t start = 0; start + subLen <= textLen; ++start) {
        size_t i = 0;
        while (i < subLen && lowerByte(static_cast<unsigned char>(text[start + i])) ==
                                 lowerByte(static_cast<unsigned char>(sub[i])))
            ++i;
        if (i == subLen) return text + start;
    }
    return nullptr;
}

bool utf8Page() {
    static const bool utf8 = ArcOS_GetCodePage() == 1208;
    return utf8;
}

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

int ArcOS_StrCmp(const char* a, const char* b) { return compare(a, b, SIZE_MAX, false); }
int ArcOS_StrICmp(const char* a, const char* b) { return compare(a, b, SIZE_MAX, true); }
int ArcOS_StrNCmp(const char* a, const char* b, size_t n) { return compare(a, b, n, false); }
int ArcOS_StrNICmp(const char* a, const char* b, size_t n) { return compare(a, b, n, true); }

char* ArcOS_StrUpper(char* text) {
    if (text != nullptr)
        for (char* p = text; *p; ++p) *p = static_cast<char>(upperByte(static_cast<unsigned char>(*p)));
    return text;
}

char* ArcOS_StrLower(char* text) {
    if (text != nullptr)
        for (char* p = text; *p; ++p) *p = static_cast<char>(lowerByte(static_cast<unsigned char>(*p)));
    return text;
}

int ArcOS_CharUpper(int c) { return upperByte(static_cast<unsigned char>(c)); }
int ArcOS_CharLower(int c) { return lowerByte(static_cast<unsigned char>(c)); }

const char* ArcOS_StrStr(const char* text, const char* sub) {
    if (text == nullptr || sub == nullptr) return nullptr;
    return std::strstr(text, sub);
}

const char* ArcOS_StrIStr(const char* text, const char* sub) { return findFolded(text, sub, SIZE_MAX); }
const char* ArcOS_StrNIStr(const char* text, const char* sub, size_t n) { return findFolded(text, sub, n); }

char* ArcOS_StrTok(char* text, const char* delimiters, char** save) {
    if (save == nullptr || delimiters == nullptr) return nullptr;
    char* p = text != nullptr ? text : *save;
    if (p == nullptr) return nullptr;
    p += std::strspn(p, delimiters);
    if (*p == '\0') {
        *save = p;
        return nullptr;
    }
    char* end = p + std::strcspn(p, delimiters);
    if (*end != '\0') {
        *end = '\0';
        *save = end + 1;
    } else {
        *save = end;
    }
    return p;
}

int ArcOS_IsAlpha(int c) {
    unsigned char b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) return 1;
    return latinPage() && latinLetter(b) ? 1 : 0;
}

int ArcOS_IsDigit(int c) {
    unsigned char b = static_cast<unsigned char>(c);
    return b >= '0' && b <= '9' ? 1 : 0;
}

int ArcOS_IsSpace(int c) {
    unsigned char b = static_cast<unsigned char>(c);
    return b == ' ' || (b >= '\t' && b <= '\r') ? 1 : 0;
}

// None of the process code pages on this system is a double-byte page.
int ArcOS_IsDBCSLeadByte(int) { return 0; }

const char* ArcOS_CharNext(const char* p) {
    if (p == nullptr || *p == '\0') return p;
    ++p;
    if (utf8Page())
        while (*p != '\0' && continuation(static_cast<unsigned char>(*p))) ++p;
    return p;
}

const char* ArcOS_CharPrev(const char* start, const char* p) {
    if (start == nullptr || p == nullptr || p <= start) return start;
    --p;
    if (utf8Page())
        while (p > start && continuation(static_cast<unsigned char>(*p))) --p;
    return p;
}

char* QelStrTrimRight(char* text) {
    if (text == nullptr) return text;
    size_t n = std::strlen(text);
    while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
    return text;
}
