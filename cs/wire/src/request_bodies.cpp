// request_bodies.cpp - the body of each request code (the request column of
// qel_csrequests.def).
#include "request_bodies.h"

#include "xdr_detail.h"

using namespace qel_cswire::detail;

namespace {

bool UserRecordHidden(QelXdr* xdr, void* object, long) { return CsXdr_UserRecord(xdr, object, 1); }

bool Word32(QelXdr* xdr, void* object, long) { return QelXdr_UInt(xdr, static_cast<uint32_t*>(object)); }

// The leading word of a data-carrying request: 1 first message, 0 a data message.
bool FirstWord(QelXdr* xdr, uint32_t* first) { return QelXdr_UInt(xdr, first) && *first <= 1; }

}  // namespace

namespace qel_cswire::requests {

bool None(QelXdr*, uint32_t, CsRequestBody*) { return true; }

bool Level(QelXdr* xdr, uint32_t, CsRequestBody* body) { return QelXdr_Int(xdr, &body->level.level); }

bool Logon(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqLogon* b = &body->logon;
    TextModeScope mode(xdr, QELXDR_TEXT_HIDDEN);
    return Field(xdr, b->userId) && Field(xdr, b->password);
}

bool User(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    return Optional(xdr, &body->user.user, CsXdr_UserRecord);
}

bool ChangePassword(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqChangePassword* b = &body->changePassword;
    if (!Optional(xdr, &b->user, UserRecordHidden)) return false;
    {
        TextModeScope mode(xdr, QELXDR_TEXT_HIDDEN);
        if (!Field(xdr, b->newPassword)) return false;
    }
    return QelXdr_UInt(xdr, &b->hasNewPassword);
}

bool UserList(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqUserList* b = &body->userList;
    return QelXdr_String(xdr, &b->name, CS_XDR_LIST_TEXT_MAX) &&
           QelXdr_String(xdr, &b->userFilter, CS_XDR_LIST_TEXT_MAX) && QelXdr_UInt(xdr, &b->number) &&
           QelXdr_UInt(xdr, &b->groupFilter);
}

bool FolderList(QelXdr* xdr, uint32_t code, CsRequestBody* body) {
    CsReqFolderList* b = &body->folderList;
    if (!QelXdr_String(xdr, &b->pattern, CS_XDR_LIST_TEXT_MAX) ||
        !QelXdr_String(xdr, &b->selection1, CS_XDR_LIST_TEXT_MAX) ||
        !QelXdr_String(xdr, &b->selection2, CS_XDR_LIST_TEXT_MAX))
        return false;
    return code != CS_REQ_FOLDER_LIST || QelXdr_Byte(xdr, &b->flags);
}

bool FolderGroups(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqFolderGroups* b = &body->folderGroups;
    return QelXdr_UInt(xdr, &b->folderNumber) && ArrayOf(xdr, &b->names, &b->nameCount, CsXdr_TextEntry);
}

bool Number(QelXdr* xdr, uint32_t, CsRequestBody* body) { return QelXdr_UInt(xdr, &body->number.number); }

bool StorageNodes(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    return QelXdr_UInt(xdr, &body->storageNodes.groupNumber) &&
           QelXdr_UShort(xdr, &body->storageNodes.nodeNumber);
}

bool LoadInfo(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    return QelXdr_UInt(xdr, &body->loadInfo.groupNumber);
}

bool Store(QelXdr* xdr, uint32_t code, CsRequestBody* body) {
    CsReqStore* b = &body->store;
    if (!FirstWord(xdr, &b->first)) return false;
    if (b->first == 0) return QelXdr_Bytes(xdr, &b->data, &b->dataLength, CS_XDR_DATA_MAX);
    if (!Required(xdr, &b->group, CsXdr_ApplGroup)) return false;
    {
        GroupScope scope(xdr, b->group);
        if (!Required(xdr, &b->block, CsXdr_HitRow)) return false;
    }
    if (!Required(xdr, &b->primary, CsXdr_NodeEntry) || !Required(xdr, &b->secondary, CsXdr_NodeEntry) ||
        !Required(xdr, &b->object, CsXdr_ObjectRef))
        return false;
    if (code != CS_REQ_STORE) return true;
    return QelXdr_LongValue(xdr, &b->value) && QelXdr_Byte(xdr, &b->flag1) && QelXdr_Byte(xdr, &b->flag2) &&
           QelXdr_UInt(xdr, &b->word);
}

bool UpdateIndex(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqUpdateIndex* b = &body->updateIndex;
    if (!Required(xdr, &b->group, CsXdr_ApplGroup)) return false;
    GroupScope scope(xdr, b->group);
    return Required(xdr, &b->oldHit, CsXdr_HitRow) && Required(xdr, &b->newHit, CsXdr_HitRow);
}

bool AddIndexRow(QelXdr* xdr, uint32_t code, CsRequestBody* body) {
    CsReqAddIndexRow* b = &body->addIndexRow;
    if (!Required(xdr, &b->group, CsXdr_ApplGroup)) return false;
    {
        GroupScope scope(xdr, b->group);
        if (!Required(xdr, &b->block, CsXdr_HitRow)) return false;
    }
    if (code == CS_REQ_ADD_INDEX_ROW && !CsXdr_ValueList(xdr, &b->rows)) return false;
    return Required(xdr, &b->result, CsXdr_IndexResult) && Required(xdr, &b->segment, CsXdr_Segment) &&
           QelXdr_UInt(xdr, &b->word);
}

bool Search(QelXdr* xdr, uint32_t code, CsRequestBody* body) {
    CsReqSearch* b = &body->search;
    if (!Required(xdr, &b->group, CsXdr_ApplGroup) || !QelXdr_String(xdr, &b->where, CS_XDR_LIST_TEXT_MAX) ||
        !Required(xdr, &b->range, CsXdr_Criteria) || !QelXdr_Byte(xdr, &b->flags))
        return false;
    if (code == CS_REQ_SEARCH_V1) return true;
    if (!CsXdr_ValueList(xdr, &b->noteFilter) || !QelXdr_Byte(xdr, &b->noteLetter)) return false;
    return code != CS_REQ_SEARCH || CsXdr_ValueList(xdr, &b->textSearch);
}

bool DocData(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqDocData* b = &body->docData;
    if (!Required(xdr, &b->group, CsXdr_ApplGroup)) return false;
    {
        GroupScope scope(xdr, b->group);
        if (!Required(xdr, &b->hit, CsXdr_HitRow)) return false;
    }
    if (!Required(xdr, &b->appl, CsXdr_ApplEntry) || !Required(xdr, &b->node, CsXdr_NodeEntry) ||
        !Required(xdr, &b->nodes, CsXdr_NodeInfo))
        return false;
    for (auto& flag : b->flags)
        if (!QelXdr_Byte(xdr, &flag)) return false;
    return true;
}

bool Resources(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqResources* b = &body->resources;
    return Required(xdr, &b->group, CsXdr_ApplGroup) && Required(xdr, &b->node, CsXdr_NodeEntry) &&
           QelXdr_Byte(xdr, &b->flags) && Required(xdr, &b->nodes, CsXdr_NodeInfo);
}

bool Note(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqNote* b = &body->note;
    if (!Required(xdr, &b->group, CsXdr_ApplGroup)) return false;
    {
        GroupScope scope(xdr, b->group);
        if (!Required(xdr, &b->hit, CsXdr_HitRow)) return false;
    }
    return Required(xdr, &b->note, CsXdr_Note);
}

bool Notes(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqNotes* b = &body->notes;
    return QelXdr_UInt(xdr, &b->groupNumber) && Required(xdr, &b->object, CsXdr_ObjectRef) &&
           QelXdr_UInt(xdr, &b->word);
}

bool Queries(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqQueries* b = &body->queries;
    return QelXdr_UInt(xdr, &b->folderNumber) && QelXdr_UInt(xdr, &b->userNumber) &&
           ArrayOf(xdr, &b->entries, &b->count, CsXdr_TextEntry);
}

bool Numbers(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    return ArrayOf(xdr, &body->numbers.numbers, &body->numbers.count, Word32);
}

bool StoreObject(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqStoreObject* b = &body->storeObject;
    if (!FirstWord(xdr, &b->first)) return false;
    if (b->first == 0) return QelXdr_Bytes(xdr, &b->data, &b->dataLength, CS_XDR_DATA_MAX);
    return Required(xdr, &b->group, CsXdr_ApplGroup) && Required(xdr, &b->primary, CsXdr_NodeEntry) &&
           Required(xdr, &b->secondary, CsXdr_NodeEntry) && QelXdr_Byte(xdr, &b->location) &&
           QelXdr_String(xdr, &b->objectName, CS_XDR_LIST_TEXT_MAX) && QelXdr_Byte(xdr, &b->flag1) &&
           QelXdr_Byte(xdr, &b->flag2) && QelXdr_LongValue(xdr, &b->value);
}

bool SegmentData(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqSegmentData* b = &body->segmentData;
    return Required(xdr, &b->group, CsXdr_ApplGroup) && Required(xdr, &b->primary, CsXdr_NodeEntry) &&
           Required(xdr, &b->secondary, CsXdr_NodeEntry) && QelXdr_Byte(xdr, &b->location) &&
           QelXdr_String(xdr, &b->objectName, CS_XDR_LIST_TEXT_MAX) && QelXdr_UInt(xdr, &b->words[0]) &&
           QelXdr_UInt(xdr, &b->words[1]);
}

bool LogMessage(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqLogMessage* b = &body->logMessage;
    if (!FirstWord(xdr, &b->first)) return false;
    if (b->first == 0) return QelXdr_Bytes(xdr, &b->data, &b->dataLength, CS_XDR_DATA_MAX);
    return QelXdr_UInt(xdr, &b->messageNumber) &&
           ArrayOf(xdr, &b->objects, &b->objectCount, CsXdr_ObjectRef) &&
           Required(xdr, &b->object, CsXdr_ObjectRef) && QelXdr_Byte(xdr, &b->byte) &&
           QelXdr_UInt(xdr, &b->word);
}

bool HitItems(QelXdr* xdr, uint32_t code, CsRequestBody* body) {
    return CsXdrHitItems(xdr, code, &body->hitItems);
}

bool ServerPrint(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqServerPrint* b = &body->serverPrint;
    if (!FirstWord(xdr, &b->first)) return false;
    if (b->first == 0) return CsXdrHitItems(xdr, CS_REQ_HIT_ITEMS, &b->items);
    return Required(xdr, &b->print, CsXdr_PrintRequest) &&
           QelXdr_String(xdr, &b->text, CS_XDR_LIST_TEXT_MAX) &&
           ArrayOf(xdr, &b->entries, &b->count, CsXdr_TextEntry);
}

bool DocObject(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqDocObject* b = &body->docObject;
    if (!Required(xdr, &b->group, CsXdr_ApplGroup) || !Required(xdr, &b->primary, CsXdr_NodeEntry) ||
        !Required(xdr, &b->secondary, CsXdr_NodeEntry) || !QelXdr_Byte(xdr, &b->location))
        return false;
    {
        GroupScope scope(xdr, b->group);
        if (!Required(xdr, &b->hit, CsXdr_HitRow)) return false;
    }
    return QelXdr_String(xdr, &b->text, CS_XDR_LIST_TEXT_MAX) && QelXdr_UInt(xdr, &b->words[0]) &&
           QelXdr_UInt(xdr, &b->words[1]);
}

bool Token(QelXdr* xdr, uint32_t, CsRequestBody* body) {
    CsReqToken* b = &body->token;
    if (!FirstWord(xdr, &b->first)) return false;
    if (b->first == 1) {
        TextModeScope mode(xdr, QELXDR_TEXT_HIDDEN);
        if (!Field(xdr, b->userId)) return false;
    }
    return QelXdr_Bytes(xdr, &b->token, &b->length, CS_XDR_TOKEN_MAX);
}

}  // namespace qel_cswire::requests

bool CsXdrHitItems(QelXdr* xdr, uint32_t code, CsReqHitItems* b) {
    if (!FirstWord(xdr, &b->more)) return false;
    if (b->more == 0) {
        if (!QelXdr_UInt(xdr, &b->endWord)) return false;
        return code == CS_REQ_PROCESS_HITS ? CsXdr_ValueList(xdr, &b->values) : QelXdr_Byte(xdr, &b->endByte);
    }
    if (!QelXdr_UInt(xdr, &b->word) || !Optional(xdr, &b->group, CsXdr_ApplGroup)) return false;
    // Without a group of its own the item belongs to the group of the item before,
    // which the caller leaves in xdr->group.
    GroupScope scope(xdr, b->group != nullptr ? b->group : xdr->group);
    if (code == CS_REQ_PROCESS_HITS && !Required(xdr, &b->appl, CsXdr_ApplEntry)) return false;
    return Required(xdr, &b->hit, CsXdr_HitRow) && QelXdr_UInt(xdr, &b->word2);
}
