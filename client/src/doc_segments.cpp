// Retrieval of one segment of an open document: segment 0 is the hit's own object (its
// page tables dropped), later ones the objects its page tables name.
#include <cstdlib>

#include "doc_internal.h"
#include "status_area.h"

using namespace qelclient;

namespace {

constexpr int kBadSegment = 80;

// The object of segment n: a copy of the document's, or one made from its object table.
// The name of a made object is freed by the holder.
struct SegmentObject {
    CsXdrObjectRef object{};
    char* madeName = nullptr;
    SegmentObject() = default;
    SegmentObject(const SegmentObject&) = delete;
    SegmentObject& operator=(const SegmentObject&) = delete;
    ~SegmentObject() { std::free(madeName); }
};

int MakeSegmentObject(const OpenDocument& document, int segment, SegmentObject* out) {
    const CsXdrObjectRef& stored = *document.row->object;
    if (segment == 0) {
        out->object = stored;
        return CS_OK;
    }
    if (!document.pageTables) return CS_FAILED;
    const CsObjectPages view = document.pageTables->objects.View();
    const int rc = CsMakeObjectRef(&view, segment, &stored, &out->object);
    if (rc == CS_OK) out->madeName = out->object.name;
    return rc;
}

}  // namespace

void Doc_GetSegment(ClientStatus* status, OpenDocument* document, int segment, ClientDocDataFn consumer,
                    uint32_t callbackId) {
    if (document == nullptr || document->session == nullptr || document->row == nullptr ||
        document->row->object == nullptr) {
        Session_MakeLocalStatus(status, document != nullptr ? document->session : nullptr, 5, nullptr);
        return;
    }
    ClientSession* session = document->session;
    if (segment < 0 || segment >= document->segmentCount) {
        ClientStatusArea& area = AreaOf(session);
        ClearInserts(area);
        SetStatus(status, area, CLIENT_SEV_ERROR, kBadSegment, nullptr);
        return;
    }
    SegmentObject made;
    int rc = MakeSegmentObject(*document, segment, &made);
    CsStorageNode* primary = nullptr;
    CsStorageNode* secondary = nullptr;
    if (rc == CS_OK) rc = PickNodes(session, document->group, &made.object, &primary, &secondary);
    if (rc != CS_OK) {
        Session_MakeStatus(status, session, rc, CLIENT_OP_RETRIEVE);
        return;
    }
    DocSink sink;
    sink.session = session;
    sink.folder = document->folder;
    sink.consumer = consumer;
    sink.callbackId = callbackId;
    if (segment == 0) {
        sink.limit = ConversionLimit(document->row->object);
        sink.convert = sink.limit > 0;
        sink.skipTables = true;
    }
    CsXdrHitRow row = *document->row;
    row.object = &made.object;
    CsDocRequest request;
    request.application = document->application;
    request.compressType = RequestCompression(session, document->row->object);
    const char stored =
        document->application != nullptr ? static_cast<char>(document->application->flags[0]) : 'N';
    const bool asLines = (session->retrieveMode & 0x2u) != 0 || document->lineDataForced != 0;
    request.flags[0] = static_cast<uint8_t>(asLines ? 'L' : stored);
    request.flags[1] = static_cast<uint8_t>(request.compressType);
    request.flags[2] = static_cast<uint8_t>('N');
    request.callback = DocSinkData;
    request.context = &sink;
    // A later object belongs to the row of the document's own object.
    request.documentObject = document->row->object;
    SinkEnter(&sink);
    rc = CsRetrieveDocDataRouted(&session->handle, document->group, primary, secondary, &row, &request, 'N');
    SinkLeave(&sink);
    // The location the read came from belongs to the document's own object.
    if (segment == 0) document->row->object->location = made.object.location;
    Session_MakeStatus(status, session, rc, CLIENT_OP_RETRIEVE);
}
