// request_bodies.cpp - the body of each request code.
#include "request_bodies.h"

#include "xdr_detail.h"

using namespace qel_cswire::detail;

namespace {

bool UserRecordHidden(QelXdr* xdr, void* object, long) { return CsXdr_UserRecord(xdr, object, 1); }

bool Word32(QelXdr* xdr, void* object, long) { return QelXdr_UInt(xdr, static_cast<uint32_t*>(object)); }

// The leading word of a data-carrying request: 1 first message, 0 a data message.
bool FirstWord(QelXdr* xdr, uint32_t* first) { return QelXdr_UInt(xdr, first) && *first <= 1; }

bool Logon(QelXdr* xdr, CsReqLogon* b) {
    TextModeScope mode(xdr, QELXDR_TEXT_HIDDEN);
    return Field(xdr, b->userId) && Field(xdr, b->password);
}

bool ChangePassword(QelXdr* xdr, CsReqChangePassword* b) {
    if (!Optional(xdr, &b->user, UserRecordHidden)) return false;
    {
        TextModeScope mode(xdr, QELXDR_TEXT_HIDDEN);
        if (!Field(xdr, b->newPassword)) return false;
    }
    return QelXdr_UInt(xdr, &b->hasNewPassword);
}

bool UserList(QelXdr* xdr, CsReqUserList* b) {
    return QelXdr_String(xdr, &b->name, CS_XDR_LIST_TEXT_MAX) &&
           QelXdr_String(xdr, &b->userFilter, CS_XDR_LIST_TEXT_MAX) &&
           QelXdr_UInt(xdr, &b->number) && QelXdr_UInt(xdr, &b->groupFilter);
}

bool FolderList(QelXdr* xdr, uint32_t code, CsReqFolderList* b) {
    if (!QelXdr_String(xdr, &b->pattern, CS_XDR_LIST_TEXT_MAX) ||
        !QelXdr_String(xdr, &b->selection1, CS_XDR_LIST_TEXT_MAX) ||
        !QelXdr_String(xdr, &b->selection2, CS_XDR_LIST_TEXT_MAX))
        return false;
    return code != 121 || QelXdr_Byte(xdr, &b->flags);
}

bool Store(QelXdr* xdr, uint32_t code, CsReqStore* b) {
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
    if (code != 96) return true;
    return QelXdr_LongValue(xdr, &b->value) && QelXdr_Byte(xdr, &b->flag1) &&
           QelXdr_Byte(xdr, &b->flag2) && QelXdr_UInt(xdr, &b->word);
}

bool UpdateIndex(QelXdr* xdr, CsReqUpdateIndex* b) {
    if (!Required(xdr, &b->group, CsXdr_ApplGroup)) return false;
    GroupScope scope(xdr, b->group);
    return Required(xdr, &b->oldHit, CsXdr_HitRow) && Required(xdr, &b->newHit, CsXdr_HitRow);
}

bool AddIndexRow(QelXdr* xdr, uint32_t code, CsReqAddIndexRow* b) {
    if (!Required(xdr, &b->group, CsXdr_ApplGroup)) return false;
    {
        GroupScope scope(xdr, b->group);
        if (!Required(xdr, &b->block, CsXdr_HitRow)) return false;
    }
    if (code == 103 && !CsXdr_ValueList(xdr, &b->rows)) return false;
    return Required(xdr, &b->result, CsXdr_IndexResult) && Required(xdr, &b->segment, CsXdr_Segment) &&
           QelXdr_UInt(xdr, &b->word);
}

bool Search(QelXdr* xdr, uint32_t code, CsReqSearch* b) {
    if (!Required(xdr, &b->group, CsXdr_ApplGroup) ||
        !QelXdr_String(xdr, &b->where, CS_XDR_LIST_TEXT_MAX) ||
        !Required(xdr, &b->range, CsXdr_Criteria) || !QelXdr_Byte(xdr, &b->flags))
        return false;
    if (code == 59) return true;
    if (!CsXdr_ValueList(xdr, &b->noteFilter) || !QelXdr_Byte(xdr, &b->noteLetter)) return false;
    return code != 112 || CsXdr_ValueList(xdr, &b->textSearch);
}

bool DocData(QelXdr* xdr, CsReqDocData* b) {
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

bool Resources(QelXdr* xdr, CsReqResources* b) {
    return Required(xdr, &b->group, CsXdr_ApplGroup) && Required(xdr, &b->node, CsXdr_NodeEntry) &&
           QelXdr_Byte(xdr, &b->flags) && Required(xdr, &b->nodes, CsXdr_NodeInfo);
}

bool Note(QelXdr* xdr, CsReqNote* b) {
    if (!Required(xdr, &b->group, CsXdr_ApplGroup)) return false;
    {
        GroupScope scope(xdr, b->group);
        if (!Required(xdr, &b->hit, CsXdr_HitRow)) return false;
    }
    return Required(xdr, &b->note, CsXdr_Note);
}

bool Notes(QelXdr* xdr, CsReqNotes* b) {
    return QelXdr_UInt(xdr, &b->groupNumber) && Required(xdr, &b->object, CsXdr_ObjectRef) &&
           QelXdr_UInt(xdr, &b->word);
}

bool Queries(QelXdr* xdr, CsReqQueries* b) {
    return QelXdr_UInt(xdr, &b->folderNumber) && QelXdr_UInt(xdr, &b->userNumber) &&
           ArrayOf(xdr, &b->entries, &b->count, CsXdr_TextEntry);
}

bool StoreObject(QelXdr* xdr, CsReqStoreObject* b) {
    if (!FirstWord(xdr, &b->first)) return false;
    if (b->first == 0) return QelXdr_Bytes(xdr, &b->data, &b->dataLength, CS_XDR_DATA_MAX);
    return Required(xdr, &b->group, CsXdr_ApplGroup) && Required(xdr, &b->primary, CsXdr_NodeEntry) &&
           Required(xdr, &b->secondary, CsXdr_NodeEntry) && QelXdr_Byte(xdr, &b->location) &&
           QelXdr_String(xdr, &b->objectName, CS_XDR_LIST_TEXT_MAX) &&
           QelXdr_Byte(xdr, &b->flag1) && QelXdr_Byte(xdr, &b->flag2) &&
           QelXdr_LongValue(xdr, &b->value);
}

bool SegmentData(QelXdr* xdr, CsReqSegmentData* b) {
    return Required(xdr, &b->group, CsXdr_ApplGroup) && Required(xdr, &b->primary, CsXdr_NodeEntry) &&
           Required(xdr, &b->secondary, CsXdr_NodeEntry) && QelXdr_Byte(xdr, &b->location) &&
           QelXdr_String(xdr, &b->objectName, CS_XDR_LIST_TEXT_MAX) &&
           QelXdr_UInt(xdr, &b->words[0]) && QelXdr_UInt(xdr, &b->words[1]);
}

bool LogMessage(QelXdr* xdr, CsReqLogMessage* b) {
    if (!FirstWord(xdr, &b->first)) return false;
    if (b->first == 0) return QelXdr_Bytes(xdr, &b->data, &b->dataLength, CS_XDR_DATA_MAX);
    return QelXdr_UInt(xdr, &b->messageNumber) &&
           ArrayOf(xdr, &b->objects, &b->objectCount, CsXdr_ObjectRef) &&
           Required(xdr, &b->object, CsXdr_ObjectRef) && QelXdr_Byte(xdr, &b->byte) &&
           QelXdr_UInt(xdr, &b->word);
}

bool ServerPrint(QelXdr* xdr, CsReqServerPrint* b) {
    if (!FirstWord(xdr, &b->first)) return false;
    if (b->first == 0) return CsXdrHitItems(xdr, 92, &b->items);
    return Required(xdr, &b->print, CsXdr_PrintRequest) &&
           QelXdr_String(xdr, &b->text, CS_XDR_LIST_TEXT_MAX) &&
           ArrayOf(xdr, &b->entries, &b->count, CsXdr_TextEntry);
}

bool DocObject(QelXdr* xdr, CsReqDocObject* b) {
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

bool Token(QelXdr* xdr, CsReqToken* b) {
    if (!FirstWord(xdr, &b->first)) return false;
    if (b->first == 1) {
        TextModeScope mode(xdr, QELXDR_TEXT_HIDDEN);
        if (!Field(xdr, b->userId)) return false;
    }
    return QelXdr_Bytes(xdr, &b->token, &b->length, CS_XDR_TOKEN_MAX);
}

}  // namespace

bool CsXdrHitItems(QelXdr* xdr, uint32_t code, CsReqHitItems* b) {
    if (!FirstWord(xdr, &b->more)) return false;
    if (b->more == 0) {
        if (!QelXdr_UInt(xdr, &b->endWord)) return false;
        return code == 104 ? CsXdr_ValueList(xdr, &b->values) : QelXdr_Byte(xdr, &b->endByte);
    }
    if (!QelXdr_UInt(xdr, &b->word) || !Optional(xdr, &b->group, CsXdr_ApplGroup)) return false;
    // Without a group of its own the item belongs to the group of the item before,
    // which the caller leaves in xdr->group.
    GroupScope scope(xdr, b->group != nullptr ? b->group : xdr->group);
    if (code == 104 && !Required(xdr, &b->appl, CsXdr_ApplEntry)) return false;
    return Required(xdr, &b->hit, CsXdr_HitRow) && QelXdr_UInt(xdr, &b->word2);
}

bool CsXdrRequestBody(QelXdr* xdr, uint32_t code, CsRequestBody* b) {
    switch (code) {
        case 0: return QelXdr_Int(xdr, &b->level.level);
        case 3: return Logon(xdr, &b->logon);
        case 6:
        case 7: return Optional(xdr, &b->user.user, CsXdr_UserRecord);
        case 8: return ChangePassword(xdr, &b->changePassword);
        case 9:
        case 13: return UserList(xdr, &b->userList);
        case 19:
        case 121: return FolderList(xdr, code, &b->folderList);
        case 20:
            return QelXdr_UInt(xdr, &b->folderGroups.folderNumber) &&
                   ArrayOf(xdr, &b->folderGroups.names, &b->folderGroups.nameCount, CsXdr_TextEntry);
        case 53: return QelXdr_UInt(xdr, &b->number.number);
        case 64:
            return QelXdr_UInt(xdr, &b->storageNodes.groupNumber) &&
                   QelXdr_UShort(xdr, &b->storageNodes.nodeNumber);
        case 86: return QelXdr_UInt(xdr, &b->loadInfo.groupNumber);
        case 54:
        case 95:
        case 96: return Store(xdr, code, &b->store);
        case 56: return UpdateIndex(xdr, &b->updateIndex);
        case 57:
        case 103: return AddIndexRow(xdr, code, &b->addIndexRow);
        case 59:
        case 100:
        case 112: return Search(xdr, code, &b->search);
        case 60:
        case 101: return DocData(xdr, &b->docData);
        case 62: return Resources(xdr, &b->resources);
        case 67:
        case 68:
        case 99: return Note(xdr, &b->note);
        case 69: return Notes(xdr, &b->notes);
        case 73: return Queries(xdr, &b->queries);
        case 74:
        case 110: return ArrayOf(xdr, &b->numbers.numbers, &b->numbers.count, Word32);
        case 87: return StoreObject(xdr, &b->storeObject);
        case 88: return SegmentData(xdr, &b->segmentData);
        case 91: return LogMessage(xdr, &b->logMessage);
        case 92:
        case 97:
        case 104: return CsXdrHitItems(xdr, code, &b->hitItems);
        case 93: return ServerPrint(xdr, &b->serverPrint);
        case 102: return DocObject(xdr, &b->docObject);
        case 108: return Token(xdr, &b->token);
        default: return true;  // 1, 2, 4, 5, 52, 78, 82, 84, 85, 109 and unused codes: no body
    }
}
