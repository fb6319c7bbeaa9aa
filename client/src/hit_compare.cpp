// The order of two hits by the folder's sort keys, and whether two hits name one
// document.
#include <cmath>
#include <cstring>
#include <string>

#include "hit_values.h"

using namespace qelclient;

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

template <typename T>
int Order(T a, T b) {
    return (b < a) - (a < b);
}

// Doubles in a total order: NaN equals NaN and follows every number, so that the list
// stays in one order whatever the rows hold.
int OrderReal(double a, double b) {
    const bool nanA = std::isnan(a), nanB = std::isnan(b);
    if (nanA || nanB) return Order(nanA, nanB);
    return Order(a, b);
}

// One key of two hits: the sign of first compared with second, ascending.
int CompareKey(const OpenFolder* folder, const SearchHit* first, const SearchHit* second, int field) {
    const CsXdrFolderField* def = FolderField(folder, field);
    if (def == nullptr) return 0;
    const char type = def->type[0];
    const int a = MappedGroupField(folder, first->groupIndex, field);
    const int b = MappedGroupField(folder, second->groupIndex, field);
    if (type != 'G' && (a < 0 || b < 0)) return 0;
    if (static_cast<size_t>(field) < folder->criteria.size() &&
        folder->criteria[static_cast<size_t>(field)].kind == 'C') {
        // Byte order of the display texts: the same on every host, whatever its locale.
        std::string textA, textB;
        FieldValueText(folder, first, field, -1, &textA);
        FieldValueText(folder, second, field, -1, &textB);
        return Sign(std::strcmp(textA.c_str(), textB.c_str()));
    }
    const CsXdrValue* slotA = SlotOf(first->row, a);
    const CsXdrValue* slotB = SlotOf(second->row, b);
    if (slotA == nullptr || slotB == nullptr) return 0;
    switch (type) {
        case 'B':
        case 'I':
        case 'N': return Order(SlotInteger(*slotA), SlotInteger(*slotB));
        case 'D': return OrderReal(SlotReal(*slotA), SlotReal(*slotB));
        case 'S': return Sign(std::strcmp(SlotText(*slotA), SlotText(*slotB)));
        default: return 0;
    }
}

}  // namespace

int Hit_Compare(ClientSession*, const OpenFolder* folder, const SearchHit* first, const SearchHit* second,
                std::span<const FolderSortKey> keys) {
    if (folder == nullptr || first == nullptr || second == nullptr) return 0;
    for (const FolderSortKey& key : keys) {
        const int order = CompareKey(folder, first, second, key.field);
        if (order != 0) return key.ascending ? order : -order;
    }
    return 0;
}

int Hit_IsSameDocument(const SearchHit* first, const SearchHit* second) {
    if (first == nullptr || second == nullptr) return 1;
    if (first->exitHit || second->exitHit)
        return first->exitHit && second->exitHit && first->exitId == second->exitId ? 0 : 1;
    // The row carries no group, and the slots are typed by it: rows of two groups differ.
    if (first->group == nullptr || second->group == nullptr || first->group->number != second->group->number)
        return 1;
    return CsMatchDocId(first->group, first->row, second->row) == 0 ? 0 : 1;
}
