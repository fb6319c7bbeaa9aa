// Retrieving a document's data and its resources: locally from the storage manager,
// remotely through requests 101 and 62, and routed to the handle that serves the nodes.
#include <new>
#include <optional>
#include <string>

#include "doc_detail.h"
#include "logon_detail.h"

namespace {

using cslogon::IsLocal;

constexpr int kMsgDocGet = 48;
constexpr int kMsgResGet = 49;
constexpr const char* kSource = "Qelcs";
// Every place a read may look; the storage manager drops those that cannot apply.
constexpr uint8_t kReadPlaces = SM_LOC_CACHE | SM_LOC_EXIT | SM_LOC_PRIMARY | SM_LOC_SECONDARY;

char Letter(char compression) { return compression != 0 ? compression : 'N'; }

// The caller's data callback, behind a pipeline when the caller wants expanded data
// compressed ('N' or none: the pieces pass as they are).
class Output {
public:
    explicit Output(const CsDocRequest* request) : request_(request) {}

    int Open() {
        const char letter = Letter(request_->compressType);
        if (letter == 'N') return CS_OK;
        return CsDataPipeOpen('N', letter, 0, 0, request_->chunkSize, request_->callback, request_->context,
                              &stream_);
    }
    // A CsDataFn whose context is the Output.
    static int Take(void* context, const unsigned char* data, size_t length) {
        auto* self = static_cast<Output*>(context);
        if (length == 0) return 1;  // the end is the Output's Close, not a piece
        if (self->stream_) return CsDataPipeRun(self->stream_.get(), data, length);
        self->request_->callback(self->request_->context, data, length);
        return 1;
    }
    // The delivery's form: always 1, so that the delivery keeps its buffers.
    static int TakeWire(void* context, char* buffer, uint32_t length) {
        Take(context, reinterpret_cast<const unsigned char*>(buffer), length);
        return 1;
    }
    int Close(int rc) { return stream_ ? CsDataPipeClose(std::move(stream_), rc) : rc; }

private:
    const CsDocRequest* request_;
    CsObjectStreamPtr stream_;
};

// The location byte of a hit from the storage manager's place.
uint8_t LocationByte(uint8_t place) {
    if (place & SM_LOC_CACHE) return 1;
    if (place & SM_LOC_EXIT) return 4;
    return 2;
}

// ---------------------------------------------------------------- note flags

// `group`: the user's rights on the group when the handle's own logon read them.
int LocalNoteFlag(CsHandle* handle, uint32_t groupNumber, CsXdrHitRow* hit, const csdoc::LocalGroup* group) {
    const CsXdrObjectRef& object = *hit->object;
    QelLocalNoteDoc doc;
    doc.agid = static_cast<int32_t>(groupNumber);
    doc.objectName = object.name != nullptr ? object.name : "";
    doc.compOffset = static_cast<int32_t>(object.compressedOffset);
    doc.compLength = static_cast<int32_t>(object.compressedLength);
    doc.docOffset = static_cast<int32_t>(object.offset);
    doc.docLength = static_cast<int32_t>(object.length);
    const csdoc::NoteReader reader =
        handle->logon != nullptr ? csdoc::NotesReadBy(*handle, group) : csdoc::NoteReader{};
    QelLocalNote note;
    const int rc = QelLocal_GetNotes(handle, &doc, reader.user, &note, reader.groupList);
    if (rc == CS_OK || rc == CS_NOT_FOUND) hit->noteFlag = rc == CS_OK ? 'Y' : 'N';
    return rc == CS_NOT_FOUND ? CS_OK : rc;
}

int RemoteNoteFlag(CsHandle* handle, uint32_t groupNumber, CsXdrHitRow* hit) {
    uint8_t count = 0;
    const int rc = CsServerRequest(handle, CS_REQ_NOTES, groupNumber, hit->object, uint32_t{0},
                                   static_cast<CsEntryFn>(nullptr), &count);
    if (rc == CS_OK) hit->noteFlag = count > 0 ? 'Y' : 'N';
    return rc;
}

// Sets the hit's note flag from its notes, read through the secondary handle. A local
// caller is inside its own local request already; `group` holds its rights on the group
// (null for a remote caller).
int ReadNoteFlag(CsHandle* handle, uint32_t groupNumber, CsXdrHitRow* hit, const csdoc::LocalGroup* group) {
    CsHandle* target = CsRouteSecondary(handle);
    if (target == handle)
        return IsLocal(handle) ? LocalNoteFlag(handle, groupNumber, hit, group)
                               : RemoteNoteFlag(handle, groupNumber, hit);
    int rc = CsSessionEnter(target);
    if (rc != CS_OK) return rc;
    if (IsLocal(target)) {
        rc = QelLocal_LoadTables(target);
        if (rc == CS_OK) rc = LocalNoteFlag(target, groupNumber, hit, nullptr);
        rc = QelLocal_EndRequest(target, rc);
    } else {
        rc = RemoteNoteFlag(target, groupNumber, hit);
    }
    return CsSessionLeave(target, rc);
}

bool WantsNoteFlag(int noteLetter, const CsXdrHitRow* hit) {
    return noteLetter == 'Y' && hit->noteFlag != 'Y' && hit->noteFlag != 'N';
}

// ---------------------------------------------------------------- local

struct Place {
    std::string name;
    int number = 0;
    std::string server;
};

Place PlaceOf(CsHandle* handle, const CsStorageNode* primary, const CsStorageNode* secondary, uint8_t bits) {
    Place place;
    CsLocationName(handle, primary, secondary, bits, &place.name, &place.number, &place.server);
    return place;
}

int ServeRetrieve(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                  const CsStorageNode* secondary, CsXdrHitRow* hit, const CsDocRequest* request,
                  int noteLetter) {
    csdoc::LocalGroup local;
    int rc = csdoc::ReadLocalGroup(handle, group->number, &local);
    if (rc == CS_OK) rc = csdoc::Permit(local.permissions, CS_PERMIT_RETRIEVE);
    if (rc != CS_OK) return rc;
    CsXdrObjectRef* object = hit->object;
    if (object == nullptr) return CS_FAILED;
    // Only a document the user could find: a later object is checked by its document's.
    CsXdrHitRow named = *hit;
    if (request->documentObject != nullptr)
        named.object = const_cast<CsXdrObjectRef*>(request->documentObject);
    rc = csdoc::CheckRow(handle, local, group->restriction, named, csdoc::RowMatch::kDocument);
    if (rc != CS_OK) return rc;
    const bool logging = (local.record.logFlags & CS_LOG_RETRIEVALS) != 0;
    std::optional<csdoc::Stopwatch> watch;
    if (logging) watch.emplace();

    const std::string name = object->name != nullptr ? object->name : "";
    // A document with page tables is read from the object's start, whole.
    const bool whole = CsHasDollar(name.c_str()) != 0;
    const uint64_t blockOffset = whole ? 0 : object->compressedOffset;
    const uint64_t blockLength = whole ? 0 : object->compressedLength;
    uint8_t place = kReadPlaces;
    CsObjectRequest fetch;
    fetch.fetch = [&](CsHandle* h, CsDataFn pieces) {
        return SmFetchObjectData(h, &local.storage, primary, secondary, &place, nullptr, name.c_str(),
                                 blockOffset, blockLength, pieces);
    };
    fetch.expandType = Letter(object->compression);
    fetch.compressType = Letter(request->compressType);
    fetch.windowOffset = object->offset;
    fetch.windowLength = object->length;
    fetch.chunkSize = request->chunkSize;
    fetch.callback = request->callback;
    fetch.context = request->context;
    rc = CsFetchObjectData(handle, &fetch);
    if (rc != CS_OK) return rc;
    object->location = LocationByte(place);

    if (logging) {
        const Place at = PlaceOf(handle, primary, secondary, place);
        const CsXdrApplEntry* application = request->application;
        CsIssueMessageV(handle, kMsgDocGet, 'S', local.record.name, 'I', local.record.agid, 'S',
                        application != nullptr ? application->name : "", 'I',
                        application != nullptr ? static_cast<int>(application->number) : 0, 'S',
                        at.name.c_str(), 'I', at.number, 'S', at.server.c_str(), 'S',
                        watch->Seconds().c_str(), 'S', CsFormatKeyValues(group, hit).c_str(), 'S', kSource,
                        'I', __LINE__, 'V');
    }
    if (WantsNoteFlag(noteLetter, hit)) rc = ReadNoteFlag(handle, group->number, hit, &local);
    return rc;
}

int ServeResources(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                   const CsStorageNode* secondary, const CsXdrObjectRef* object,
                   const CsDocRequest* request) {
    csdoc::LocalGroup local;
    int rc = csdoc::ReadLocalGroup(handle, group->number, &local);
    if (rc == CS_OK) rc = csdoc::Permit(local.permissions, CS_PERMIT_RETRIEVE);
    if (rc != CS_OK || object->resourceId == 0) return rc;
    const bool logging = (local.record.logFlags & CS_LOG_RETRIEVALS) != 0;
    std::optional<csdoc::Stopwatch> watch;
    if (logging) watch.emplace();

    Output output(request);
    rc = output.Open();
    if (rc != CS_OK) return rc;
    uint8_t place = kReadPlaces;
    {
        // The resource reader hands its pieces on with the handle's callback context.
        struct Restore {
            CsHandle* handle;
            void* saved;
            ~Restore() { handle->callbackContext = saved; }
        } restore{handle, handle->callbackContext};
        handle->callbackContext = &output;
        rc = SmRetrieveByName(handle, &local.storage, primary, secondary, &place,
                              static_cast<long>(object->resourceId), Letter(object->compression),
                              Output::Take);
    }
    rc = output.Close(rc);
    if (rc == CS_OK && logging) {
        const Place at = PlaceOf(handle, primary, secondary, place);
        CsIssueMessageV(handle, kMsgResGet, 'S', local.record.name, 'I', local.record.agid, 'S',
                        at.name.c_str(), 'I', at.number, 'S', at.server.c_str(), 'S',
                        watch->Seconds().c_str(), 'S', kSource, 'I', __LINE__, 'V');
    }
    return rc;
}

// Runs one operation inside the local server's request.
template <typename Serve>
int InLocalRequest(CsHandle* handle, Serve serve) {
    int rc = QelLocal_LoadTables(handle);
    if (rc == CS_OK) {
        try {
            rc = serve();
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
    }
    return QelLocal_EndRequest(handle, rc);
}

// ---------------------------------------------------------------- remote

// The node information of a request: the group and the object's nodes and letter.
CsXdrNodeInfo NodeInfo(const CsXdrApplGroup* group, const CsXdrObjectRef* object) {
    CsXdrNodeInfo info{};
    info.groupNumber = group->number;
    if (object != nullptr) {
        info.primaryNode = object->primaryNode;
        info.secondaryNode = object->secondaryNode;
        info.compression = object->compression;
    }
    return info;
}

int RemoteRetrieve(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                   const CsStorageNode* secondary, CsXdrHitRow* hit, const CsDocRequest* request,
                   int noteLetter) {
    if (hit->object == nullptr) return CS_FAILED;
    CsXdrNodeEntry node;
    int rc = csdoc::ToNodeEntry(primary != nullptr ? primary : secondary, &node);
    if (rc != CS_OK) return rc;
    CsXdrNodeInfo info = NodeInfo(group, hit->object);
    // The wire always carries an application entry: the caller's, else the group's first.
    CsXdrApplEntry none{};
    const CsXdrApplEntry* application = request->application;
    if (application == nullptr) application = group->applCount > 0 ? &group->appls[0] : &none;
    Output output(request);
    rc = output.Open();
    if (rc != CS_OK) return rc;
    uint8_t location = 0;
    uint8_t second = 0;
    rc = CsServerRequest(handle, CS_REQ_DOC_DATA, const_cast<CsXdrApplGroup*>(group), hit,
                         const_cast<CsXdrApplEntry*>(application), &node, &info, int{request->flags[0]},
                         int{request->flags[1]}, int{request->flags[2]},
                         static_cast<uint32_t>(request->chunkSize), static_cast<CsDataFnC>(Output::TakeWire),
                         static_cast<void*>(&output), &location, &second);
    rc = output.Close(rc);
    if (rc != CS_OK) return rc;
    hit->object->location = location;
    if (WantsNoteFlag(noteLetter, hit)) rc = ReadNoteFlag(handle, group->number, hit, nullptr);
    return rc;
}

int RemoteResources(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                    const CsStorageNode* secondary, int flags, const CsXdrObjectRef* object,
                    const CsDocRequest* request) {
    if (object->resourceId == 0) return CS_OK;
    CsXdrNodeEntry node;
    int rc = csdoc::ToNodeEntry(primary != nullptr ? primary : secondary, &node);
    if (rc != CS_OK) return rc;
    CsXdrNodeInfo info = NodeInfo(group, object);
    Output output(request);
    rc = output.Open();
    if (rc != CS_OK) return rc;
    rc = CsServerRequest(handle, CS_REQ_RESOURCES, const_cast<CsXdrApplGroup*>(group), &node, flags & 0xFF,
                         &info, static_cast<uint32_t>(request->chunkSize),
                         static_cast<CsDataFnC>(Output::TakeWire), static_cast<void*>(&output));
    return output.Close(rc);
}

// The routing flags of a read: the first entry's handle, with the second entry along
// when the same handle serves it; without a first entry, the second entry's handle.
uint8_t ReadRouting(const CsStorageNode* primary) {
    return primary != nullptr ? CS_ROUTE_FIRST | CS_ROUTE_SECOND : CS_ROUTE_SECOND;
}

}  // namespace

int CsRetrieveDocData(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                      const CsStorageNode* secondary, CsXdrHitRow* hit, const CsDocRequest* request,
                      int noteLetter) {
    if (handle == nullptr || group == nullptr || hit == nullptr || request == nullptr ||
        request->callback == nullptr)
        return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (IsLocal(handle)) {
        rc = InLocalRequest(handle, [&] {
            return ServeRetrieve(handle, group, primary, secondary, hit, request, noteLetter);
        });
    } else {
        try {
            rc = RemoteRetrieve(handle, group, primary, secondary, hit, request, noteLetter);
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
    }
    return CsSessionLeave(handle, rc);
}

int CsGetDocResources(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                      const CsStorageNode* secondary, int flags, const CsXdrObjectRef* object,
                      const CsDocRequest* request) {
    if (handle == nullptr || group == nullptr || object == nullptr || request == nullptr ||
        request->callback == nullptr)
        return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (IsLocal(handle)) {
        rc = InLocalRequest(
            handle, [&] { return ServeResources(handle, group, primary, secondary, object, request); });
    } else {
        try {
            rc = RemoteResources(handle, group, primary, secondary, flags, object, request);
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
    }
    return CsSessionLeave(handle, rc);
}

int CsRetrieveDocDataRouted(CsHandle* handle, const CsXdrApplGroup* group, CsStorageNode* primary,
                            CsStorageNode* secondary, CsXdrHitRow* hit, const CsDocRequest* request,
                            int noteLetter) {
    if (handle == nullptr) return CS_FAILED;
    uint8_t flags = ReadRouting(primary);
    CsHandle* target = CsRouteHandle(handle, primary, secondary, &flags);
    return CsRetrieveDocData(target, group, primary, (flags & CS_ROUTE_SECOND) ? secondary : nullptr, hit,
                             request, noteLetter);
}

int CsGetDocResourcesRouted(CsHandle* handle, const CsXdrApplGroup* group, CsStorageNode* primary,
                            CsStorageNode* secondary, int flags, const CsXdrObjectRef* object,
                            const CsDocRequest* request) {
    if (handle == nullptr) return CS_FAILED;
    uint8_t route = ReadRouting(primary);
    CsHandle* target = CsRouteHandle(handle, primary, secondary, &route);
    return CsGetDocResources(target, group, primary, (route & CS_ROUTE_SECOND) ? secondary : nullptr, flags,
                             object, request);
}
