// Storing a document: its object through the storage manager (or the secondary server
// the object belongs to), then its index row; remotely request 96.
#include <cstdlib>
#include <new>
#include <string>

#include "arc_platform.h"
#include "doc_detail.h"
#include "logon_detail.h"

namespace {

constexpr int kMsgStore = 65;
// The places a store on the secondary server writes.
constexpr int kSecondaryPlaces = 15;
// Flag word 2: an index row that belongs to a store.
constexpr uint32_t kF2StoreIndex = 0x20;
constexpr size_t kLoadIdSize = 64;

// The arguments of a store.
struct Stored {
    const CsStorageNode* primary;
    const CsStorageNode* secondary;
    const CsXdrHitRow* block;
    CsXdrObjectRef* object;
    int64_t value;
    uint32_t word;
    int flag1;
    int flag2;
    CsSourceFn source;
};

// The data source seen twice: the storage manager reads it first, keeping a copy; when
// the object turns out to belong to the secondary server, that copy is handed out
// again before the rest of the source.
class Replay {
public:
    Replay(CsSourceFn source, void* context) : source_(source), context_(context) {}

    static int Recording(void* self, const char** data, uint32_t* length) {
        return static_cast<Replay*>(self)->Record(data, length);
    }
    static int Replaying(void* self, const char** data, uint32_t* length) {
        return static_cast<Replay*>(self)->Again(data, length);
    }

private:
    int Record(const char** data, uint32_t* length) {
        const int more = source_(context_, data, length);
        if (more != 0 && more != 1) return more;
        if (*length > 0) kept_.append(*data, *length);
        ended_ = more == 0;
        return more;
    }
    int Again(const char** data, uint32_t* length) {
        if (!replayed_) {
            replayed_ = true;
            *data = kept_.data();
            *length = static_cast<uint32_t>(kept_.size());
            return ended_ ? 0 : 1;
        }
        return source_(context_, data, length);
    }

