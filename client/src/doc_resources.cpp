// Resource groups of documents: one process-wide record per (resource, application
// group, server) once its resources were retrieved, and the retrieval itself.
#include <algorithm>
#include <list>
#include <mutex>

#include "doc_internal.h"

namespace qelclient {

namespace {

// Guarded by the segment-record mutex; never held together with the session-list mutex.
std::mutex recordMutex;
std::list<std::unique_ptr<ResourceRecord>> records;

void Append(std::unique_ptr<ResourceRecord> record) {
    std::lock_guard<std::mutex> lock(recordMutex);
    records.push_back(std::move(record));
}

void Remove(const ResourceRecord* record) {
    std::lock_guard<std::mutex> lock(recordMutex);
    records.remove_if([record](const std::unique_ptr<ResourceRecord>& r) { return r.get() == record; });
}

}  // namespace

const ResourceRecord* FindResourceRecord(uint32_t resourceId, uint32_t groupId, const std::string* server) {
    std::lock_guard<std::mutex> lock(recordMutex);
    for (const auto& r : records)
        if (r->resourceId == resourceId && r->groupId == groupId && r->server == server) return r.get();
    return nullptr;
}

void FreeResourceRecords() {
    std::lock_guard<std::mutex> lock(recordMutex);
    records.clear();
}

}  // namespace qelclient

void Doc_GetResources(ClientStatus* status, OpenDocument* document, ClientDocDataFn consumer,
                      uint32_t callbackId) {
    using namespace qelclient;
    if (document == nullptr || document->session == nullptr) {
        Session_MakeLocalStatus(status, nullptr, 5, nullptr);
        return;
    }
    ClientSession* session = document->session;
    const CsXdrObjectRef* stored = document->row != nullptr ? document->row->object : nullptr;
    if (document->resources == 0 || document->resourcesDelivered != 0 || stored == nullptr) {
        Session_MakeStatus(status, session, CS_OK, CLIENT_OP_RESOURCES);
        return;
    }
    // The descriptor: the linked record's, the document's own, or a storage-node request's.
    std::unique_ptr<ResourceRecord> record;
    uint32_t descriptor[4];
    if (document->resourceRecord != nullptr) {
        std::copy_n(static_cast<const ResourceRecord*>(document->resourceRecord)->descriptor, 4, descriptor);
    } else {
        record = std::make_unique<ResourceRecord>();
        record->groupId = document->group->number;
        record->resourceId = stored->resourceId;
        record->server = session->serverEntry;
        if (document->resourceDescriptor[0] != 0xFFFFFFFFu) {
            std::copy_n(document->resourceDescriptor, 4, record->descriptor);
        } else {
            const int rc =
                RequestResourceDescriptor(session, document->group, stored->resourceId, record->descriptor);
            if (rc != CS_OK) {
                Session_MakeStatus(status, session, rc, CLIENT_OP_RESOURCES);
                return;
            }
        }
        std::copy_n(record->descriptor, 4, descriptor);
    }
    // The resource object is stored where and as its descriptor says.
    CsXdrObjectRef object = *stored;
    object.compression = static_cast<char>(descriptor[3] & 0xFF);
    object.primaryNode = static_cast<uint16_t>(descriptor[1]);
    object.secondaryNode = static_cast<uint16_t>(descriptor[2]);
    CsStorageNode* primary = nullptr;
    CsStorageNode* secondary = nullptr;
    int rc = PickNodes(session, document->group, &object, &primary, &secondary);
    if (rc == CS_OK) {
        DocSink sink;
        sink.session = session;
        sink.folder = document->folder;
        sink.consumer = consumer;
        sink.callbackId = callbackId;
        CsDocRequest request;
        request.application = document->application;
        request.compressType = RequestCompression(session, &object);
        request.callback = DocSinkData;
        request.context = &sink;
        ResourceRecord* kept = record.get();
        if (record != nullptr) Append(std::move(record));
        SinkEnter(&sink);
        rc = CsGetDocResourcesRouted(&session->handle, document->group, primary, secondary, 0, &object,
                                     &request);
        SinkLeave(&sink);
        if (rc == CS_OK) {
            document->resourcesDelivered = 1;
            if (kept != nullptr) document->resourceRecord = kept;
        } else if (kept != nullptr) {
            Remove(kept);  // a retry makes a fresh record
        }
    }
    Session_MakeStatus(status, session, rc, CLIENT_OP_RESOURCES);
}
