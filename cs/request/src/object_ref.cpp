// object_ref.cpp - the object reference of a later object of a multi-object document.
#include "qel_cs.h"
#include "qel_cswire.h"

#include <cstdlib>
#include <cstring>
#include <string>

int CsMakeObjectRef(const CsObjectPages* table, int n, const CsXdrObjectRef* templ, CsXdrObjectRef* out) {
    if (table == nullptr || templ == nullptr || out == nullptr) return CS_FAILED;
    if (n < 1 || static_cast<uint32_t>(n) > table->count || table->perPage == 0 || table->pages == nullptr)
        return CS_FAILED;
    const uint32_t index = static_cast<uint32_t>(n) - 1;
    const CsObjectPageEntry* page = table->pages[index / table->perPage];
    if (page == nullptr) return CS_FAILED;
    const CsObjectPageEntry& entry = page[index % table->perPage];
    const size_t suffixLength = strnlen(entry.name, sizeof entry.name);
    if (suffixLength < 2) return CS_FAILED;

    // The later objects differ from the first in the two letters three places after the
    // name's first letter; a name too short for them is refused, never cut or overrun.
    constexpr size_t kSuffixAt = 3;
    std::string name = templ->name != nullptr ? templ->name : "";
    if (name.size() < kSuffixAt + 2) return CS_FAILED;
    name[kSuffixAt] = entry.name[0];
    name[kSuffixAt + 1] = entry.name[1];
    name.resize(kSuffixAt + 2);

    char* copy = static_cast<char*>(std::malloc(name.size() + 1));
    if (copy == nullptr) return CS_NO_MEMORY;
    std::memcpy(copy, name.c_str(), name.size() + 1);
    *out = *templ;
    out->compressedOffset = entry.offset;
    out->compressedLength = entry.length;
    out->name = copy;
    return CS_OK;
}
