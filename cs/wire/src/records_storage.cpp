// records_storage.cpp - storage sets and nodes, object references, segments, index-row
// results and data pieces.
#include "qel_cswire.h"
#include "xdr_detail.h"

using namespace qel_cswire::detail;

bool CsXdr_NodeEntry(QelXdr* xdr, void* object, long) {
    auto* n = static_cast<CsXdrNodeEntry*>(object);
    return Field(xdr, n->name) && Field(xdr, n->description) && Field(xdr, n->logon) &&
           Field(xdr, n->password) && Field(xdr, n->serverName) && QelXdr_UInt(xdr, &n->flags) &&
           QelXdr_UShort(xdr, &n->number);
}

bool CsXdr_StorageSet(QelXdr* xdr, void* object, long) {
    auto* s = static_cast<CsXdrStorageSet*>(object);
    return Field(xdr, s->name) && Field(xdr, s->description) && QelXdr_Char(xdr, &s->type) &&
           ArrayOf(xdr, &s->nodes, &s->nodeCount, CsXdr_NodeEntry);
}

bool CsXdr_NodeInfo(QelXdr* xdr, void* object, long) {
    auto* n = static_cast<CsXdrNodeInfo*>(object);
    return QelXdr_UInt(xdr, &n->groupNumber) && QelXdr_UShort(xdr, &n->primaryNode) &&
           QelXdr_UShort(xdr, &n->secondaryNode) && QelXdr_Char(xdr, &n->compression);
}

bool CsXdr_ObjectRef(QelXdr* xdr, void* object, long) {
    auto* o = static_cast<CsXdrObjectRef*>(object);
    return QelXdr_UInt(xdr, &o->offset) && QelXdr_UInt(xdr, &o->length) &&
           QelXdr_UInt(xdr, &o->compressedOffset) && QelXdr_UInt(xdr, &o->compressedLength) &&
           QelXdr_Char(xdr, &o->compression) && QelXdr_Byte(xdr, &o->location) &&
           QelXdr_UInt(xdr, &o->resourceId) && QelXdr_UShort(xdr, &o->primaryNode) &&
           QelXdr_UShort(xdr, &o->secondaryNode) && QelXdr_String(xdr, &o->name, CS_XDR_LIST_TEXT_MAX);
}

bool CsXdr_Segment(QelXdr* xdr, void* object, long) {
    auto* s = static_cast<CsXdrSegment*>(object);
    return QelXdr_UShort(xdr, &s->number) && QelXdr_UShort(xdr, &s->status) && Field(xdr, s->name) &&
           QelXdr_LongValue(xdr, &s->startDate) && QelXdr_LongValue(xdr, &s->stopDate) &&
           QelXdr_LongValue(xdr, &s->rows);
}

bool CsXdr_IndexResult(QelXdr* xdr, void* object, long) {
    auto* r = static_cast<CsXdrIndexResult*>(object);
    if (!Field(xdr, r->segment)) return false;
    for (auto& value : r->values)
        if (!QelXdr_LongValue(xdr, &value)) return false;
    for (auto& word : r->words)
        if (!QelXdr_UInt(xdr, &word)) return false;
    return true;
}

bool CsXdr_DataPiece(QelXdr* xdr, void* object, long) {
    auto* p = static_cast<CsXdrDataPiece*>(object);
    return QelXdr_Char(xdr, &p->letter) && QelXdr_Hyper(xdr, &p->position) &&
           QelXdr_Bytes(xdr, &p->data, &p->length, CS_XDR_DATA_MAX);
}
