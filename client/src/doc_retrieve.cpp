// Retrieval of a hit's document: the data streamed to the gateway's consumer, and the
// open document that keeps what the gateway later needs to pack, page and annotate it.
#include <algorithm>
#include <cstring>

#include "doc_internal.h"
#include "library_state.h"
#include "qel_parm.h"

using namespace qelclient;

namespace {

constexpr uint32_t kNoDescriptor = 0xFFFFFFFFu;
constexpr size_t kTitleMax = 200;
constexpr uint8_t kTitleField = 0x08;

// The request's third letter: 'Y' for a folder flagged 0x04 and 0x40 while the
// library's folder-flag option is on.
char FolderLetter(const OpenFolder* folder) {
    if (!Library().options.folderFlagSwitch || folder->definition == nullptr) return 'N';
    const uint32_t flags = folder->definition->flags & 0xFF;
    return (flags & 0x04) && (flags & 0x40) ? 'Y' : 'N';
}

// The document's title: the display texts of the folder's title fields (every displayed
// field when none is one), blank-separated, trailing blanks of each removed.
std::string DocumentTitle(ClientSession* session, OpenFolder* folder, const SearchHit* hit) {
    const CsXdrFolder* def = folder->definition;
    auto isTitle = [def](int field) {
        return def != nullptr && field >= 0 && field < def->fieldCount &&
               (def->fields[field].flags & kTitleField);
    };
    const bool anyTitle = std::any_of(folder->displayOrder.begin(), folder->displayOrder.end(), isTitle);
    std::string title;
    bool first = true;
    for (int field : folder->displayOrder) {
        if (anyTitle && !isTitle(field)) continue;
        std::string text = Hit_GetFieldValueText(session, folder, hit, field);
        while (!text.empty() && text.back() == ' ') text.pop_back();
        if (!first) title += ' ';
        title += text;
        first = false;
    }
    if (title.size() > kTitleMax - 1) title.resize(kTitleMax - 1);
    return title;
}

// The page tables of an open document of the same hit, or none.
std::shared_ptr<CsDocTables> SharedTables(const ClientSession* session, const SearchHit* hit) {
    for (const auto& document : session->documents)
        if (document->hit == hit && document->pageTables) return document->pageTables;
    return nullptr;
}

void SetSegmentCounts(OpenDocument* document) {
    const CsDocTables* tables = document->pageTables.get();
    if (tables == nullptr) {
        document->segmentCount = 1;
        document->pagesPerSegment = 0;
        document->pagesInLastSegment = 0;
        return;
    }
    document->segmentCount = static_cast<int32_t>(tables->objectCount);
    document->pagesPerSegment = static_cast<int32_t>(tables->perObject);
    const int64_t before = (int64_t{tables->objectCount} - 1) * tables->perObject;
    document->pagesInLastSegment = static_cast<int32_t>(int64_t{tables->total} - before);
}

// The view the document is shown with: chosen from its texts while the library's
// retrieval option is on, else the default attributes.
void ChooseView(OpenDocument* document) {
    if (Library().options.retrieveOption)
        Doc_ChooseView(document, nullptr, 0);
    else
        Doc_DefaultView(document, nullptr);
}

// Runs the request of a retrieval; the request layer's result, or the converter's
// failure when that interrupted it.
int RunRetrieval(ClientSession* session, OpenFolder* folder, SearchHit* hit, bool lineData,
                 ClientDocDataFn consumer, uint32_t callbackId, std::shared_ptr<CsDocTables>* tables) {
    const CsXdrObjectRef* object = hit->row->object;
    DocSink sink;
    sink.session = session;
    sink.folder = folder;
    sink.consumer = consumer;
    sink.callbackId = callbackId;
    sink.limit = ConversionLimit(object);
    sink.convert = sink.limit > 0;
    CsStorageNode* primary = nullptr;
    CsStorageNode* secondary = nullptr;
    int rc = PickNodes(session, hit->group, object, &primary, &secondary);
    if (rc != CS_OK) return rc;
    CsDocRequest request;
    request.application = hit->application;
    request.compressType = RequestCompression(session, object);
    const char stored = hit->application != nullptr ? static_cast<char>(hit->application->flags[0]) : 'N';
    request.flags[0] = static_cast<uint8_t>(lineData ? 'L' : stored);
    request.flags[1] = static_cast<uint8_t>(request.compressType);
    request.flags[2] = static_cast<uint8_t>(FolderLetter(folder));
    request.callback = DocSinkData;
    request.context = &sink;
    SinkEnter(&sink);
    rc = CsRetrieveDocDataRouted(&session->handle, hit->group, primary, secondary, hit->row, &request, 'N');
    SinkLeave(&sink);
    if (sink.converterResult != 0 && (rc == CS_CANCELLED || rc == CS_OK)) return sink.converterResult;
    if (rc != CS_OK || !sink.convert) return rc;
    if (CsEndDocTables(&sink.tables) != CS_OK) return CS_FAILED;  // the tables ended early
    CsDocTables* made = sink.tables;
    sink.tables = nullptr;
    if (TablesUsable(*made))
        *tables = ShareTables(made);
    else
        CsFreeDocTables(made, 1);
    return CS_OK;
}

}  // namespace

