// Character matching of the search builder, aware of double-byte characters.
#include "arc_platform.h"
#include "qel_client.h"

bool Session_MatchLetter(const char* input, const char* letter, const char** next) {
    if (!input || !letter || !*input) return false;
    const unsigned char first = static_cast<unsigned char>(input[0]);
    if (ArcOS_IsDBCSLeadByte(first) && input[1] != '\0') {
        if (input[0] != letter[0] || input[1] != letter[1]) return false;
        if (next) *next = input + 2;
        return true;
    }
    if (ArcOS_CharUpper(first) != static_cast<unsigned char>(letter[0])) return false;
    if (next) *next = input + 1;
    return true;
}

const char* Session_FindChar(const char* c, const char* text) {
    if (!c || !text || !*c) return nullptr;
    const bool wide = ArcOS_IsDBCSLeadByte(static_cast<unsigned char>(c[0])) && c[1] != '\0';
    for (const char* p = text; *p; p = ArcOS_CharNext(p)) {
        if (p[0] != c[0]) continue;
        if (!wide || p[1] == c[1]) return p;
    }
    return nullptr;
}
