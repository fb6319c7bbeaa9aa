// The open-document blob: a retrieved document's own members, bound to the server, user
// and document it was saved for. No link is written; a restored document takes its
// session, folder, hit, group, application and row from the caller's hit.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "blob_reader.h"
#include "blob_writer.h"
#include "qel_client.h"
#include "session_list.h"
#include "state_document_fields.h"
#include "state_format.h"

namespace {

using namespace qelclient;

// The document id of a row with its values. The notes item and the attribute text are
// left out: they change while the document stays the same (notes added, a hit read
// back from an id), and the document keeps both of its own.
std::string DocumentId(ClientSession* session, const CsXdrHitRow* row, const CsXdrApplGroup* group,
                       const CsXdrApplEntry* application) {
    CsXdrHitRow shown = *row;
    shown.noteFlag = 0;
    SearchHit view;
    view.row = &shown;
    view.group = group;
    view.application = application;
    std::string id;
    Hit_FormatDocId(session, &view, nullptr, nullptr, true, &id);
    view.row = nullptr;  // the view owns nothing
    return id;
}

bool Keeps(const ClientSession* session, const OpenDocument* document) {
    return std::any_of(session->documents.begin(), session->documents.end(),
                       [&](const auto& kept) { return kept.get() == document; });
}

// The hit is in the hit list of the session's open folder.
bool FolderHolds(const ClientSession* session, const OpenFolder* folder, const SearchHit* hit) {
    if (folder == nullptr || hit == nullptr || folder->entry == nullptr || folder->definition == nullptr)
        return false;
    if (folder->entry->session != session || folder->entry->open.get() != folder) return false;
    const auto& hits = folder->entry->hits.hits;
    return hit->row != nullptr && hit->group != nullptr &&
           std::any_of(hits.begin(), hits.end(), [&](const SearchHitPtr& kept) { return kept.get() == hit; });
}

const CsXdrApplEntry* FindApplication(const CsXdrFolder& folder, uint32_t groupId, uint32_t applicationId) {
    for (uint16_t g = 0; g < folder.groupCount; ++g) {
        const CsXdrApplGroup& group = folder.groups[g];
        if (group.number != groupId) continue;
        for (uint16_t a = 0; a < group.applCount; ++a)
            if (group.appls[a].number == applicationId) return &group.appls[a];
    }
    return nullptr;
}

// The session's entry of the application is used as it is; the blob's joins the
// session only when it has none.
DocApplParmEntry* BindParmEntry(ClientSession* session, const OpenFolder& folder,
                                const SavedParmEntry& saved) {
    for (const auto& entry : session->parmEntries)
        if (entry->groupId == saved.groupId && entry->applicationId == saved.applicationId)
            return entry.get();
    auto entry = std::make_unique<DocApplParmEntry>();
    entry->application = FindApplication(*folder.definition, saved.groupId, saved.applicationId);
    entry->groupId = saved.groupId;
    entry->applicationId = saved.applicationId;
    entry->madeEmpty = saved.madeEmpty;
    entry->text = saved.text;
    session->parmEntries.push_back(std::move(entry));
    return session->parmEntries.back().get();
}

}  // namespace

size_t State_SaveDocument(ClientSession* session, std::vector<unsigned char>* blob,
                          const OpenDocument* document) {
    if (blob == nullptr || document == nullptr || !ListContains(session) || !Keeps(session, document))
        return 0;
    if (document->row == nullptr || document->group == nullptr) return 0;
    BlobWriter w;
    w.Text(session->handle.serverName);
    w.Text(session->user.userId);
    w.Text(DocumentId(session, document->row, document->group, document->application));
    w.U8(document->row->noteFlag);
    WriteDocumentFields(w, *document);
    std::vector<unsigned char> framed = w.Finish(kDocumentMagic);
    if (framed.size() - kBlobHeaderSize > kBlobPayloadMax) return 0;  // the reader would refuse it
    *blob = std::move(framed);
    return blob->size();
}

OpenDocument* State_RestoreDocument(ClientSession* session, const unsigned char* blob, size_t length,
                                    OpenFolder* folder, SearchHit* hit) {
    if (!ListContains(session) || !FolderHolds(session, folder, hit)) return nullptr;
    BlobReader r(blob, length, kDocumentMagic);
    // A document of another logon or another document must not open here.
    if (r.Text(kServerNameMax) != session->handle.serverName) r.Fail();
    if (r.Text(kUserIdMax) != session->user.userId) r.Fail();
    const std::string id = r.Text(kDocIdMax);
    if (r.ok() && id != DocumentId(session, hit->row, hit->group, hit->application)) r.Fail();
    const uint8_t noteFlag = r.U8();
    // Everything is built aside; the session changes only once the whole blob was read.
    auto document = std::make_unique<OpenDocument>();
    std::unique_ptr<SavedParmEntry> parm;
    ReadDocumentFields(r, folder->definition->fieldCount, document.get(), &parm);
    if (!r.Done()) return nullptr;
    CsXdrHitRow* copy = hit->row;
    if (CsPackHit(hit->group, &copy, -1, CS_PACK_COPY) != CS_OK) return nullptr;
    document->row = copy;
    document->row->noteFlag = noteFlag;
    document->session = session;
    document->folder = folder;
    document->hit = hit;
    document->group = hit->group;
    document->application = hit->application;
    if (parm) document->parmEntry = BindParmEntry(session, *folder, *parm);
    session->documents.clear();
    session->documents.push_back(std::move(document));
    return session->documents.back().get();
}
