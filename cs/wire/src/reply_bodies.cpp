// reply_bodies.cpp - the body of each reply code (the reply column of
// qel_csrequests.def).
#include "request_bodies.h"

#include "xdr_detail.h"

using namespace qel_cswire::detail;

namespace qel_cswire::replies {

bool None(QelXdr*, uint32_t, CsReplyRecord*) { return true; }

bool Logon(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    CsRepLogon* b = &reply->body.logon;
    return CsXdr_UserRecord(xdr, &b->user, 0) && CsXdr_Identity(xdr, &b->identity, 0) &&
           Optional(xdr, &b->logon, CsXdr_LogonRecord) && Optional(xdr, &b->parms, CsXdr_SystemParms) &&
           QelXdr_UInt(xdr, &b->session) && QelXdr_UInt(xdr, &b->words[0]) &&
           QelXdr_UInt(xdr, &b->words[1]) && QelXdr_Opaque(xdr, b->sessionBlock, sizeof b->sessionBlock);
}

bool User(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return CsXdr_UserRecord(xdr, &reply->body.user.user, 0);
}

bool ChangePassword(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return CsXdr_UserRecord(xdr, &reply->body.user.user, 0) && QelXdr_UInt(xdr, &reply->body.user.word);
}

bool UserEntry(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return Optional(xdr, &reply->body.userEntry.entry, CsXdr_UserEntry);
}

// The newer folder list ends each entry with the server's final word.
bool FolderEntry(QelXdr* xdr, uint32_t code, CsReplyRecord* reply) {
    CsRepFolderEntry* b = &reply->body.folderEntry;
    if (!Optional(xdr, &b->folder, CsXdr_Folder)) return false;
    return code != CS_REQ_FOLDER_LIST || QelXdr_UInt(xdr, &b->final);
}

bool Folder(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return Required(xdr, &reply->body.folder.folder, CsXdr_Folder);
}

bool StorageSet(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return Required(xdr, &reply->body.storageSet.set, CsXdr_StorageSet);
}

bool Object(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return CsXdr_ObjectRef(xdr, &reply->body.object.object, 0);
}

bool IndexRow(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    CsRepIndexRow* b = &reply->body.indexRow;
    return CsXdr_IndexResult(xdr, &b->result, 0) && CsXdr_Segment(xdr, &b->segment, 0) &&
           QelXdr_UInt(xdr, &b->word);
}

bool Word(QelXdr* xdr, uint32_t, CsReplyRecord* reply) { return QelXdr_UInt(xdr, &reply->body.word.value); }

bool Hit(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    GroupScope scope(xdr, reply->group);
    return Optional(xdr, &reply->body.hit.hit, CsXdr_HitRow);
}

// A data reply carries one piece; without one it is the end of the data, which for the
// document data carries the object's location byte (and in its newer form a second byte).
bool Data(QelXdr* xdr, uint32_t code, CsReplyRecord* reply) {
    CsRepData* b = &reply->body.data;
    if (!Optional(xdr, &b->piece, CsXdr_DataPiece)) return false;
    if (b->piece != nullptr || (code != CS_REQ_DOC_DATA_V1 && code != CS_REQ_DOC_DATA)) return true;
    return QelXdr_Byte(xdr, &b->location) && (code != CS_REQ_DOC_DATA || QelXdr_Byte(xdr, &b->second));
}

bool NodeInfo(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return Required(xdr, &reply->body.nodeInfo.info, CsXdr_NodeInfo);
}

bool NoteWords(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return QelXdr_UInt(xdr, &reply->body.noteWords.words[0]) &&
           QelXdr_UInt(xdr, &reply->body.noteWords.words[1]);
}

bool Note(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return Optional(xdr, &reply->body.note.note, CsXdr_Note);
}

bool Query(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return Optional(xdr, &reply->body.query.query, CsXdr_NamedQuery);
}

bool Segment(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return Optional(xdr, &reply->body.segment.segment, CsXdr_Segment);
}

bool Printer(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return Optional(xdr, &reply->body.printer.printer, CsXdr_Printer);
}

bool SystemParms(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return Required(xdr, &reply->body.parms.parms, CsXdr_SystemParms);
}

bool Text(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return QelXdr_String(xdr, &reply->body.text.text, CS_XDR_LIST_TEXT_MAX);
}

bool DocObject(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return QelXdr_Byte(xdr, &reply->body.docObject.answer) && QelXdr_UInt(xdr, &reply->body.docObject.word);
}

bool Values(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    return CsXdr_ValueList(xdr, &reply->body.values.items);
}

bool Token(QelXdr* xdr, uint32_t, CsReplyRecord* reply) {
    CsRepToken* b = &reply->body.token;
    return QelXdr_Bytes(xdr, &b->token, &b->length, CS_XDR_TOKEN_MAX) && Field(xdr, b->userId);
}

}  // namespace qel_cswire::replies
