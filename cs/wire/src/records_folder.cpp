// records_folder.cpp - folders, their fields, application groups, their field
// definitions and application entries.
#include "qel_cswire.h"
#include "xdr_detail.h"

#include <cstdlib>

using namespace qel_cswire::detail;

bool CsXdr_TextEntry(QelXdr* xdr, void* object, long) {
    auto* e = static_cast<CsXdrTextEntry*>(object);
    return QelXdr_String(xdr, &e->text, CS_XDR_LIST_TEXT_MAX);
}

bool CsXdr_FieldDef(QelXdr* xdr, void* object, long) {
    auto* f = static_cast<CsXdrFieldDef*>(object);
    if (!Field(xdr, f->name) || !QelXdr_Char(xdr, &f->type) || !QelXdr_Byte(xdr, &f->flags)) return false;
    if (f->type == 'S' && (!QelXdr_UShort(xdr, &f->textLength) || !QelXdr_Byte(xdr, &f->textCase)))
        return false;
    if (!QelXdr_UShort(xdr, &f->number) || !ArrayOf(xdr, &f->mapValues, &f->mapCount, CsXdr_TextEntry) ||
        !ArrayOf(xdr, &f->displayValues, &f->displayCount, CsXdr_TextEntry))
        return false;
    for (auto& format : f->formats)
        if (!Field(xdr, format)) return false;
    return true;
}

bool CsXdr_ApplEntry(QelXdr* xdr, void* object, long) {
    auto* a = static_cast<CsXdrApplEntry*>(object);
    if (!Field(xdr, a->name) || !Field(xdr, a->description) ||
        !QelXdr_String(xdr, &a->value, CS_XDR_LIST_TEXT_MAX))
        return false;
    for (auto& flag : a->flags)
        if (!QelXdr_Byte(xdr, &flag)) return false;
    if (!QelXdr_UInt(xdr, &a->number) || !QelXdr_UInt(xdr, &a->options)) return false;
    for (auto& text : a->texts)
        if (!QelXdr_String(xdr, &text, CS_XDR_LIST_TEXT_MAX)) return false;
    return CsXdr_TextEntry(xdr, &a->parameters, 0);
}

bool CsXdr_ApplGroup(QelXdr* xdr, void* object, long) {
    auto* g = static_cast<CsXdrApplGroup*>(object);
    if (Freeing(xdr)) Release(&g->restriction);
    if (!QelXdr_UInt(xdr, &g->number) || !Field(xdr, g->name) || !Field(xdr, g->description) ||
        !Field(xdr, g->prefix) || !QelXdr_UShort(xdr, &g->notePermissions) ||
        !QelXdr_Char(xdr, &g->segmentKind) || !QelXdr_UInt(xdr, &g->rowsPerSegment) ||
        !QelXdr_Byte(xdr, &g->logging) || !QelXdr_UInt(xdr, &g->storageSet) ||
        !QelXdr_Byte(xdr, &g->permissions))
        return false;
    for (auto& word : g->words)
        if (!QelXdr_UInt(xdr, &word)) return false;
    if (!QelXdr_UInt(xdr, &g->flags) || !ArrayOf(xdr, &g->fields, &g->fieldCount, CsXdr_FieldDef) ||
        !ArrayOf(xdr, &g->appls, &g->applCount, CsXdr_ApplEntry))
        return false;
    for (auto& value : g->textSearch.values)
        if (!QelXdr_UShort(xdr, &value)) return false;
    return Field(xdr, g->textSearch.folder);
}

bool CsXdr_FolderField(QelXdr* xdr, void* object, long) {
    auto* f = static_cast<CsXdrFolderField*>(object);
    if (!Field(xdr, f->name) || !Field(xdr, f->description) || !QelXdr_Char(xdr, &f->type[0]) ||
        !QelXdr_Char(xdr, &f->type[1]) || !QelXdr_UShort(xdr, &f->number))
        return false;
    for (auto& attribute : f->attributes)
        if (!QelXdr_UShort(xdr, &attribute)) return false;
    if (!QelXdr_Byte(xdr, &f->flags)) return false;
    for (auto& display : f->display)
        if (!QelXdr_UShort(xdr, &display)) return false;
    for (auto& value : f->defaults)
        if (!CsXdr_Value(xdr, &value, f->type[0])) return false;
    return true;
}

namespace {

bool FieldNumber(QelXdr* xdr, void* object, long) {
    return QelXdr_UShort(xdr, static_cast<uint16_t*>(object));
}

bool FieldMap(QelXdr* xdr, CsXdrFieldMap* map) {
    return ArrayOf(xdr, &map->numbers, &map->count, FieldNumber);
}

// One field map per application group, in the groups' order.
bool FieldMaps(QelXdr* xdr, CsXdrFolder* f) {
    if (Freeing(xdr)) {
        if (f->maps != nullptr)
            for (size_t i = 0; i < f->groupCount; ++i) FieldMap(xdr, &f->maps[i]);
        Release(&f->maps);
        return true;
    }
    if (Decoding(xdr) && f->maps == nullptr && f->groupCount > 0) {
        f->maps = static_cast<CsXdrFieldMap*>(ChargedCalloc(xdr, f->groupCount, sizeof(CsXdrFieldMap)));
        if (f->maps == nullptr) return false;
    }
    for (size_t i = 0; i < f->groupCount; ++i) {
        CsXdrFieldMap none{};
        if (!FieldMap(xdr, f->maps != nullptr ? &f->maps[i] : &none)) return false;
    }
    return true;
}

}  // namespace

bool CsXdr_Folder(QelXdr* xdr, void* object, long) {
    auto* f = static_cast<CsXdrFolder*>(object);
    if (Freeing(xdr)) FieldMaps(xdr, f);  // before the group count is cleared
    return QelXdr_UInt(xdr, &f->number) && Field(xdr, f->name) && Field(xdr, f->description) &&
           QelXdr_Byte(xdr, &f->type) && QelXdr_UShort(xdr, &f->fieldTotal) && QelXdr_UInt(xdr, &f->flags) &&
           ArrayOf(xdr, &f->fields, &f->fieldCount, CsXdr_FolderField) &&
           ArrayOf(xdr, &f->groups, &f->groupCount, CsXdr_ApplGroup) && (Freeing(xdr) || FieldMaps(xdr, f));
}
