// Searching one application group of a folder: request 112 for a remote handle, the
// local server's segment index for a local one.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "archive_texts.h"
#include "doc_detail.h"
#include "doc_search_text.h"
#include "route_detail.h"

namespace {

// Message rows of the catalogue.
constexpr int kQueryMessage = 47;
constexpr int kSegmentMessage = 146;
constexpr const char* kSource = "Qelcs";
// Items of a note filter.
constexpr uint16_t kFilterColour = 1;
constexpr uint16_t kFilterText = 2;
// QelLocalNote::flags: a public note.
constexpr uint32_t kPublicNote = 2;
constexpr uint16_t kSegmentAvailable = 0x01;
// Field mask bit of the group's segment date field.
constexpr uint32_t kSegmentDateField = 0x04;
// The group's note byte: its rows carry their own note flags.
constexpr int32_t kRowsCarryNotes = 'Y';

// The WHERE text as it is logged: outside quoted strings each run of white space
// shrinks to its first character.
std::string NormalisedWhere(const char* where) {
    std::string out;
    if (where == nullptr) return out;
    char quote = 0;
    bool blank = false;
    for (const char* p = where; *p != '\0'; ++p) {
        const char c = *p;
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (blank) continue;
            blank = true;
            out += c;
            continue;
        } else if (c == '\'' || c == '"') {
            quote = c;
        }
        blank = false;
        out += c;
    }
    return out;
}

// What a note filter asks for.
struct NoteFilter {
    bool active = false;
    bool hasColour = false;
    uint32_t colour = 0;
    std::string text;
    std::string colourText;  // as given, for message 47
};

int ReadNoteFilter(const CsXdrValueItem* items, NoteFilter* filter) {
    for (const CsXdrValueItem* item = items; item != nullptr; item = item->next) {
        const char* text = item->text != nullptr ? item->text : "";
        if (item->number == kFilterColour && text[0] != '\0') {
            char* end = nullptr;
            const unsigned long colour = std::strtoul(text, &end, 10);
            if (end == text || *end != '\0' || colour > 0xFF) return CS_FAILED;
            filter->active = filter->hasColour = true;
            filter->colour = static_cast<uint32_t>(colour);
            filter->colourText = text;
        } else if (item->number == kFilterText && text[0] != '\0') {
            filter->active = true;
            filter->text = text;
        }
    }
    return CS_OK;
}

bool NoteMatches(const NoteFilter& filter, const QelLocalNote& note) {
    if (filter.hasColour && note.fields[0] != filter.colour) return false;
    if (filter.text.empty()) return true;
    const std::string user(note.userName, strnlen(note.userName, sizeof note.userName));
    if (user.find(filter.text) != std::string::npos) return true;
    return (note.flags & kPublicNote) && note.text.find(filter.text) != std::string::npos;
}

// Does the caller's record type the group's fields as the tables do? The hits are laid
// out by the caller's record.
bool SameFields(const CsXdrApplGroup& group, const QelLocalAppGroup& local) {
    if (group.fieldCount != local.fields.size()) return false;
    for (size_t i = 0; i < local.fields.size(); ++i)
        if (group.fields == nullptr || group.fields[i].type != local.fields[i].type) return false;
    return true;
}

struct StorageSetCloser {
    void operator()(CsStorageSet* set) const { CsFreeStorageSet(set); }
};

class LocalSearch {
public:
    LocalSearch(CsHandle* handle, const CsXdrFolder* folder, const CsXdrApplGroup* group,
                const CsXdrValueItem* textSearch, int flags, int extra, CsSearchHitFn callback)
        : handle_(handle),
          folder_(folder),
          group_(group),
          textSearch_(textSearch),
          queryObjects_((flags & CS_SEARCH_TEXT) != 0),
          extra_(extra),
          callback_(callback),
          texts_(handle) {}

