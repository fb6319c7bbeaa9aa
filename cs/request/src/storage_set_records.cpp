// Storage sets made from the local server's tables and from a server's reply.
#include <new>

#include "route_detail.h"

namespace csroute {

namespace {

// Node flag of an entry that the local server serves.
constexpr uint32_t kServedLocally = 0x01;

}  // namespace

int StorageSetFromLocal(const QelLocalStorageSet& local, CsStorageSet* set) {
    if (!CopyField(set->name, local.name) || !CopyField(set->description, local.description))
        return CS_FAILED;
    set->type = 'L';
    set->nodes.clear();
    set->nodes.reserve(local.nodes.size());
    for (const QelLocalStorageNode& from : local.nodes) {
        CsStorageNode node;
        if (from.nid < 0 || from.nid > 0xFFFF || from.secNid < 0 || from.secNid > 0xFFFF) return CS_FAILED;
        node.number = static_cast<uint16_t>(from.nid);
        if (!CopyField(node.name, from.name) || !CopyField(node.description, from.description) ||
            !CopyField(node.logon, from.logon) || !CopyField(node.password, from.password) ||
            !CopyField(node.serverName, from.server))
            return CS_FAILED;
        node.flags = from.status | kServedLocally;
        node.secondary = static_cast<uint16_t>(from.secNid);
        set->nodes.push_back(node);
    }
    return CS_OK;
}

int StorageSetFromWire(const CsXdrStorageSet& wire, CsStorageSet* set) {
    if (!CopyField(set->name, wire.name) || !CopyField(set->description, wire.description)) return CS_FAILED;
    set->type = wire.type;
    set->nodes.clear();
    if (wire.nodeCount > 0 && wire.nodes == nullptr) return CS_FAILED;
    set->nodes.reserve(wire.nodeCount);
    for (size_t i = 0; i < wire.nodeCount; ++i) {
        const CsXdrNodeEntry& from = wire.nodes[i];
        CsStorageNode node;
        node.number = from.number;
        if (!CopyField(node.name, from.name) || !CopyField(node.description, from.description) ||
            !CopyField(node.logon, from.logon) || !CopyField(node.password, from.password) ||
            !CopyField(node.serverName, from.serverName))
            return CS_FAILED;
        node.flags = from.flags;
        set->nodes.push_back(node);
    }
    return CS_OK;
}

}  // namespace csroute