void Doc_Retrieve(ClientStatus* status, ClientSession* session, OpenFolder* folder, SearchHit* hit,
                  OpenDocument** document, int reuseOnly, int lineData, ClientDocDataFn consumer,
                  uint32_t callbackId) {
    if (document != nullptr) *document = nullptr;
    if (session == nullptr || folder == nullptr || hit == nullptr || hit->row == nullptr ||
        hit->row->object == nullptr || hit->group == nullptr) {
        Session_MakeLocalStatus(status, session, 5, nullptr);
        return;
    }
    const CsXdrObjectRef* object = hit->row->object;

    // The resource group's descriptor: from its record, or asked for.
    const ResourceRecord* record = nullptr;
    uint32_t desc[4] = {kNoDescriptor, 0, 0, 0};
    bool descriptorKnown = false;
    if (object->resourceId != 0) {
        record = FindResourceRecord(object->resourceId, hit->group->number, session->serverEntry);
        if (record != nullptr) {
            std::copy_n(record->descriptor, 4, desc);
        } else {
            const int rc = RequestResourceDescriptor(session, hit->group, object->resourceId, desc);
            if (rc != CS_OK) {
                Session_MakeStatus(status, session, rc, CLIENT_OP_RETRIEVE);
                return;
            }
        }
        descriptorKnown = true;
    }

    std::shared_ptr<CsDocTables> tables;
    if (reuseOnly) {
        tables = SharedTables(session, hit);
    } else {
        const int rc = RunRetrieval(session, folder, hit, lineData != 0, consumer, callbackId, &tables);
        Session_MakeStatus(status, session, rc, CLIENT_OP_RETRIEVE);
        if (status != nullptr && status->severity == CLIENT_SEV_WARNING) {
            session->status.serverText = DocumentTitle(session, folder, hit);
            status->serverMessage = session->status.serverText.c_str();
        }
        if (rc != CS_OK) return;
    }

    auto made = std::make_unique<OpenDocument>();
    OpenDocument* d = made.get();
    d->session = session;
    d->folder = folder;
    d->hit = hit;
    d->group = hit->group;
    d->application = hit->application;
    d->row = hit->row;
    if (CsPackHit(hit->group, &d->row, -1, CS_PACK_COPY) != CS_OK) {
        d->row = nullptr;
        Session_MakeStatus(status, session, CS_NO_MEMORY, CLIENT_OP_RETRIEVE);
        return;
    }
    d->attributeText = hit->attributeText;
    const char stored = hit->application != nullptr ? static_cast<char>(hit->application->flags[0]) : 0;
    d->dataType = Doc_DataTypeLetter(stored);
    d->viewer = Doc_ViewerLetter(stored);
    d->lineDataForced = lineData != 0 ? 1 : 0;
    d->groupCursor = 0;
    d->valueCursor = -1;
    ReadConversionParms(d);
    d->parmEntry = FindOrMakeParmEntry(session, hit->group, hit->application);
    d->resources = d->viewer == 'A' && descriptorKnown ? 1 : 0;
    if (d->resources) {
        if (record != nullptr)
            d->resourceRecord = record;
        else
            std::copy_n(desc, 4, d->resourceDescriptor);
    }
    ChooseView(d);
    d->pageTables = std::move(tables);
    for (const auto& open : session->documents)
        if (open->hit == hit && open->notes) d->notes = open->notes;  // one notes cache per hit
    SetSegmentCounts(d);
    const char* text = hit->application != nullptr ? hit->application->parameters.text : nullptr;
    const bool namesInTables = d->pageTables == nullptr || (d->pageTables->flags & CS_DOCTAB_PAGE_NAMES) != 0;
    d->pageNames = namesInTables && ParmGetPageId(text) != 0 ? 1 : 0;
    session->documents.push_back(std::move(made));
    if (document != nullptr) *document = d;
    if (reuseOnly) Session_MakeStatus(status, session, CS_OK, CLIENT_OP_RETRIEVE);
}
