// Loading and adding the notes of an open document, and the client exit's notes.
#include <cstring>
#include <memory>
#include <string>

#include "arc_platform.h"
#include "call_context.h"
#include "note_cache.h"
#include "qel_client.h"
#include "qel_cswire.h"
#include "session_list.h"

namespace {

// What the notes reply callback and the exit callback cache into while one document's
// notes are listed.
struct NoteLoad {
    ClientSession* session;
    DocNotesHolder* holder;
};

// The load running on this thread: a client exit delivers its notes inside the request.
thread_local NoteLoad* gCurrentLoad = nullptr;

class CurrentLoad {
public:
    explicit CurrentLoad(NoteLoad* load) : saved_(gCurrentLoad) { gCurrentLoad = load; }
    ~CurrentLoad() { gCurrentLoad = saved_; }
    CurrentLoad(const CurrentLoad&) = delete;
    CurrentLoad& operator=(const CurrentLoad&) = delete;

private:
    NoteLoad* saved_;
};

void Cache(NoteLoad* load, const CsXdrNote& note) {
    // Notes with attached data are shown only on request.
    if ((note.flags & 0x08) != 0 && !qelclient::ShowAllNotes()) return;
    qelclient::CacheNote(load->holder, qelclient::MakeNoteEntry(*load->session, note));
}

int CacheDelivered(void* context, void* entry) {
    Cache(static_cast<NoteLoad*>(context), *static_cast<const CsXdrNote*>(entry));
    return 1;  // copied: the request layer frees its note
}

DocNotesHolder* HolderOf(OpenDocument* document) {
    if (!document->notes) document->notes = std::make_shared<DocNotesHolder>();
    return document->notes.get();
}

void SetNotesFlag(OpenDocument* document, uint8_t flag) {
    if (document->row != nullptr) document->row->noteFlag = flag;
    if (document->hit != nullptr && document->hit->row != nullptr) document->hit->row->noteFlag = flag;
}

bool Usable(const OpenDocument* document) {
    return document != nullptr && document->session != nullptr && document->row != nullptr &&
           document->group != nullptr;
}

}  // namespace

void Note_GetAll(ClientStatus* status, OpenDocument* document) {
    ClientStatus ignored;
    if (status == nullptr) status = &ignored;
    if (!Usable(document)) {
        Session_MakeLocalStatus(status, document != nullptr ? document->session : nullptr, 3, "document");
        return;
    }
    ClientSession* session = document->session;
    DocNotesHolder* holder = HolderOf(document);
    if (holder->loaded || !Doc_CanViewNotes(document) || Doc_HasNotesFlag(document) == 'N') {
        Session_MakeStatus(status, session, CS_OK, CLIENT_OP_NOTES);
        return;
    }
    // Authors that are groups are named from the user's group list.
    if (Session_HasServerCapability(session, 4)) Session_LoadGroupList(nullptr, session);
    NoteLoad load{session, holder};
    int rc;
    {
        qelclient::CallContext context(&session->handle, &load);
        CurrentLoad current(&load);
        session->requestRunning = 1;
        rc = CsGetNotes(&session->handle, document->group->number, document->row, &CacheDelivered);
        session->requestRunning = 0;
    }
    if (rc == CS_OK || !holder->notes.empty()) SetNotesFlag(document, holder->notes.empty() ? 'N' : 'Y');
    holder->loaded = true;
    Session_MakeStatus(status, session, rc, CLIENT_OP_NOTES);
}

void Note_Add(ClientStatus* status, OpenDocument* document, int anonymous, int isPublic, int32_t position1,
              int32_t position2, int32_t position3, char colour, const char* text, const void* data,
              size_t dataLength) {
    ClientStatus ignored;
    if (status == nullptr) status = &ignored;
    if (!Usable(document) || (data == nullptr && dataLength > 0) || dataLength > UINT32_MAX) {
        Session_MakeLocalStatus(status, document != nullptr ? document->session : nullptr, 3, "note");
        return;
    }
    ClientSession* session = document->session;
    std::string textCopy = text != nullptr ? text : "";
    std::string dataCopy(static_cast<const char*>(data), data != nullptr ? dataLength : 0);
    CsXdrNote note{};
    note.flags = (isPublic ? CS_NOTE_PUBLIC : CS_NOTE_PRIVATE) | (dataCopy.empty() ? 0x04u : 0x08u);
    note.page = static_cast<uint32_t>(position1);
    note.attributes = static_cast<uint32_t>(position2);
    qelclient::PutPosition3(&note, position3);
    note.color = Note_ColourCode(colour);
    note.text = textCopy.data();
    note.data = dataCopy.empty() ? nullptr : dataCopy.data();
    note.dataLength = static_cast<uint32_t>(dataCopy.size());
    session->requestRunning = 1;
    const int rc = CsAddNote(&session->handle, document->group, document->row, &note);
    session->requestRunning = 0;
    Session_MakeStatus(status, session, rc, CLIENT_OP_ADD_NOTE);
    if (rc != CS_OK) return;

    DocNotesHolder* holder = HolderOf(document);
    for (const std::unique_ptr<OpenDocument>& other : session->documents)
        if (other && other->notes.get() == holder) SetNotesFlag(other.get(), 'Y');
    SetNotesFlag(document, 'Y');
    if (!holder->loaded && Doc_CanViewNotes(document)) return;

    // A server that does not hand back the author and time: the session's and now.
    if (note.created == 0) note.created = ArcOS_TimeNow();
    if (anonymous) {
        std::memset(note.userId, 0, sizeof note.userId);
    } else if (note.userId[0] == '\0') {
        std::memcpy(note.userId, session->user.userId,
                    std::min(sizeof note.userId, sizeof session->user.userId));
        note.userId[sizeof note.userId - 1] = '\0';
    }
    qelclient::CacheNewNote(holder, qelclient::MakeNoteEntry(*session, note));
}

extern "C" int ExitNoteCallback(uint32_t sessionId, const ClientExitNote* delivered) {
    ClientSession* session = qelclient::ListFindByExitId(sessionId);
    if (session == nullptr || delivered == nullptr) return 0;
    NoteLoad* load = gCurrentLoad;
    if (load == nullptr || load->session != session) return 0;
    CsXdrNote note = delivered->note;
    note.text = const_cast<char*>(delivered->text);
    note.created = static_cast<int64_t>(delivered->created);
    CsYieldControlCallback();
    Cache(load, note);
    return session->cancel ? 0 : 1;
}