    int Run(const char* where, const CsXdrCriteria* range, const CsXdrValueItem* noteFilter, int noteLetter) {
        int rc = ReadNoteFilter(noteFilter, &filter_);
        if (rc != CS_OK) return rc;
        // The caller's texts compare with the archive's in the archive's code page.
        std::string criteria = where != nullptr ? where : "";
        std::string folderRestriction = group_->restriction != nullptr ? group_->restriction : "";
        if (!texts_.ToArchive(&criteria) || !texts_.ToArchive(&folderRestriction) ||
            !texts_.ToArchive(&filter_.text))
            return CS_FAILED;
        rc = csdoc::ReadLocalGroup(handle_, group_->number, &local_);
        if (rc != CS_OK) return rc;
        if (!SameFields(*group_, local_.record)) return CS_FAILED;
        restriction_ = csdoc::Restriction(local_.restriction, folderRestriction.c_str());
        if (local_.record.logFlags & CS_LOG_QUERIES) {
            rc = LogQuery(criteria.c_str());
            if (rc != CS_OK) return rc;
        }
        if (textSearch_ != nullptr || queryObjects_) {
            rc = OpenTextSearch();
            if (rc != CS_OK) return rc;
        }
        rowsCarryNotes_ = local_.record.annType == kRowsCarryNotes;
        noteFlags_ = noteLetter == 'Y' && !rowsCarryNotes_;
        std::vector<std::string> segments;
        rc = AvailableSegments(range, &segments);
        if (rc != CS_OK || segments.empty()) return rc;
        rc = Scan(criteria.c_str(), segments);
        if (rc == CS_OK && batches_) rc = batches_->Finish();
        return rc;
    }

private:
    // The group's text search needs its linked text-search folder; the storage set finds
    // the handle that serves each node's batch and the places of each stored object.
    int OpenTextSearch() {
        if (group_->textSearch.folder[0] == '\0') return CS_FAILED;
        if (local_.record.sid != 0) {
            CsStorageSet* set = nullptr;
            const int rc =
                CsOpenStorageSet(handle_, static_cast<uint32_t>(local_.record.sid), CsResolveServerDef, &set);
            if (rc != CS_OK) return rc;
            set_.reset(set);
        }
        if (textSearch_ != nullptr) {
            const size_t batch =
                (handle_->def.flags1 & csdoc::kBatchedTextSearch) ? csdoc::kTextSearchBatch : 1;
            batches_ = std::make_unique<csdoc::TextSearchBatches>(
                handle_, group_, textSearch_, set_.get(), batch, handle_->callbackContext, callback_, extra_);
        }
        return CS_OK;
    }

    int LogQuery(const char* where) {
        const std::string text = NormalisedWhere(where);
        return CsIssueMessageV(handle_, kQueryMessage, 'S', local_.record.name, 'I', local_.record.agid, 'S',
                               text.c_str(), 'S', restriction_.c_str(), 'S', "", 'S',
                               filter_.colourText.c_str(), 'S', filter_.text.c_str(), 'S', kSource, 'I',
                               __LINE__);
    }

    // The names of the available segments the range meets; every unavailable one is
    // reported. CS_UNAVAILABLE when there are segments and none is available. A group
    // without a segment date field never dates its segments: a search reads all of them,
    // whatever range it names.
    int AvailableSegments(const CsXdrCriteria* range, std::vector<std::string>* names) {
        CsSegmentList list;
        const bool dated = HasSegmentDateField();
        int rc =
            csroute::ListSegments(handle_, local_.record.agid, nullptr, 0, dated ? range : nullptr, &list);
        if (rc == CS_OK && !dated)
            rc = csroute::ListSegments(handle_, local_.record.agid, nullptr, CS_SEGMENTS_UNDATED, nullptr,
                                       &list);
        if (rc != CS_OK) return rc;
        const std::string number = std::to_string(local_.record.agid);
        for (const CsXdrSegment& segment : list.segments) {
            const std::string name(segment.name, strnlen(segment.name, sizeof segment.name));
            if (segment.status & kSegmentAvailable) {
                names->push_back(name);
                continue;
            }
            rc = CsIssueMessageV(handle_, kSegmentMessage, 'S', local_.record.name, 'S', number.c_str(), 'S',
                                 name.c_str(), 'S', kSource, 'I', __LINE__, 'V');
            if (rc != CS_OK) return rc;
        }
        return !list.segments.empty() && names->empty() ? CS_UNAVAILABLE : CS_OK;
    }

