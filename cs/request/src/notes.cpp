// Notes of a document: added and listed through the local server's note files, or
// remotely through requests 67 and 69.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "arc_platform.h"
#include "archive_texts.h"
#include "doc_detail.h"
#include "logon_detail.h"

namespace {

using cslogon::IsLocal;

constexpr int kMsgNoteAdded = 50;
constexpr int kMsgNoteNumbered = 51;
constexpr const char* kSource = "Qelcs";
// A group whose note byte is this letter keeps each document's note flag in its rows.
constexpr int32_t kRowsCarryNotes = 'Y';
constexpr uint32_t kColourMax = 255;
// Where the wire note's page and attributes are kept among the local note's positions.
constexpr size_t kPagePosition = 0;
constexpr size_t kAttributesPosition = 1;

static_assert(sizeof(CsXdrNote{}.key) == QELLOCAL_NOTE_FIELDS_SIZE);
static_assert(CS_XDR_USERID_SIZE == CS_USER_ID_SIZE);

// The document the hit names, as the local server identifies it.
QelLocalNoteDoc DocumentOf(uint32_t groupNumber, const CsXdrObjectRef& object) {
    QelLocalNoteDoc doc;
    doc.agid = static_cast<int32_t>(groupNumber);
    doc.objectName = object.name != nullptr ? object.name : "";
    doc.compOffset = static_cast<int32_t>(object.compressedOffset);
    doc.compLength = static_cast<int32_t>(object.compressedLength);
    doc.docOffset = static_cast<int32_t>(object.offset);
    doc.docLength = static_cast<int32_t>(object.length);
    return doc;
}

// ---------------------------------------------------------------- records

// The caller's note as the local server keeps it, written by the logged-on user now.
int ToLocalNote(const CsHandle& handle, const CsXdrNote& from, QelLocalNote* to) {
    if (from.color > kColourMax || (from.dataLength > 0 && from.data == nullptr) ||
        from.dataLength > CS_XDR_NOTE_DATA_MAX || !cslogon::Fits(handle.identity.userId, sizeof to->userName))
        return CS_FAILED;
    to->userNumber = handle.logon->userNumber;
    std::strcpy(to->userName, handle.identity.userId);
    to->flags = from.flags;
    to->time = ArcOS_TimeNow();
    to->position[kPagePosition] = static_cast<int32_t>(from.page);
    to->position[kAttributesPosition] = static_cast<int32_t>(from.attributes);
    std::memcpy(to->fields, from.key, sizeof to->fields);
    to->fields[0] = static_cast<uint8_t>(from.color);
    to->text = from.text != nullptr ? from.text : "";
    if (from.dataLength > 0) to->data.assign(from.data, from.dataLength);
    return CS_OK;
}

// A fresh zeroed wire note of a local one (freed with CsFreeNotes), or null.
CsXdrNote* ToWireNote(const QelLocalNote& from) {
    auto* to = static_cast<CsXdrNote*>(std::calloc(1, sizeof(CsXdrNote)));
    if (to == nullptr) return nullptr;
    to->number = static_cast<uint32_t>(from.number);
    std::memcpy(to->userId, from.userName, sizeof to->userId);
    to->userId[sizeof to->userId - 1] = '\0';
    to->flags = from.flags;
    to->created = from.time;
    to->color = from.fields[0];
    to->page = static_cast<uint32_t>(from.position[kPagePosition]);
    to->attributes = static_cast<uint32_t>(from.position[kAttributesPosition]);
    std::memcpy(to->key, from.fields, sizeof to->key);
    to->text = static_cast<char*>(std::malloc(from.text.size() + 1));
    if (to->text == nullptr) {
        CsFreeNotes(to);
        return nullptr;
    }
    std::memcpy(to->text, from.text.c_str(), from.text.size() + 1);
    if (!from.data.empty()) {
        to->data = static_cast<char*>(std::malloc(from.data.size()));
        if (to->data == nullptr) {
            CsFreeNotes(to);
            return nullptr;
        }
        std::memcpy(to->data, from.data.data(), from.data.size());
        to->dataLength = static_cast<uint32_t>(from.data.size());
    }
    return to;
}

// ---------------------------------------------------------------- add

// The number the local server gave the note just added: that of the document's last
// note when it is this one (the same author, time and text), else 0.
int32_t FindNumber(CsHandle* handle, const QelLocalNoteDoc& doc, const QelLocalNote& added) {
    QelLocalNote note, last;
    int rc = QelLocal_GetNotes(handle, &doc, -1, &note);
    bool any = false;
    for (; rc == CS_OK; rc = QelLocal_GetNotesNext(handle, &note)) {
        last = std::move(note);
        any = true;
    }
    if (rc != CS_NOT_FOUND || !any) return 0;
    const bool same = last.userNumber == added.userNumber && last.time == added.time &&
                      last.text == added.text && std::strcmp(last.userName, added.userName) == 0;
    return same ? last.number : 0;
}

// The note is stored: a message that does not get out cannot undo it.
void LogAdded(CsHandle* handle, const QelLocalAppGroup& group, int32_t number) {
    if (number != 0) {
        CsIssueMessageV(handle, kMsgNoteNumbered, 'I', number, 'S', group.name, 'I', group.agid, 'S', kSource,
                        'I', __LINE__, 'V');
    } else {
        CsIssueMessageV(handle, kMsgNoteAdded, 'S', group.name, 'I', group.agid, 'S', kSource, 'I', __LINE__,
                        'V');
    }
}

int AddLocal(CsHandle* handle, const CsXdrApplGroup& group, CsXdrHitRow* hit, CsXdrNote* note) {
    csdoc::LocalGroup local;
    int rc = csdoc::ReadLocalGroup(handle, group.number, &local);
    if (rc == CS_OK && !(local.notePermissions & CS_NOTE_PERMIT_ADD)) rc = CS_NOT_AUTHORISED;
    if (rc == CS_OK) rc = csdoc::CheckRow(handle, local, group.restriction, *hit, csdoc::RowMatch::kDocument);
    if (rc != CS_OK) return rc;
    QelLocalNote record;
    cstexts::ArchiveTexts texts(handle);
    if (ToLocalNote(*handle, *note, &record) != CS_OK || !texts.ToArchive(&record.text) ||
        !texts.ToArchive(record.userName, sizeof record.userName))
        return CS_FAILED;
    const QelLocalNoteDoc doc = DocumentOf(group.number, *hit->object);
    rc = QelLocal_AddNote(handle, &doc, &record);
    if (rc != CS_OK) return rc;
    const int32_t number = FindNumber(handle, doc, record);
    note->number = static_cast<uint32_t>(number);
    std::memcpy(note->userId, handle->identity.userId, sizeof note->userId);
    note->created = record.time;
    // The row's note byte needs no rewrite: a search of such a group reads notes again.
    if (local.record.annType == kRowsCarryNotes) hit->noteFlag = 'Y';
    if (static_cast<uint32_t>(local.record.logFlags) & CS_LOG_NOTES) LogAdded(handle, local.record, number);
    return CS_OK;
}

int AddRemote(CsHandle* handle, const CsXdrApplGroup& group, CsXdrHitRow* hit, CsXdrNote* note) {
    uint32_t words[2] = {};
    const int rc =
        CsServerRequest(handle, CS_REQ_ADD_NOTE, const_cast<CsXdrApplGroup*>(&group), hit, note, words);
    if (rc == CS_OK) note->number = words[0];
    return rc;
}

// ---------------------------------------------------------------- list

int ListLocal(CsHandle* handle, uint32_t groupNumber, CsXdrHitRow* hit, CsEntryFn callback) {
    csdoc::LocalGroup local;
    int rc = csdoc::ReadLocalGroup(handle, groupNumber, &local);
    if (rc == CS_OK) rc = csdoc::CheckRow(handle, local, nullptr, *hit, csdoc::RowMatch::kDocument);
    if (rc != CS_OK) return rc;
    const QelLocalNoteDoc doc = DocumentOf(groupNumber, *hit->object);
    const csdoc::NoteReader reader = csdoc::NotesReadBy(*handle, &local);
    QelLocalNote note;
    rc = QelLocal_GetNotes(handle, &doc, reader.user, &note, reader.groupList);
    if (callback == nullptr) {
        if (rc == CS_OK || rc == CS_NOT_FOUND) hit->noteFlag = rc == CS_OK ? 'Y' : 'N';
        return rc == CS_NOT_FOUND ? CS_OK : rc;
    }
    cstexts::ArchiveTexts texts(handle);
    for (; rc == CS_OK; rc = QelLocal_GetNotesNext(handle, &note)) {
        if (!texts.ToSession(&note.text) || !texts.ToSession(note.userName, sizeof note.userName))
            return CS_FAILED;
        CsXdrNote* entry = ToWireNote(note);
        if (entry == nullptr) return CS_NO_MEMORY;
        if (callback(handle->callbackContext, entry) != 0) CsFreeNotes(entry);
        if (CsPollCancel(handle)) return CS_CANCELLED;
    }
    return rc == CS_NOT_FOUND ? CS_OK : rc;
}

int ListRemote(CsHandle* handle, uint32_t groupNumber, CsXdrHitRow* hit, CsEntryFn callback) {
    uint8_t count = 0;
    const int rc =
        CsServerRequest(handle, CS_REQ_NOTES, groupNumber, hit->object, uint32_t{0}, callback, &count);
    if (rc == CS_OK && callback == nullptr) hit->noteFlag = count > 0 ? 'Y' : 'N';
    return rc;
}

template <class Serve>
int Guarded(Serve& serve, bool local) {
    try {
        return serve(local);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}

// Runs one note operation in the call bracket; a local one inside the local server's.
template <class Serve>
int InBracket(CsHandle* handle, Serve serve) {
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (IsLocal(handle)) {
        rc = QelLocal_LoadTables(handle);
        if (rc == CS_OK) rc = Guarded(serve, true);
        rc = QelLocal_EndRequest(handle, rc);
    } else {
        rc = Guarded(serve, false);
    }
    return CsSessionLeave(handle, rc);
}

}  // namespace

int CsAddNote(CsHandle* handle, const CsXdrApplGroup* group, CsXdrHitRow* hit, CsXdrNote* note) {
    if (handle == nullptr || group == nullptr || hit == nullptr || hit->object == nullptr || note == nullptr)
        return CS_FAILED;
    return InBracket(handle, [&](bool local) {
        return local ? AddLocal(handle, *group, hit, note) : AddRemote(handle, *group, hit, note);
    });
}

int CsGetNotes(CsHandle* handle, uint32_t groupNumber, CsXdrHitRow* hit, CsEntryFn callback) {
    if (handle == nullptr || hit == nullptr || hit->object == nullptr) return CS_FAILED;
    return InBracket(handle, [&](bool local) {
        return local ? ListLocal(handle, groupNumber, hit, callback)
                     : ListRemote(handle, groupNumber, hit, callback);
    });
}

void CsFreeNotes(CsXdrNote* note) { CsFreeReplyEntry(CS_REQ_NOTES, note); }
