// Picking the storage nodes of a request and the handle that serves them.
#include <cstring>

#include "arc_platform.h"
#include "route_detail.h"

namespace {

constexpr uint32_t kServedLocally = 0x01;
constexpr uint32_t kRoleStore = 0x02;
constexpr uint32_t kRolePrimary = 0x04;
constexpr uint32_t kRoleSecondary = 0x08;
constexpr uint32_t kRoleStoreAlt = 0x10;
constexpr uint8_t kRouteToFirst = CS_ROUTE_FIRST | CS_ROUTE_FIRST_HANDLE | CS_ROUTE_STORE;
// Flag word 2 bits that travel with a routed call.
constexpr uint32_t kRoutedFlags2 = 0x02 | 0x08;

bool Storable(const CsStorageNode& node) {
    return (node.flags & kRoleStore) && (node.flags & (kRolePrimary | kRoleStoreAlt));
}

template <class Predicate>
CsStorageNode* FindNode(CsStorageSet* set, Predicate predicate) {
    for (CsStorageNode& node : set->nodes)
        if (predicate(node)) return &node;
    return nullptr;
}

CsStorageNode* FindNumber(CsStorageSet* set, int number) {
    return FindNode(set, [number](const CsStorageNode& node) { return node.number == number; });
}

// The node a store goes to: CS_OK, CS_NOT_FOUND, or CS_FAILED for a set of another type.
int PickForStore(CsStorageSet* set, CsStorageNode** first) {
    if (set->type == 'F') {
        *first = FindNode(set, Storable);
    } else if (set->type == 'L') {
        // Best first: a node the local server serves through its own handle, one whose
        // handle was made for its server, one the local server serves, any.
        *first = FindNode(set, [](const CsStorageNode& node) {
            return Storable(node) && node.handle != nullptr && node.handle->def.kind == CS_KIND_LOCAL;
        });
        if (*first == nullptr)
            *first = FindNode(set, [](const CsStorageNode& node) {
                return Storable(node) && node.handle != nullptr &&
                       ArcOS_StrICmp(node.serverName, node.handle->serverName) == 0;
            });
        if (*first == nullptr)
            *first = FindNode(set, [](const CsStorageNode& node) {
                return Storable(node) && (node.flags & kServedLocally);
            });
        if (*first == nullptr) *first = FindNode(set, Storable);
    } else {
        return CS_FAILED;
    }
    return *first != nullptr ? CS_OK : CS_NOT_FOUND;
}

// Makes `target` serve the caller's call: it takes the caller's callbacks and logon.
void Lend(CsHandle* caller, CsHandle* target) {
    target->yield = caller->yield;
    target->logon = caller->logon;
    target->callbackContext = caller->callbackContext;
    target->messageCallback = caller->messageCallback;
    target->owner = caller->owner;
    caller->delegated = target;
    std::memcpy(caller->currentServerName, target->serverName, sizeof caller->currentServerName);
    CsClearBusy(target);
}

}  // namespace

int CsPickStorageNode(CsStorageSet* set, int primary, int secondary, int forStore, CsStorageNode** first,
                      CsStorageNode** second) {
    if (first == nullptr || second == nullptr) return CS_FAILED;
    *first = nullptr;
    *second = nullptr;
    if (set == nullptr || set->nodes.empty()) return CS_OK;
    CsStorageNode* one = nullptr;
    if (forStore) {
        if (int rc = PickForStore(set, &one); rc != CS_OK) return rc;
    } else if (primary != 0) {
        one = FindNumber(set, primary);
    } else {
        one = FindNode(set, [](const CsStorageNode& node) {
            return (node.flags & kRolePrimary) && (node.flags & kRoleSecondary);
        });
    }
    if (one == nullptr) return CS_NOT_FOUND;
    CsStorageNode* two = nullptr;
    if (secondary < 0) {
        if (one->secondary != 0) {
            two = FindNumber(set, one->secondary);
            if (two == nullptr) return CS_NOT_FOUND;
        }
    } else if (secondary > 0) {
        two = FindNumber(set, secondary);
        if (two == nullptr) return CS_NOT_FOUND;
    } else {
        two = FindNode(set, [](const CsStorageNode& node) {
            return (node.flags & kRoleSecondary) && !(node.flags & kRolePrimary);
        });
    }
    *first = one;
    *second = two;
    return CS_OK;
}

CsHandle* CsRouteHandle(CsHandle* handle, CsStorageNode* first, CsStorageNode* second, uint8_t* flags) {
    if (handle == nullptr) return nullptr;
    uint8_t routing = flags != nullptr ? *flags : 0;
    CsHandle* target = handle;
    if (routing & kRouteToFirst) {
        if (first != nullptr && first->handle != nullptr)
            target = first->handle;
        else
            routing &= ~CS_ROUTE_FIRST_HANDLE;
        const bool shared = first != nullptr && second != nullptr && first->handle == second->handle;
        if (!shared) routing &= ~CS_ROUTE_SECOND;
    } else if ((routing & CS_ROUTE_SECOND) && second != nullptr) {
        if (second->handle != nullptr) target = second->handle;
    } else {
        routing = 0;
    }
    if (flags != nullptr) *flags = routing;
    if (target == handle) {
        handle->delegated = nullptr;
        std::memcpy(handle->currentServerName, handle->serverName, sizeof handle->currentServerName);
        return handle;
    }
    Lend(handle, target);
    target->iconv = handle->iconv;
    target->def.flags2 = (target->def.flags2 & ~kRoutedFlags2) | (handle->def.flags2 & kRoutedFlags2);
    std::memcpy(target->serverSessionBlock, handle->serverSessionBlock, sizeof target->serverSessionBlock);
    return target;
}

CsHandle* CsRouteSecondary(CsHandle* handle) {
    if (handle == nullptr) return nullptr;
    CsHandle* secondary = handle->secondary;
    if (secondary == nullptr || secondary == handle) return handle;
    Lend(handle, secondary);
    return secondary;
}