    bool HasSegmentDateField() const {
        for (const QelLocalAgField& field : local_.record.fields)
            if (field.mask & kSegmentDateField) return true;
        return false;
    }

    int Scan(const char* where, const std::vector<std::string>& segments) {
        const QelLocalQueryFolder folder{reinterpret_cast<uintptr_t>(folder_), restriction_};
        const std::vector<QelLocalQueryGroup> query{{&local_.record, segments}};
        QelLocalHit hit;
        int rc = QelLocal_QueryDocsFirst(handle_, &folder, &query, where != nullptr ? where : "", &hit);
        for (long rows = 1; rc == CS_OK; ++rows) {
            rc = Deliver(hit);
            if (rc != CS_OK) return rc;  // CS_NOT_FOUND here is no end of rows
            if (rows % CS_SEARCH_POLL_ROWS == 0 && CsPollCancel(handle_)) {
                rc = CS_CANCELLED;
                break;
            }
            rc = QelLocal_QueryDocsNext(handle_, &hit);
        }
        return rc == CS_NOT_FOUND ? CS_OK : rc;
    }

    // Hands one row to the caller unless the note filter drops it.
    int Deliver(const QelLocalHit& row) {
        uint8_t noteFlag = 0;
        if (rowsCarryNotes_) noteFlag = row.row.header.annot ? 'Y' : 'N';
        if (filter_.active || noteFlags_) {
            bool any = false, matched = false;
            const int rc = ReadNotes(row, &any, &matched);
            if (rc != CS_OK) return rc;
            if (filter_.active && !matched) return CS_OK;
            noteFlag = any ? 'Y' : 'N';
        }
        CsXdrHitRow* hit = nullptr;
        int rc = csdoc::RowToHit(*group_, row.row, row.segment.c_str(), extra_, texts_, &hit);
        if (rc != CS_OK) return rc;
        hit->noteFlag = noteFlag;
        if (batches_) return batches_->Add(hit);
        if (queryObjects_) {
            rc = csdoc::QueryHitObject(handle_, *group_, set_.get(), hit);
            if (rc != CS_OK) {
                CsFreePackedHit(hit, extra_);
                return rc;
            }
        }
        csdoc::DeliverHit(handle_->callbackContext, callback_, hit, extra_);
        return CS_OK;
    }

    // Whether the document has notes the user may see, and whether one matches the filter.
    int ReadNotes(const QelLocalHit& row, bool* any, bool* matched) {
        const QelLocalIdxHeader& header = row.row.header;
        QelLocalNoteDoc doc;
        doc.agid = row.agid;
        doc.objectName = header.objName.c_str();
        doc.compOffset = static_cast<int32_t>(header.compOff);
        doc.compLength = static_cast<int32_t>(header.compLen);
        doc.docOffset = static_cast<int32_t>(header.off);
        doc.docLength = static_cast<int32_t>(header.len);
        const csdoc::NoteReader reader = csdoc::NotesReadBy(*handle_, &local_);
        QelLocalNote note;
        int rc = QelLocal_GetNotes(handle_, &doc, reader.user, &note, reader.groupList);
        for (; rc == CS_OK; rc = QelLocal_GetNotesNext(handle_, &note)) {
            *any = true;
            if (!filter_.active || NoteMatches(filter_, note)) {
                *matched = true;
                break;
            }
        }
        return rc == CS_NOT_FOUND ? CS_OK : rc;
    }

