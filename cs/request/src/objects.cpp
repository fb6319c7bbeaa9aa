// Stored objects by name: storing one, reading a segment of its bytes and asking where it
// lives; locally through the storage manager, remotely requests 87, 88 and 102, and
// routed to the handle that serves the node entries.
#include <algorithm>
#include <limits>
#include <new>
#include <string>

#include "arc_platform.h"
#include "doc_detail.h"
#include "logon_detail.h"

namespace {

using cslogon::IsLocal;

constexpr int kMsgSegmentGet = 63;
constexpr int kMsgObjectStore = 64;
constexpr const char* kSource = "Qelcs";

// The group as the local server keeps it, with the user's rights checked for `bit`
// (0: seeing the group is enough). The local server's request ends before the storage
// manager runs.
int ReadGroup(CsHandle* handle, uint32_t number, uint8_t bit, csdoc::LocalGroup* local) {
    int rc = QelLocal_LoadTables(handle);
    if (rc == CS_OK) {
        try {
            rc = csdoc::ReadLocalGroup(handle, number, local);
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
        if (rc == CS_OK && bit != 0) rc = csdoc::Permit(local->permissions, bit);
    }
    return QelLocal_EndRequest(handle, rc);
}

// Both node entries as the wire's records.
int NodeEntries(const CsStorageNode* primary, const CsStorageNode* secondary, CsXdrNodeEntry* first,
                CsXdrNodeEntry* second) {
    if (csdoc::ToNodeEntry(primary, first) != CS_OK || csdoc::ToNodeEntry(secondary, second) != CS_OK)
        return CS_FAILED;
    return CS_OK;
}

// Runs `operation` in the call bracket, memory failures as CS_NO_MEMORY.
template <typename Operation>
int InBracket(CsHandle* handle, Operation operation) {
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    try {
        rc = operation();
    } catch (const std::bad_alloc&) {
        rc = CS_NO_MEMORY;
    }
    return CsSessionLeave(handle, rc);
}

// ---------------------------------------------------------------- store

struct StoreArgs {
    const CsStorageNode* primary;
    const CsStorageNode* secondary;
    uint8_t* location;
    CsXdrObjectRef* object;
    int flag2;
    int64_t value;
    CsSourceFn source;
    uint64_t* outLength;
};

int StoreLocal(CsHandle* handle, const CsXdrApplGroup& group, const StoreArgs& a) {
    csdoc::LocalGroup local;
    int rc = ReadGroup(handle, group.number, CS_PERMIT_STORE, &local);
    if (rc != CS_OK) return rc;
    const csdoc::Stopwatch watch;
    uint64_t length = 0;
    rc = SmLoadAndStoreObject(handle, &local.storage, a.primary, a.secondary, a.location, a.object->name,
                              a.source, handle->callbackContext, ArcOS_TimeNow(), &length);
    if (rc != CS_OK) return rc;
    if (a.outLength != nullptr) *a.outLength = length;
    if (!(local.record.logFlags & CS_LOG_STORES)) return CS_OK;
    const std::string seconds = watch.Seconds();
    // One message per place written: the nodes first, then the cache.
    for (const uint8_t place : {SM_LOC_PRIMARY, SM_LOC_SECONDARY, SM_LOC_CACHE}) {
        if (!(*a.location & place)) continue;
        std::string node, server;
        int number = 0;
        CsLocationName(handle, a.primary, a.secondary, place, &node, &number, &server);
        // The object is stored: a message that does not get out cannot undo it.
        CsIssueMessageV(handle, kMsgObjectStore, 'S', local.record.name, 'I', local.record.agid, 'S',
                        node.c_str(), 'I', number, 'S', server.c_str(), 'S', a.object->name, 'S',
                        seconds.c_str(), 'S', kSource, 'I', __LINE__, 'V');
    }
    return CS_OK;
}

int StoreRemote(CsHandle* handle, const CsXdrApplGroup& group, const StoreArgs& a) {
    CsXdrNodeEntry first, second;
    if (NodeEntries(a.primary, a.secondary, &first, &second) != CS_OK) return CS_FAILED;
    uint32_t stored = 0;
    const int rc = CsServerRequest(handle, CS_REQ_STORE_OBJECT, const_cast<CsXdrApplGroup*>(&group), &first,
                                   &second, int{*a.location}, a.object, a.flag2, a.value, a.source, &stored);
    if (rc == CS_OK && a.outLength != nullptr) *a.outLength = stored;
    return rc;
}

// ---------------------------------------------------------------- segments

// The storage manager's pieces as the caller's segment callback sees them. An interrupt
// of the handle stops the fetch before the next piece.
class SegmentSink {
public:
    SegmentSink(CsHandle* handle, CsSegmentFn callback, void* context, char letter, uint64_t offset)
        : handle_(handle), callback_(callback), context_(context), letter_(letter), position_(offset) {}

    static int Take(void* self, const unsigned char* data, size_t length) {
        return static_cast<SegmentSink*>(self)->Deliver(reinterpret_cast<const char*>(data), length);
    }
    uint64_t Delivered() const { return delivered_; }
    bool Stopped() const { return stopped_; }

private:
    int Deliver(const char* data, size_t length) {
        // A piece of length 0 ends the object; longer pieces go out in parts the
        // callback's length can carry.
        while (length > 0) {
            if (handle_->def.flags1 & CS_F1_INTERRUPT) {
                stopped_ = true;
                return 0;
            }
            const auto part =
                static_cast<uint32_t>(std::min<size_t>(length, std::numeric_limits<uint32_t>::max()));
            callback_(context_, static_cast<int64_t>(position_), letter_, data, part);
            position_ += part;
            delivered_ += part;
            data += part;
            length -= part;
        }
        return 1;
    }

    CsHandle* handle_;
    CsSegmentFn callback_;
    void* context_;
    char letter_;
    uint64_t position_;
    uint64_t delivered_ = 0;
    bool stopped_ = false;
};

struct SegmentArgs {
    const CsStorageNode* primary;
    const CsStorageNode* secondary;
    uint8_t* location;
    const CsXdrObjectRef* object;
    uint32_t offset;
    uint32_t length;
    CsSegmentFn callback;
    void* context;
};

int SegmentLocal(CsHandle* handle, const CsXdrApplGroup& group, const SegmentArgs& a) {
    csdoc::LocalGroup local;
    int rc = ReadGroup(handle, group.number, CS_PERMIT_RETRIEVE, &local);
    if (rc != CS_OK) return rc;
    const csdoc::Stopwatch watch;
    const char letter = a.object->compression != 0 ? a.object->compression : 'N';
    SegmentSink sink(handle, a.callback, a.context, letter, a.offset);
    {
        // The storage manager hands its pieces on with the handle's callback context.
        struct Restore {
            CsHandle* handle;
            void* saved;
            ~Restore() { handle->callbackContext = saved; }
        } restore{handle, handle->callbackContext};
        handle->callbackContext = &sink;
        rc = SmRetrieveSegment(handle, &local.storage, a.primary, a.secondary, a.location, a.object->name,
                               a.offset, a.length, &SegmentSink::Take);
    }
    if (rc == CS_OK && sink.Stopped()) return CS_CANCELLED;
    if (rc != CS_OK || !(local.record.logFlags & CS_LOG_SEGMENTS)) return rc;
    std::string node, server;
    int number = 0;
    CsLocationName(handle, a.primary, a.secondary, *a.location, &node, &number, &server);
    // Nine inserts: the row has no room for the source and line.
    CsIssueMessageV(handle, kMsgSegmentGet, 'S', local.record.name, 'I', local.record.agid, 'S',
                    a.object->name, 'S', node.c_str(), 'I', number, 'S', server.c_str(), 'B',
                    static_cast<int64_t>(a.offset), 'B', static_cast<int64_t>(sink.Delivered()), 'S',
                    watch.Seconds().c_str());
    return CS_OK;
}

int SegmentRemote(CsHandle* handle, const CsXdrApplGroup& group, const SegmentArgs& a) {
    CsXdrNodeEntry first, second;
    if (NodeEntries(a.primary, a.secondary, &first, &second) != CS_OK) return CS_FAILED;
    return CsServerRequest(handle, CS_REQ_SEGMENT_DATA, const_cast<CsXdrApplGroup*>(&group), &first, &second,
                           int{*a.location}, static_cast<const char*>(a.object->name), a.offset, a.length,
                           a.callback, a.context);
}

// ---------------------------------------------------------------- locate

struct QueryArgs {
    const CsStorageNode* primary;
    const CsStorageNode* secondary;
    uint8_t location;
    const CsXdrHitRow* hit;
    const char* text;
    uint32_t exitLast;
    uint32_t word2;
    uint8_t* answer;
    uint32_t* word;
};

int QueryLocal(CsHandle* handle, const CsXdrApplGroup& group, const QueryArgs& a) {
    csdoc::LocalGroup local;
    int rc = ReadGroup(handle, group.number, 0, &local);
    if (rc != CS_OK) return rc;
    uint32_t words[5] = {};
    rc = SmLocateObject(handle, &local.storage, a.primary, a.location, nullptr, a.hit->object->name,
                        a.exitLast != 0 ? 1 : 0, a.answer, nullptr, words, nullptr);
    if (rc == CS_OK && a.word != nullptr) *a.word = words[0];
    return rc;
}

int QueryRemote(CsHandle* handle, const CsXdrApplGroup& group, const QueryArgs& a) {
    CsXdrNodeEntry first, second;
    if (NodeEntries(a.primary, a.secondary, &first, &second) != CS_OK) return CS_FAILED;
    uint32_t word = 0;
    const int rc = CsServerRequest(handle, CS_REQ_DOC_OBJECT, const_cast<CsXdrApplGroup*>(&group), &first,
                                   &second, int{a.location}, const_cast<CsXdrHitRow*>(a.hit),
                                   a.text != nullptr ? a.text : "", a.exitLast, a.word2, a.answer, &word);
    if (rc == CS_OK && a.word != nullptr) *a.word = word;
    return rc;
}

// The routing flags of a read: the first entry's handle, with the second entry along
// when the same handle serves it; without a first entry, the second entry's handle.
uint8_t ReadRouting(const CsStorageNode* primary) {
    return primary != nullptr ? CS_ROUTE_FIRST | CS_ROUTE_SECOND : CS_ROUTE_SECOND;
}

}  // namespace

int CsStoreObject(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                  const CsStorageNode* secondary, uint8_t* location, CsXdrObjectRef* object, int flag2,
                  int64_t value, CsSourceFn source, uint64_t* outLength) {
    if (handle == nullptr || group == nullptr || location == nullptr || object == nullptr ||
        object->name == nullptr || source == nullptr)
        return CS_FAILED;
    const StoreArgs args{primary, secondary, location, object, flag2, value, source, outLength};
    return InBracket(handle, [&] {
        return IsLocal(handle) ? StoreLocal(handle, *group, args) : StoreRemote(handle, *group, args);
    });
}

int CsRetrieveSegment(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                      const CsStorageNode* secondary, uint8_t* location, const CsXdrObjectRef* object,
                      uint32_t offset, uint32_t length, CsSegmentFn callback, void* context) {
    if (handle == nullptr || group == nullptr || location == nullptr || object == nullptr ||
        object->name == nullptr || callback == nullptr)
        return CS_FAILED;
    const SegmentArgs args{primary, secondary, location, object, offset, length, callback, context};
    return InBracket(handle, [&] {
        return IsLocal(handle) ? SegmentLocal(handle, *group, args) : SegmentRemote(handle, *group, args);
    });
}

int CsQueryDocObject(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                     const CsStorageNode* secondary, uint8_t location, const CsXdrHitRow* hit,
                     const char* text, uint32_t exitLast, uint32_t word2, uint8_t* answer, uint32_t* word) {
    if (handle == nullptr || group == nullptr || hit == nullptr || hit->object == nullptr ||
        hit->object->name == nullptr || answer == nullptr)
        return CS_FAILED;
    *answer = 0;
    const QueryArgs args{primary, secondary, location, hit, text, exitLast, word2, answer, word};
    return InBracket(handle, [&] {
        return IsLocal(handle) ? QueryLocal(handle, *group, args) : QueryRemote(handle, *group, args);
    });
}

int CsRetrieveSegmentRouted(CsHandle* handle, const CsXdrApplGroup* group, CsStorageNode* primary,
                            CsStorageNode* secondary, uint8_t* location, const CsXdrObjectRef* object,
                            uint32_t offset, uint32_t length, CsSegmentFn callback, void* context) {
    if (handle == nullptr) return CS_FAILED;
    uint8_t flags = ReadRouting(primary);
    CsHandle* target = CsRouteHandle(handle, primary, secondary, &flags);
    if (target == nullptr) return CS_FAILED;
    return CsRetrieveSegment(target, group, primary, (flags & CS_ROUTE_SECOND) ? secondary : nullptr,
                             location, object, offset, length, callback, context);
}

int CsQueryDocObjectRouted(CsHandle* handle, const CsXdrApplGroup* group, CsStorageNode* primary,
                           CsStorageNode* secondary, uint8_t location, const CsXdrHitRow* hit,
                           const char* text, uint32_t exitLast, uint32_t word2, uint8_t* answer,
                           uint32_t* word) {
    if (handle == nullptr) return CS_FAILED;
    uint8_t flags = ReadRouting(primary);
    CsHandle* target = CsRouteHandle(handle, primary, secondary, &flags);
    if (target == nullptr) return CS_FAILED;
    return CsQueryDocObject(target, group, primary, (flags & CS_ROUTE_SECOND) ? secondary : nullptr, location,
                            hit, text, exitLast, word2, answer, word);
}
