// getnotes and addnote: the notes of one document of the open folder.
#include <cstring>

#include "document_actions.h"
#include "qel_client.h"

namespace qelwww::detail {

namespace {

// The notes need the document's record only: its data is never asked for.
int DiscardData(OpenFolder*, const unsigned char*, size_t) { return 1; }

// Opens the hit's document record. Null with message 414 written and the action failed.
OpenDocument* OpenForNotes(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder,
                           SearchHit* hit, const char* name) {
    ClientStatus status;
    OpenDocument* document = nullptr;
    Doc_Retrieve(&status, session->client, folder, hit, &document, 1, 0, DiscardData, 0);
    if (status.severity == CLIENT_SEV_OK && document != nullptr) return document;
    SEARCH_TRACE(config, "%s: document not opened, severity %d, code %d", name, status.severity, status.code);
    Doc_Close(document);
    FailAction(config, session, folder, QELWWW_MSG_RETRIEVE_FAILED, {});
    return nullptr;
}

void WriteNoteLines(const QelWWWConfig* config, const QelWWWSession* session, QelWWWResponse& r,
                    const DocNoteEntry& note) {
    r.PrintText("%s\n", LineValue(config, session, QelWWW_FormatNoteLine(note, kNoteHeaderLine)).c_str());
    if (!session->noHtml) r.PrintText("<br>\n");
    r.PrintText("%s\n", LineValue(config, session, QelWWW_FormatNoteLine(note, kNoteSharingLine)).c_str());
}

// The group of that exact id among the user's groups.
bool IsUsersGroup(ClientSession* client, const std::string& id) {
    ClientStatus status;
    int count = 0;
    Session_GetGroupCount(&status, client, &count);
    if (status.severity != CLIENT_SEV_OK || count <= 0) return false;
    std::vector<ClientGroupName> groups(static_cast<size_t>(count));
    groups.resize(static_cast<size_t>(Session_ListGroups(client, groups.data(), groups.size())));
    for (const ClientGroupName& group : groups) {
        if (group.id != nullptr && id == group.id) return true;
    }
    return false;
}

bool SameIgnoringCase(const char* text, const char* expected) {
    for (; *text != '\0' && *expected != '\0'; ++text, ++expected) {
        const char c = (*text >= 'A' && *text <= 'Z') ? static_cast<char>(*text - 'A' + 'a') : *text;
        if (c != *expected) return false;
    }
    return *text == *expected;
}

// The note just added: the first one cached as new.
const DocNoteEntry* NewNote(const OpenDocument* document) {
    for (const DocNoteEntry* note = Note_GetFirst(document); note != nullptr;
         note = Note_GetNext(document, note))
        if (note->isNew) return note;
    return nullptr;
}

}  // namespace

int GetNotesAction(const QelWWWConfig* config, QelWWWSession* session) {
    SEARCH_TRACE(config, "getnotes: entering");
    const bool applet = AppletMode(session);
    if (applet) SEARCH_TRACE(config, "getnotes: output in applet format");
    OpenFolder* folder = nullptr;
    if (StartWithFolder(config, session, "getnotes", &folder) != 0) return 1;
    SearchHit* hit = RequestHit(config, session, folder);
    if (hit == nullptr) return 1;
    if (!Hit_CanViewNotes(hit))
        return FailAction(config, session, folder, QELWWW_MSG_NOT_PERMITTED, {session->user});
    OpenDocument* document = OpenForNotes(config, session, folder, hit, "getnotes");
    if (document == nullptr) return 1;
    ClientStatus status;
    Note_GetAll(&status, document);
    if (status.severity != CLIENT_SEV_OK) {
        Doc_Close(document);
        return FailWithStatus(config, session, folder, status, QELWWW_MSG_RETRIEVE_FAILED);
    }
    if (Note_GetCount(document) <= 0) {
        Doc_Close(document);
        return FailAction(config, session, folder, QELWWW_MSG_NO_NOTES, {});
    }

    BeginReply(config, session);
    QelWWWResponse& r = *session->response;
    const bool frame = session->noHtml && !applet;
    if (frame) BeginLine(config, session);
    for (const DocNoteEntry* note = Note_GetFirst(document); note != nullptr;
         note = Note_GetNext(document, note)) {
        if (!session->noHtml) r.PrintText("<font color=blue>\n");
        WriteNoteLines(config, session, r, *note);
        if (!session->noHtml) r.PrintText("<br></font>\n");
        const std::string text = BlockValue(config, session, note->text);
        r.AppendText(text.data(), text.size());
        r.PrintText("%s", session->noHtml ? "\n\n" : "<br><br>\n");
    }
    if (frame) EndLine(config, session);
    EndReply(config, session);
    Doc_Close(document);
    FinishWithFolder(config, session, "getnotes", folder);
    SEARCH_TRACE(config, "getnotes: exiting");
    return 0;
}

int AddNoteAction(const QelWWWConfig* config, QelWWWSession* session) {
    SEARCH_TRACE(config, "addnote: entering");
    const bool applet = AppletMode(session);
    const char* perm = session->parms->Get("_perm");
    if (perm == nullptr) {
        QelWWW_ReportText(config, session, false, QELWWW_MSG_MISSING_ARG, {"_perm"});
        return 1;
    }
    // A sharing that does not read must never become a public note.
    if (*perm == '\0' || !QelWWW_IsNumber(perm)) {
        QelWWW_ReportText(config, session, false, QELWWW_MSG_BAD_VALUE, {"_perm"});
        return 1;
    }
    const bool isPublic = std::strspn(perm, "0") == std::strlen(perm);
    const bool forGroup = !isPublic && std::strcmp(perm + std::strspn(perm, "0"), "1") != 0;
    const char* copy = session->parms->Get("_copy");
    const char* text = session->parms->Get("_text");
    SEARCH_TRACE(config, "addnote: sharing = '%s'", perm);
    SEARCH_TRACE(config, "addnote: copy = '%s'", copy != nullptr ? copy : "");
    SEARCH_TRACE(config, "addnote: text = '%s'", text != nullptr ? text : "");
    if (text == nullptr || *text == '\0') {
        QelWWW_ReportText(config, session, false, QELWWW_MSG_MISSING_ARG, {"_text"});
        return 1;
    }
    // The client library carries no copy mark with a new note: the value is only traced.
    if (copy != nullptr && SameIgnoringCase(copy, "on")) SEARCH_TRACE(config, "addnote: copy asked for");

    OpenFolder* folder = nullptr;
    if (StartWithFolder(config, session, "addnote", &folder) != 0) return 1;
    SearchHit* hit = RequestHit(config, session, folder);
    if (hit == nullptr) return 1;
    if (!Hit_CanAddNotes(hit) || Hit_GetDataType(hit) == 'N')
        return FailAction(config, session, folder, QELWWW_MSG_NOT_PERMITTED, {session->user});
    if (forGroup) {
        const char* group = session->parms->Get("_group");
        if (group == nullptr || !IsUsersGroup(session->client, group))
            return FailAction(config, session, folder, QELWWW_MSG_MISSING_ARG, {"_group"});
    }
    OpenDocument* document = OpenForNotes(config, session, folder, hit, "addnote");
    if (document == nullptr) return 1;
    // Loaded notes make Note_Add cache the new one, whose number the reply shows.
    ClientStatus status;
    if (Doc_CanViewNotes(document)) Note_GetAll(&status, document);
    Note_Add(&status, document, 0, isPublic ? 1 : 0, 0, 0, 0, 'D', text, nullptr, 0);
    if (status.severity != CLIENT_SEV_OK) {
        SEARCH_TRACE(config, "addnote: note refused, severity %d, code %d", status.severity, status.code);
        Doc_Close(document);
        // A document the user could not find is refused as a forged document id is.
        if (status.severity == CLIENT_SEV_REFUSED) return FailWithStatus(config, session, folder, status, 0);
        return FailAction(config, session, folder, QELWWW_MSG_NOTE_FAILED, {});
    }

    BeginReply(config, session);
    QelWWWResponse& r = *session->response;
    if (applet) {
        DocNoteEntry shown;
        if (const DocNoteEntry* added = NewNote(document)) shown = *added;
        shown.isPublic = isPublic;
        shown.text = text;
        BeginLine(config, session);
        r.PrintText("NOTE=%d\n", shown.number);
        WriteNoteLines(config, session, r, shown);
        const std::string body = BlockValue(config, session, shown.text);
        r.AppendText(body.data(), body.size());
        r.PrintText("\n");
        EndLine(config, session);
    } else if (session->noHtml) {
        BeginLine(config, session);
        r.PrintText("%s\n", LineValue(config, session, SearchMessage(QELWWW_MSG_NOTE_ADDED)).c_str());
        EndLine(config, session);
    } else {
        r.PrintText("%s<br>\n", LineValue(config, session, SearchMessage(QELWWW_MSG_NOTE_ADDED)).c_str());
        r.PrintText("<form>\n");
        r.PrintText("<input type=button value=\"%s\" onClick=\"self.close();\">\n",
                    LineValue(config, session, SearchMessage(QELWWW_MSG_OK_BUTTON)).c_str());
        r.PrintText("</form>\n");
    }
    EndReply(config, session);
    Doc_Close(document);
    FinishWithFolder(config, session, "addnote", folder);
    SEARCH_TRACE(config, "addnote: exiting");
    return 0;
}

}  // namespace qelwww::detail
