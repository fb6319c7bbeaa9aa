// The values of a hit read through the folder's field map, and their display texts.
#include "hit_values.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "arc_datetime.h"
#include "qel_local.h"

namespace qelclient {

const CsXdrFolderField* FolderField(const OpenFolder* folder, int field) {
    if (folder == nullptr || folder->definition == nullptr || field < 0) return nullptr;
    if (field >= folder->fieldCount || field >= folder->definition->fieldCount) return nullptr;
    return &folder->definition->fields[field];
}

int MappedGroupField(const OpenFolder* folder, int groupIndex, int field) {
    if (FolderField(folder, field) == nullptr) return -1;
    const CsXdrFolder& definition = *folder->definition;
    if (groupIndex < 0 || groupIndex >= definition.groupCount || definition.maps == nullptr) return -1;
    const CsXdrFieldMap& map = definition.maps[groupIndex];
    if (field >= map.count || map.numbers == nullptr) return -1;
    const uint16_t number = map.numbers[field];
    if (number == FOLDER_FIELD_UNMAPPED || number >= definition.groups[groupIndex].fieldCount) return -1;
    return number;
}

const CsXdrValue* SlotOf(const CsXdrHitRow* row, int groupField) {
    if (row == nullptr || row->values == nullptr || groupField < 0 || groupField >= row->valueCount)
        return nullptr;
    return &row->values[groupField];
}

int64_t SlotInteger(const CsXdrValue& slot) {
    switch (slot.type) {
        case 'B': return slot.v.big;
        case 'I': return slot.v.integer;
        case 'N': return slot.v.small;
        case 'D':
            // Out of range (and NaN) has no integer; the ends of the range stand for it.
            if (std::isnan(slot.v.real)) return 0;
            if (slot.v.real >= 9.2e18) return INT64_MAX;
            if (slot.v.real <= -9.2e18) return INT64_MIN;
            return static_cast<int64_t>(slot.v.real);
        default: return 0;
    }
}

double SlotReal(const CsXdrValue& slot) {
    return slot.type == 'D' ? slot.v.real : static_cast<double>(SlotInteger(slot));
}

const char* SlotText(const CsXdrValue& slot) {
    if ((slot.type == 'S' || slot.type == 'T') && slot.v.text != nullptr) return slot.v.text;
    return "";
}

namespace {

bool IsText(const CsXdrValue& slot) { return slot.type == 'S' || slot.type == 'T'; }

bool IsDateKind(char kind) { return kind == 'C' || kind == 'D' || kind == 'T' || kind == 'Z'; }

// The value as stored, without date formatting: what the value pairs hold.
void RawText(const CsXdrValue& slot, int precision, std::string* out) {
    char buffer[32];
    switch (slot.type) {
        case 'B': std::snprintf(buffer, sizeof buffer, "%" PRId64, slot.v.big); break;
        case 'I': std::snprintf(buffer, sizeof buffer, "%" PRId32, slot.v.integer); break;
        case 'N': std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(slot.v.small)); break;
        case 'D': FormatDecimal(out, precision, slot.v.real); return;
        case 'S':
        case 'T': *out = SlotText(slot); return;
        default: out->clear(); return;
    }
    *out = buffer;
}

// The display text of the value pair whose stored text equals raw; for a text value
// without one, of the first stored text with a '%' that matches it as a LIKE pattern.
bool PairText(const CsXdrFieldDef& def, const CsXdrValue& slot, const std::string& raw, std::string* out) {
    const uint16_t count = std::min(def.mapCount, def.displayCount);
    if (def.mapValues == nullptr || def.displayValues == nullptr) return false;
    auto display = [&](uint16_t k) {
        const char* text = def.displayValues[k].text;
        *out = text != nullptr ? text : "";
        return true;
    };
    for (uint16_t k = 0; k < count; ++k) {
        const char* stored = def.mapValues[k].text;
        if (stored != nullptr && raw == stored) return display(k);
    }
    if (!IsText(slot)) return false;
    for (uint16_t k = 0; k < count; ++k) {
        const char* stored = def.mapValues[k].text;
        if (stored != nullptr && std::strchr(stored, '%') != nullptr &&
            QelLikeMatch(stored, raw.c_str()) == 1)
            return display(k);
    }
    return false;
}

// A number of a date kind through the date formatter; false when the value does not
// format (the caller then writes the number).
bool DateText(const CsXdrValue& slot, char kind, const char* format, std::string* out) {
    ArcDTValue value;
    value.value = SlotInteger(slot);
    value.format = format != nullptr && format[0] != '\0' ? format : nullptr;
    value.type = kind;
    char buffer[ARC_DT_TEXT_MAX];
    if (ArcDT_FormatValue(buffer, &value) == nullptr) return false;
    *out = buffer;
    return true;
}

}  // namespace

void FieldValueText(const OpenFolder* folder, const SearchHit* hit, int folderField, int groupField,
                    std::string* out) {
    out->clear();
    if (hit == nullptr || hit->group == nullptr) return;
    const CsXdrFolderField* field = folderField >= 0 ? FolderField(folder, folderField) : nullptr;
    if (folderField >= 0) {
        if (field == nullptr) return;
        if (field->type[0] == 'G') {
            *out = hit->group->name;
            return;
        }
        groupField = MappedGroupField(folder, hit->groupIndex, folderField);
    }
    if (groupField < 0 || groupField >= hit->group->fieldCount) return;
    const CsXdrValue* slot = SlotOf(hit->row, groupField);
    if (slot == nullptr) return;
    const CsXdrFieldDef& def = hit->group->fields[groupField];
    const int precision = field != nullptr ? field->user.precision : -1;

    const bool choice = field != nullptr && static_cast<size_t>(folderField) < folder->criteria.size() &&
                        folder->criteria[static_cast<size_t>(folderField)].kind == 'C' &&
                        (field->flags & FOLDER_FIELD_SECOND_LIST) == 0;
    std::string raw;
    RawText(*slot, precision, &raw);
    if (choice && PairText(def, *slot, raw, out)) return;

    const char kind = field != nullptr ? field->type[1] : def.dateType;
    const bool integer = slot->type == 'B' || slot->type == 'I' || slot->type == 'N';
    if (integer && IsDateKind(kind) &&
        DateText(*slot, kind, field != nullptr ? field->user.displayFormat : nullptr, out))
        return;
    *out = std::move(raw);
}

}  // namespace qelclient