    CsSourceFn source_;
    void* context_;
    std::string kept_;
    bool ended_ = false;
    bool replayed_ = false;
};

// Runs a store with flag word 1 bit 0x8000 in place of 0x4000 when only 0x4000 is set.
class StoreFlags {
public:
    explicit StoreFlags(CsHandle* handle) : handle_(handle) {
        const uint32_t flags = handle_->def.flags1;
        swapped_ = (flags & CS_F1_IN_SYSLOG_STORE) && !(flags & CS_F1_IN_STORE_ALT);
        if (swapped_) {
            handle_->def.flags1 &= ~CS_F1_IN_SYSLOG_STORE;
            handle_->def.flags1 |= CS_F1_IN_STORE_ALT;
        }
    }
    ~StoreFlags() {
        if (!swapped_) return;
        handle_->def.flags1 &= ~CS_F1_IN_STORE_ALT;
        handle_->def.flags1 |= CS_F1_IN_SYSLOG_STORE;
    }
    StoreFlags(const StoreFlags&) = delete;
    StoreFlags& operator=(const StoreFlags&) = delete;

private:
    CsHandle* handle_;
    bool swapped_ = false;
};

// Flag word 2 bit 0x20 for a scope, as it was afterwards.
class StoreIndexFlag {
public:
    explicit StoreIndexFlag(CsHandle* handle)
        : handle_(handle), had_((handle->def.flags2.fetch_or(kF2StoreIndex) & kF2StoreIndex) != 0) {}
    ~StoreIndexFlag() {
        if (!had_) handle_->def.flags2 &= ~kF2StoreIndex;
    }
    StoreIndexFlag(const StoreIndexFlag&) = delete;
    StoreIndexFlag& operator=(const StoreIndexFlag&) = delete;

private:
    CsHandle* handle_;
    bool had_;
};

// The group as the local server keeps it, with the user's right to store into it.
int ReadStoreGroup(CsHandle* handle, const CsXdrApplGroup& group, csdoc::LocalGroup* local) {
    int rc = QelLocal_LoadTables(handle);
    if (rc == CS_OK) {
        try {
            rc = csdoc::ReadLocalGroup(handle, group.number, local);
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
        if (rc == CS_OK) rc = csdoc::Permit(local->permissions, CS_PERMIT_STORE);
    }
    return QelLocal_EndRequest(handle, rc);
}

// The object on the secondary server: its load information (86), then the object with
// every place (87). The reference takes the stored length, the letter the data went
// in, the places and the node numbers; *loadId the server's load.
int StoreOnSecondary(CsHandle* handle, const CsXdrApplGroup& group, const CsStorageNode* primary,
                     const CsStorageNode* secondary, CsXdrObjectRef* object, int64_t value, int flag2,
                     Replay* replay, std::string* loadId) {
    CsXdrNodeEntry first, second;
    if (csdoc::ToNodeEntry(primary, &first) != CS_OK || csdoc::ToNodeEntry(secondary, &second) != CS_OK)
        return CS_FAILED;
    CsHandle* target = CsRouteSecondary(handle);
    if (target == handle) return CS_NOT_FOUND;  // no secondary server to take it
    int rc = CsSessionEnter(target);
    if (rc != CS_OK) return rc;
    char load[kLoadIdSize] = {};
    rc = CsServerRequest(target, CS_REQ_LOAD_INFO, group.number, load, sizeof load);
    uint32_t stored = 0;
    if (rc == CS_OK) {
        // The object's data comes from the replay, not from the lent callback words.
        void* context = target->callbackContext;
        target->callbackContext = replay;
        rc = CsServerRequest(target, CS_REQ_STORE_OBJECT, const_cast<CsXdrApplGroup*>(&group), &first,
                             &second, kSecondaryPlaces, object, flag2, value, &Replay::Replaying, &stored);
        target->callbackContext = context;
    }
    rc = CsSessionLeave(target, rc);
    if (rc != CS_OK) return rc;
    object->compressedLength = stored;
    object->location = SM_LOC_SECONDARY;
    object->primaryNode = primary != nullptr ? primary->number : 0;
    object->secondaryNode = secondary != nullptr ? secondary->number : 0;
    *loadId = load;
    return CS_OK;
}

// The object through the storage manager; with store logging message 65.
int StoreObjectLocal(CsHandle* handle, const csdoc::LocalGroup& local, const CsStorageNode* primary,
                     const CsStorageNode* secondary, CsXdrObjectRef* object, Replay* replay) {
    uint64_t length = 0;
    int rc = SmLoadAndStoreObject(handle, &local.storage, primary, secondary, &object->location, object->name,
                                  &Replay::Recording, replay, ArcOS_TimeNow(), &length);
    if (rc != CS_OK || !(local.record.logFlags & CS_LOG_STORES)) return rc;
    std::string node, server;
    int number = 0;
    rc = CsLocationName(handle, primary, secondary, object->location, &node, &number, &server);
    if (rc != CS_OK) return rc;
    // The object is stored: a message that does not get out cannot undo it.
    CsIssueMessageV(handle, kMsgStore, 'S', local.record.name, 'I', local.record.agid, 'S', node.c_str(), 'I',
                    number, 'S', server.c_str(), 'S', object->name, 'I',
                    static_cast<int32_t>(object->compressedOffset), 'B', static_cast<int64_t>(length), 'S',
                    "Qelcs", 'I', __LINE__, 'V');
    return CS_OK;
}

// Request 96; the server indexes the block itself. The reference takes what the server
// stored, the caller's name kept.
int StoreRemote(CsHandle* handle, const CsXdrApplGroup& group, const Stored& what, Replay* replay) {
    CsXdrNodeEntry first, second;
    if (csdoc::ToNodeEntry(what.primary, &first) != CS_OK ||
        csdoc::ToNodeEntry(what.secondary, &second) != CS_OK)
        return CS_FAILED;
    CsXdrHitRow none{};
    CsXdrObjectRef answer{};
    void* context = handle->callbackContext;
    if (replay != nullptr) handle->callbackContext = replay;
    const int rc = CsServerRequest(handle, CS_REQ_STORE, const_cast<CsXdrApplGroup*>(&group),
                                   const_cast<CsXdrHitRow*>(what.block != nullptr ? what.block : &none),
                                   &first, &second, what.object, what.value, what.flag1, what.flag2,
                                   what.word, replay != nullptr ? &Replay::Recording : nullptr, &answer);
    handle->callbackContext = context;
    if (rc == CS_OK && what.object != nullptr) {
        char* name = what.object->name;
        *what.object = answer;
        what.object->name = name;
    }
    std::free(answer.name);
    return rc;
}

int Store(CsHandle* handle, const CsXdrApplGroup& group, const Stored& what) {
    const bool local = cslogon::IsLocal(handle);
    const bool withObject = what.source != nullptr && what.object != nullptr;
    Replay replay(what.source, handle->callbackContext);
    int rc = CS_OK;
    if (local) {
        csdoc::LocalGroup localGroup;
        rc = ReadStoreGroup(handle, group, &localGroup);
        if (rc == CS_OK && withObject)
            rc = StoreObjectLocal(handle, localGroup, what.primary, what.secondary, what.object, &replay);
    } else {
        rc = StoreRemote(handle, group, what, withObject ? &replay : nullptr);
    }
    std::string loadId;
    bool onSecondary = false;
    if (rc == CS_NOT_FOUND && withObject) {
        rc = StoreOnSecondary(handle, group, what.primary, what.secondary, what.object, what.value,
                              what.flag2, &replay, &loadId);
        onSecondary = true;
    }
    // A server that stored the object indexed the block with it.
    if (rc != CS_OK || what.block == nullptr || !(local || onSecondary)) return rc;
    StoreIndexFlag flag(handle);
    return CsAddIndexRow(handle, &group, std::span<const CsXdrHitRow>(what.block, 1),
                         loadId.empty() ? nullptr : loadId.c_str(), nullptr, nullptr);
}

}  // namespace

int CsStoreDocument(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                    const CsStorageNode* secondary, const CsXdrHitRow* block, CsXdrObjectRef* object,
                    int64_t value, uint32_t word, int flag1, int flag2, CsSourceFn source) {
    if (handle == nullptr || group == nullptr) return CS_FAILED;
    StoreFlags flags(handle);
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    const Stored what{primary, secondary, block, object, value, word, flag1, flag2, source};
    try {
        rc = Store(handle, *group, what);
    } catch (const std::bad_alloc&) {
        rc = CS_NO_MEMORY;
    }
    return CsSessionLeave(handle, rc);
}

int CsStoreDocumentRouted(CsHandle* handle, const CsXdrApplGroup* group, CsStorageNode* primary,
                          CsStorageNode* secondary, const CsXdrHitRow* block, CsXdrObjectRef* object,
                          int64_t value, uint32_t word, int flag1, int flag2, CsSourceFn source) {
    uint8_t flags = CS_ROUTE_STORE;
    CsHandle* target = CsRouteHandle(handle, primary, secondary, &flags);
    if (target == nullptr) return CS_FAILED;
    return CsStoreDocument(target, group, primary, secondary, block, object, value, word, flag1, flag2,
                           source);
}
