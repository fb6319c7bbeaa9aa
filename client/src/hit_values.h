// hit_values.h - reading a hit's values through the folder's field map (internal): the
// slot behind a folder field, the slot as a number or a text, and the display text of a
// value.
#pragma once

#include <cstdint>
#include <string>

#include "qel_client.h"

namespace qelclient {

// The folder field record, or null for an index outside the open folder.
const CsXdrFolderField* FolderField(const OpenFolder* folder, int field);
// The group field that the hit's group maps to the folder field, or -1 (unmapped, no
// group, or an index outside the group).
int MappedGroupField(const OpenFolder* folder, int groupIndex, int field);
// The hit row's slot of the group field, or null when the row has none.
const CsXdrValue* SlotOf(const CsXdrHitRow* row, int groupField);

// The slot as a 64-bit integer ('B', 'I', 'N'; a 'D' value cut toward zero; else 0).
int64_t SlotInteger(const CsXdrValue& slot);
// The slot as a double (integers converted; texts 0).
double SlotReal(const CsXdrValue& slot);
// The slot's text ('S', 'T'); "" for a null text or another type.
const char* SlotText(const CsXdrValue& slot);

// The display text of a value of the hit (docs/hit-list.md): folderField names the
// folder field (-1 to address groupField of the hit's group directly; then the value
// pairs are not looked at and the group field's date kind applies).
void FieldValueText(const OpenFolder* folder, const SearchHit* hit, int folderField, int groupField,
                    std::string* out);

}  // namespace qelclient
