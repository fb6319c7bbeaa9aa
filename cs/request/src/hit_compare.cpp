// hit_compare.cpp - whether two hits name the same document.
#include "qel_cs.h"
#include "qel_cswire.h"

#include <cstring>

namespace {

bool SameText(const char* a, const char* b) {
    return std::strcmp(a != nullptr ? a : "", b != nullptr ? b : "") == 0;
}

bool SameObject(const CsXdrObjectRef* a, const CsXdrObjectRef* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return a->offset == b->offset && a->length == b->length && a->compressedOffset == b->compressedOffset &&
           a->compressedLength == b->compressedLength && SameText(a->name, b->name);
}

bool SameValue(char type, const CsXdrValue& a, const CsXdrValue& b) {
    switch (type) {
        case 'B': return a.v.big == b.v.big;
        case 'I': return a.v.integer == b.v.integer;
        case 'N': return a.v.small == b.v.small;
        case 'D': return a.v.real == b.v.real;  // -0.0 equals 0.0
        case 'S':
        case 'T': return SameText(a.v.text, b.v.text);
        default: return true;  // a slot of another type carries no value
    }
}

}  // namespace

int CsSameDocument(const CsXdrHitRow* first, const CsXdrHitRow* second) {
    if (first == nullptr || second == nullptr) return first == second ? 0 : 1;
    return SameObject(first->object, second->object) ? 0 : 1;
}

int CsMatchDocId(const CsXdrApplGroup* group, const CsXdrHitRow* first, const CsXdrHitRow* second) {
    if (group == nullptr || first == nullptr || second == nullptr) return 1;
    if (CsSameDocument(first, second) != 0) return 1;
    if (first->valueCount != second->valueCount) return 1;
    if (first->valueCount > group->fieldCount) return 1;
    if (first->valueCount > 0 && (first->values == nullptr || second->values == nullptr)) return 1;
    for (size_t i = 0; i < first->valueCount; ++i)
        if (!SameValue(group->fields[i].type, first->values[i], second->values[i])) return 1;
    return 0;
}

int CsHasDollar(const char* text) { return text != nullptr && std::strchr(text, '$') != nullptr ? 1 : 0; }
