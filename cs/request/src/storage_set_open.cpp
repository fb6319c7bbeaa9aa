// Storage sets: read from the local server's tables or asked of a server (request 53),
// with a serving handle for every node on another server.
#include <memory>
#include <new>

#include "arc_platform.h"
#include "route_detail.h"

namespace {

constexpr uint32_t kServedLocally = 0x01;
// A node handle connects for one request at a time and leaves the System Log
// definition to the caller's handle.
constexpr uint32_t kNodeHandleFlags = CS_F1_DISCONNECT | CS_F1_CALLER_SYSLOG;

struct WireSetFree {
    void operator()(CsXdrStorageSet* set) const { CsFreeReplyEntry(CS_REQ_STORAGE_SET, set); }
};

int OpenLocal(CsHandle* handle, uint32_t number, CsStorageSet* set) {
    if (number > static_cast<uint32_t>(INT32_MAX)) return CS_NOT_FOUND;
    int rc = QelLocal_LoadTables(handle);
    try {
        QelLocalStorageSet local;
        if (rc == CS_OK) rc = QelLocal_ReadStorageSet(handle, static_cast<int32_t>(number), &local);
        if (rc == CS_OK) rc = csroute::StorageSetFromLocal(local, set);
    } catch (const std::bad_alloc&) {
        rc = CS_NO_MEMORY;
    }
    return QelLocal_EndRequest(handle, rc);
}

int OpenRemote(CsHandle* handle, uint32_t number, CsStorageSet* set) {
    CsXdrStorageSet* raw = nullptr;
    const int rc = CsServerRequest(handle, CS_REQ_STORAGE_SET, number, &raw);
    std::unique_ptr<CsXdrStorageSet, WireSetFree> wire(raw);
    if (rc != CS_OK) return rc;
    if (!wire) return CS_FAILED;
    return csroute::StorageSetFromWire(*wire, set);
}

// A handle for the nodes of another server: it shares the caller's logon (record and
// system parameters stay the caller's) and falls back to the caller as its secondary.
std::unique_ptr<CsHandle> MakeNodeHandle(CsHandle* caller, const char* server) {
    auto made = std::make_unique<CsHandle>();
    CsHandle& h = *made;
    if (CsSetText(h.serverName, sizeof h.serverName, server) != CS_OK ||
        CsSetText(h.currentServerName, sizeof h.currentServerName, server) != CS_OK ||
        CsSetText(h.def.host, sizeof h.def.host, server) != CS_OK)
        return nullptr;
    h.identity = caller->identity;
    h.clientFlags = caller->clientFlags;
    h.clientType = caller->clientType;
    h.serverSession = caller->serverSession;
    std::memcpy(h.serverSessionBlock, caller->serverSessionBlock, sizeof h.serverSessionBlock);
    h.systemParms = CsSystemParmsPtr::Borrow(caller->systemParms.get());
    h.logon = caller->logon;
    h.iconv = caller->iconv;
    h.localCcsid = caller->localCcsid;
    h.def.transportPath = caller->def.transportPath;
    h.def.transportLibrary = caller->def.transportLibrary;
    h.def.connectTimeout = caller->def.connectTimeout;
    h.def.idleTimeout = caller->def.idleTimeout;
    h.def.replyLimit = caller->def.replyLimit;
    h.secondary = caller;
    const uint16_t kind = caller->def.kind;
    if (kind == CS_KIND_LOCAL) {
        h.def.kind = caller->def.transportKind;
        h.def.port = caller->def.instancePort;
    } else if (kind == CS_KIND_TCP || kind == CS_KIND_SNA) {
        h.def.kind = kind;
        h.def.port = caller->def.port;
    }
    return made;
}

int GiveNodeHandles(CsHandle* caller, CsServerResolverFn resolver, CsStorageSet* set) {
    for (size_t i = 0; i < set->nodes.size(); ++i) {
        CsStorageNode& node = set->nodes[i];
        node.handle = nullptr;
        if (node.flags & kServedLocally) continue;
        for (size_t j = 0; j < i && node.handle == nullptr; ++j) {
            const CsStorageNode& earlier = set->nodes[j];
            if (earlier.handle != nullptr && ArcOS_StrICmp(earlier.serverName, node.serverName) == 0)
                node.handle = earlier.handle;
        }
        if (node.handle != nullptr) continue;
        if (resolver == nullptr) return CS_FAILED;
        std::unique_ptr<CsHandle> made = MakeNodeHandle(caller, node.serverName);
        if (!made) return CS_FAILED;
        if (resolver(caller->serverName, node.serverName, &made->def) != nullptr) {
            // The node lives on the caller's own server.
            caller->def.flags1 |= CS_F1_SERVES_FOLDER;
            node.handle = caller;
            continue;
        }
        CsServerDef& def = made->def;
        def.flags1 =
            (def.flags1 & ~CS_F1_LEVEL_BITS) | kNodeHandleFlags | (caller->def.flags1 & CS_F1_LEVEL_BITS);
        def.flags2 = (def.flags2 & ~CS_F2_LEVEL_BITS) | (caller->def.flags2 & CS_F2_LEVEL_BITS);
        node.handle = made.get();
        set->handles.push_back(std::move(made));
    }
    return CS_OK;
}

}  // namespace

int CsOpenStorageSet(CsHandle* handle, uint32_t number, CsServerResolverFn resolver, CsStorageSet** out) {
    if (handle == nullptr || out == nullptr) return CS_FAILED;
    *out = nullptr;
    std::unique_ptr<CsStorageSet> set(new (std::nothrow) CsStorageSet());
    if (!set) return CS_NO_MEMORY;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    const bool local = handle->def.kind == CS_KIND_LOCAL;
    try {
        rc = local ? OpenLocal(handle, number, set.get()) : OpenRemote(handle, number, set.get());
    } catch (const std::bad_alloc&) {
        rc = CS_NO_MEMORY;
    }
    rc = CsSessionLeave(handle, rc);
    // The local tables mark every node as served locally: only a server's nodes can
    // need a handle.
    if (rc == CS_OK && !(handle->def.flags1 & CS_F1_NO_GROUP_HANDLES)) {
        try {
            rc = GiveNodeHandles(handle, resolver, set.get());
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
    }
    if (rc != CS_OK) {
        CsFreeStorageSet(set.release());
        return rc;
    }
    *out = set.release();
    return CS_OK;
}

void CsFreeStorageSet(CsStorageSet* set) {
    std::unique_ptr<CsStorageSet> owned(set);
    if (!owned) return;
    // Each made handle is held once, however many nodes it serves.
    for (const std::unique_ptr<CsHandle>& handle : owned->handles)
        if (handle) CsDropConnection(handle.get());
}
