// reply_bodies.cpp - the body of each reply code.
#include "request_bodies.h"

#include "xdr_detail.h"

using namespace qel_cswire::detail;

namespace {

bool LogonReply(QelXdr* xdr, CsRepLogon* b) {
    return CsXdr_UserRecord(xdr, &b->user, 0) && CsXdr_Identity(xdr, &b->identity, 0) &&
           Optional(xdr, &b->logon, CsXdr_LogonRecord) && Optional(xdr, &b->parms, CsXdr_SystemParms) &&
           QelXdr_UInt(xdr, &b->session) && QelXdr_UInt(xdr, &b->words[0]) &&
           QelXdr_UInt(xdr, &b->words[1]) && QelXdr_Opaque(xdr, b->sessionBlock, sizeof b->sessionBlock);
}

// A data reply carries one piece; without one it is the end of the data, which for 60
// and 101 carries the object's location byte (and for 101 a second byte).
bool DataReply(QelXdr* xdr, uint32_t code, CsRepData* b) {
    if (!Optional(xdr, &b->piece, CsXdr_DataPiece)) return false;
    if (b->piece != nullptr || (code != 60 && code != 101)) return true;
    return QelXdr_Byte(xdr, &b->location) && (code != 101 || QelXdr_Byte(xdr, &b->second));
}

}  // namespace

bool CsXdrReplyBody(QelXdr* xdr, uint32_t code, CsReplyRecord* reply) {
    CsReplyBody* b = &reply->body;
    switch (code) {
        case 3: return LogonReply(xdr, &b->logon);
        case 6: return CsXdr_UserRecord(xdr, &b->user.user, 0);
        case 8: return CsXdr_UserRecord(xdr, &b->user.user, 0) && QelXdr_UInt(xdr, &b->user.word);
        case 9:
        case 13: return Optional(xdr, &b->userEntry.entry, CsXdr_UserEntry);
        case 19: return Optional(xdr, &b->folderEntry.folder, CsXdr_Folder);
        case 121:
            return Optional(xdr, &b->folderEntry.folder, CsXdr_Folder) &&
                   QelXdr_UInt(xdr, &b->folderEntry.final);
        case 20: return Required(xdr, &b->folder.folder, CsXdr_Folder);
        case 53: return Required(xdr, &b->storageSet.set, CsXdr_StorageSet);
        case 54:
        case 95:
        case 96: return CsXdr_ObjectRef(xdr, &b->object.object, 0);
        case 57:
        case 103:
            return CsXdr_IndexResult(xdr, &b->indexRow.result, 0) &&
                   CsXdr_Segment(xdr, &b->indexRow.segment, 0) && QelXdr_UInt(xdr, &b->indexRow.word);
        case 58:
        case 87:
        case 109: return QelXdr_UInt(xdr, &b->word.value);
        case 59:
        case 100:
        case 112: {
            GroupScope scope(xdr, reply->group);
            return Optional(xdr, &b->hit.hit, CsXdr_HitRow);
        }
        case 60:
        case 101:
        case 62:
        case 88: return DataReply(xdr, code, &b->data);
        case 64: return Required(xdr, &b->nodeInfo.info, CsXdr_NodeInfo);
        case 67: return QelXdr_UInt(xdr, &b->noteWords.words[0]) && QelXdr_UInt(xdr, &b->noteWords.words[1]);
        case 69: return Optional(xdr, &b->note.note, CsXdr_Note);
        case 73: return Optional(xdr, &b->query.query, CsXdr_NamedQuery);
        case 74:
        case 110: return Optional(xdr, &b->segment.segment, CsXdr_Segment);
        case 78: return Optional(xdr, &b->printer.printer, CsXdr_Printer);
        case 84: return Required(xdr, &b->parms.parms, CsXdr_SystemParms);
        case 86: return QelXdr_String(xdr, &b->text.text, CS_XDR_LIST_TEXT_MAX);
        case 102: return QelXdr_Byte(xdr, &b->docObject.answer) && QelXdr_UInt(xdr, &b->docObject.word);
        case 104: return CsXdr_ValueList(xdr, &b->values.items);
        case 108:
            return QelXdr_Bytes(xdr, &b->token.token, &b->token.length, CS_XDR_TOKEN_MAX) &&
                   Field(xdr, b->token.userId);
        default: return true;  // result-only codes
    }
}
