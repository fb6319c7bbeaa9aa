// records_document.cpp - typed values, hit rows, notes, value lists, criteria, named
// queries, printers and print requests.
#include "qel_cswire.h"
#include "xdr_detail.h"

#include <cstdlib>

using namespace qel_cswire::detail;

namespace {

bool IsTextType(char type) { return type == 'S' || type == 'T'; }
bool IsDateType(char type) { return type == 'C' || type == 'D' || type == 'T' || type == 'Z'; }

}  // namespace

bool CsXdr_Value(QelXdr* xdr, CsXdrValue* value, char type) {
    if (Freeing(xdr)) {
        // The slot's own letter says what it holds; no group is needed to free it.
        if (IsTextType(value->type)) Release(&value->v.text);
        return true;
    }
    if (Encoding(xdr) && value->type != 0 && value->type != type) return false;
    if (Decoding(xdr)) value->type = type;
    switch (type) {
        case 'B': return QelXdr_Hyper(xdr, &value->v.big);
        case 'D': return QelXdr_Double(xdr, &value->v.real);
        case 'I': return QelXdr_Int(xdr, &value->v.integer);
        case 'N': return QelXdr_Short(xdr, &value->v.small);
        case 'S':
        case 'T':
            if (Encoding(xdr) && value->type == 0) {
                char* none = nullptr;
                return QelXdr_String(xdr, &none, CS_XDR_VALUE_TEXT_MAX);
            }
            return QelXdr_String(xdr, &value->v.text, CS_XDR_VALUE_TEXT_MAX);
        default: return true;
    }
}

namespace {

// The value slots of a hit row: a presence word, a count, then one value per slot by
// the type of the group's field at the same position.
bool ValueSlots(QelXdr* xdr, CsXdrHitRow* row) {
    if (Freeing(xdr)) {
        if (row->values != nullptr)
            for (size_t i = 0; i < row->valueCount; ++i) CsXdr_Value(xdr, &row->values[i], 0);
        Release(&row->values);
        row->valueCount = 0;
        return true;
    }
    uint32_t absent = row->values == nullptr ? 1 : 0;
    if (!QelXdr_UInt(xdr, &absent) || absent > 1) return false;
    if (absent == 1) return true;
    const CsXdrApplGroup* group = xdr->group;
    uint32_t count = row->valueCount;
    if (!QelXdr_UInt(xdr, &count)) return false;
    if (group == nullptr || count > group->fieldCount || (count > 0 && group->fields == nullptr))
        return false;
    if (Decoding(xdr)) {
        row->values =
            static_cast<CsXdrValue*>(ChargedCalloc(xdr, count == 0 ? 1 : count, sizeof(CsXdrValue)));
        if (row->values == nullptr) return false;
        row->valueCount = static_cast<uint16_t>(count);
    }
    for (size_t i = 0; i < count; ++i)
        if (!CsXdr_Value(xdr, &row->values[i], group->fields[i].type)) return false;
    return true;
}

}  // namespace

bool CsXdr_HitRow(QelXdr* xdr, void* object, long) {
    auto* row = static_cast<CsXdrHitRow*>(object);
    if ((xdr->features & CS_FEATURE_RESERVED_WORD) && !QelXdr_Byte(xdr, &row->noteFlag)) return false;
    return Field(xdr, row->segment) && Optional(xdr, &row->object, CsXdr_ObjectRef) && ValueSlots(xdr, row);
}

bool CsXdr_Note(QelXdr* xdr, void* object, long) {
    auto* n = static_cast<CsXdrNote*>(object);
    return QelXdr_UInt(xdr, &n->number) && Field(xdr, n->userId) && QelXdr_UInt(xdr, &n->flags) &&
           QelXdr_LongValue(xdr, &n->created) && QelXdr_UInt(xdr, &n->color) &&
           QelXdr_String(xdr, &n->text, CS_XDR_LIST_TEXT_MAX) && QelXdr_UInt(xdr, &n->page) &&
           QelXdr_UInt(xdr, &n->attributes) && QelXdr_Opaque(xdr, n->key, sizeof n->key) &&
           QelXdr_Bytes(xdr, &n->data, &n->dataLength, CS_XDR_NOTE_DATA_MAX);
}

bool CsXdr_ValueList(QelXdr* xdr, CsXdrValueItem** list) {
    if (Freeing(xdr)) {
        while (*list != nullptr) {
            CsXdrValueItem* next = (*list)->next;
            Release(&(*list)->text);
            std::free(*list);
            *list = next;
        }
        return true;
    }
    // Each item is linked in before it is filled, so a failure leaves a list that frees.
    CsXdrValueItem** link = list;
    for (uint32_t items = 0;; ++items) {
        uint32_t absent = *link == nullptr ? 1 : 0;
        if (!QelXdr_UInt(xdr, &absent) || absent > 1) return false;
        if (absent == 1) {
            if (Decoding(xdr)) *link = nullptr;
            return true;
        }
        if (Decoding(xdr) && items == CS_XDR_LIST_ITEMS_MAX) {
            xdr->overLimit = 1;
            return false;
        }
        if (Decoding(xdr) && *link == nullptr) {
            *link = static_cast<CsXdrValueItem*>(ChargedCalloc(xdr, 1, sizeof(CsXdrValueItem)));
            if (*link == nullptr) return false;
        }
        CsXdrValueItem* item = *link;
        if (!QelXdr_UShort(xdr, &item->number) || !QelXdr_String(xdr, &item->text, CS_XDR_LIST_TEXT_MAX))
            return false;
        link = &item->next;
    }
}

bool CsXdr_Criteria(QelXdr* xdr, void* object, long) {
    auto* c = static_cast<CsXdrCriteria*>(object);
    if (Freeing(xdr)) {
        for (auto& value : c->values) CsXdr_Value(xdr, &value, 0);
        return true;
    }
    if (!Field(xdr, c->field) || !QelXdr_Char(xdr, &c->type) || !QelXdr_Short(xdr, &c->op)) return false;
    if (IsDateType(c->type)) return Field(xdr, c->dates[0]) && Field(xdr, c->dates[1]);
    return CsXdr_Value(xdr, &c->values[0], c->type) && CsXdr_Value(xdr, &c->values[1], c->type);
}

bool CsXdr_NamedQuery(QelXdr* xdr, void* object, long) {
    auto* q = static_cast<CsXdrNamedQuery*>(object);
    return QelXdr_UInt(xdr, &q->number) && Field(xdr, q->name) &&
           QelXdr_String(xdr, &q->text, CS_XDR_LIST_TEXT_MAX) && QelXdr_UInt(xdr, &q->flags);
}

bool CsXdr_Printer(QelXdr* xdr, void* object, long) {
    auto* p = static_cast<CsXdrPrinter*>(object);
    if (!QelXdr_UInt(xdr, &p->number) || !Field(xdr, p->name) || !Field(xdr, p->description)) return false;
    for (auto& word : p->words)
        if (!QelXdr_UInt(xdr, &word)) return false;
    return true;
}

bool CsXdr_PrintRequest(QelXdr* xdr, void* object, long) {
    auto* r = static_cast<CsXdrPrintRequest*>(object);
    return QelXdr_UInt(xdr, &r->printer) && QelXdr_UInt(xdr, &r->copies) && QelXdr_UInt(xdr, &r->options) &&
           QelXdr_String(xdr, &r->name, CS_XDR_LIST_TEXT_MAX);
}
