// hit_texts.cpp - texts about a hit for messages: where it came from and its key values.
#include "qel_cs.h"
#include "qel_cswire.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

std::string NodeName(const CsStorageNode& node) {
    return std::string(node.name, strnlen(node.name, sizeof node.name));
}

std::string ServerText(const CsStorageNode* node) {
    if (node == nullptr || (node->flags & 0x01) != 0) return "-LOCAL-";
    return std::string(node->serverName, strnlen(node->serverName, sizeof node->serverName));
}

// One value by its type; false for a type that has no key text.
bool AppendValue(std::string& text, char type, const CsXdrValue& value) {
    char buffer[64];
    switch (type) {
        case 'B': std::snprintf(buffer, sizeof buffer, "%" PRId64, value.v.big); break;
        case 'D': std::snprintf(buffer, sizeof buffer, "%.2f", value.v.real); break;
        case 'I': std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value.v.integer)); break;
        case 'N': std::snprintf(buffer, sizeof buffer, "%hd", value.v.small); break;
        case 'S':
            text += '\'';
            if (value.v.text != nullptr) text += value.v.text;
            text += '\'';
            return true;
        default: return false;
    }
    text += buffer;
    return true;
}

}  // namespace

int CsLocationName(CsHandle*, const CsStorageNode* primary, const CsStorageNode* secondary, int bits,
                   std::string* name, int* number, std::string* server) {
    if (name == nullptr || number == nullptr || server == nullptr) return CS_FAILED;
    const CsStorageNode* named = primary;
    const int primaryNumber = primary != nullptr ? primary->number : 0;
    if ((bits & CS_LOC_CACHE) != 0) {
        *name = "-CACHE-";
        *number = primaryNumber;
    } else if ((bits & CS_LOC_EXTERNAL_CACHE) != 0) {
        *name = "-EXTERNAL CACHE-";
        *number = primaryNumber;
    } else if ((bits & CS_LOC_PRIMARY) != 0 && primary != nullptr) {
        *name = NodeName(*primary);
        *number = primary->number;
    } else if ((bits & CS_LOC_SECONDARY) != 0 && secondary != nullptr) {
        named = secondary;
        *name = NodeName(*secondary);
        *number = secondary->number;
    } else {
        *name = "-UNKNOWN-";
        *number = primaryNumber;
    }
    *server = ServerText(named);
    return CS_OK;
}

std::string CsFormatKeyValues(const CsXdrApplGroup* group, const CsXdrHitRow* hit) {
    std::string text;
    if (group == nullptr || hit == nullptr || hit->values == nullptr || group->fields == nullptr) return text;
    const size_t count = hit->valueCount < group->fieldCount ? hit->valueCount : group->fieldCount;
    for (size_t i = 0; i < count && text.size() <= CS_KEY_TEXT_LIMIT; ++i) {
        const CsXdrFieldDef& field = group->fields[i];
        if ((field.flags & 0x20) == 0) continue;
        std::string value;
        if (!AppendValue(value, field.type, hit->values[i])) continue;
        if (!text.empty()) text += ',';
        text += value;
    }
    return text;
}