    CsHandle* handle_;
    const CsXdrFolder* folder_;
    const CsXdrApplGroup* group_;
    const CsXdrValueItem* textSearch_;
    bool queryObjects_;
    int extra_;
    CsSearchHitFn callback_;
    std::unique_ptr<CsStorageSet, StorageSetCloser> set_;
    std::unique_ptr<csdoc::TextSearchBatches> batches_;
    csdoc::LocalGroup local_;
    std::string restriction_;
    NoteFilter filter_;
    bool rowsCarryNotes_ = false;
    bool noteFlags_ = false;
    cstexts::ArchiveTexts texts_;
};

int SearchLocal(CsHandle* handle, const CsXdrFolder* folder, const CsXdrApplGroup* group, const char* where,
                const CsXdrCriteria* range, const CsXdrValueItem* noteFilter,
                const CsXdrValueItem* textSearch, int flags, int noteLetter, int extra,
                CsSearchHitFn callback) {
    int rc = QelLocal_LoadTables(handle);
    if (rc == CS_OK) {
        try {
            LocalSearch search(handle, folder, group, textSearch, flags, extra, callback);
            rc = search.Run(where, range, noteFilter, noteLetter);
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
    }
    return QelLocal_EndRequest(handle, rc);
}

// The caller's callback behind the dispatcher's hit callback: the reply's hit stays
// the dispatcher's, the caller gets a packed copy.
struct RemoteAdapter {
    CsHandle* handle;
    void* context;
    const CsXdrApplGroup* group;
    int extra;
    CsSearchHitFn callback;
    int rc = CS_OK;
};

int RemoteHit(void* context, CsXdrHitRow* hit) {
    auto* a = static_cast<RemoteAdapter*>(context);
    CsXdrHitRow* copy = hit;
    a->rc = CsPackHit(a->group, &copy, a->extra, CS_PACK_COPY);
    if (a->rc != CS_OK) return 0;
    csdoc::DeliverHit(a->context, a->callback, copy, a->extra);
    // An interrupt from the callback stops the rows; the bracket's leave reports it.
    return (a->handle->def.flags1 & CS_F1_INTERRUPT) ? 0 : 1;
}

int SearchRemote(CsHandle* handle, const CsXdrApplGroup* group, const char* where, const CsXdrCriteria* range,
                 const CsXdrValueItem* noteFilter, const CsXdrValueItem* textSearch, int flags,
                 int noteLetter, int extra, CsSearchHitFn callback) {
    RemoteAdapter adapter{handle, handle->callbackContext, group, extra, callback};
    handle->callbackContext = &adapter;
    int rc = CsServerRequest(handle, CS_REQ_SEARCH, group, where, range, flags & 0xFF, noteFilter,
                             noteLetter & 0xFF, textSearch, RemoteHit);
    handle->callbackContext = adapter.context;
    if (rc == CS_OK && (handle->def.flags1 & CS_F1_INTERRUPT)) rc = CS_CANCELLED;
    return rc == CS_OK ? adapter.rc : rc;
}

}  // namespace

int CsSearchFolder(CsHandle* handle, const CsXdrFolder* folder, const CsXdrApplGroup* group,
                   const char* where, const CsXdrCriteria* range, const CsXdrValueItem* noteFilter,
                   const CsXdrValueItem* textSearch, int flags, int noteLetter, int extra,
                   CsSearchHitFn callback) {
    if (handle == nullptr || group == nullptr) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (handle->def.kind != CS_KIND_LOCAL) {
        rc = SearchRemote(handle, group, where, range, noteFilter, textSearch, flags, noteLetter, extra,
                          callback);
    } else {
        rc = SearchLocal(handle, folder, group, where, range, noteFilter, textSearch, flags, noteLetter,
                         extra, callback);
    }
    return CsSessionLeave(handle, rc);
}
