// Where a document's data is asked for: the storage set of its application group (opened
// once per session and group) and the storage-node descriptor of its resource group.
#include <algorithm>

#include "doc_internal.h"

void CsStorageSetDeleter::operator()(CsStorageSet* set) const { CsFreeStorageSet(set); }

namespace qelclient {

namespace {

CsStorageSet* GroupStorageSet(ClientSession* session, const CsXdrApplGroup* group) {
    auto found = std::find_if(session->retrieveSets.begin(), session->retrieveSets.end(),
                              [group](const ClientRetrieveSet& s) { return s.groupNumber == group->number; });
    if (found != session->retrieveSets.end()) return found->set.get();
    ClientRetrieveSet entry;
    entry.groupNumber = group->number;
    if (group->storageSet != 0) {
        CsStorageSet* set = nullptr;
        // A set that does not open leaves the entry without one: the request layer then
        // reads from the places it knows without node entries.
        if (CsOpenStorageSet(&session->handle, group->storageSet, CsResolveServerDef, &set) == CS_OK)
            entry.set.reset(set);
    }
    session->retrieveSets.push_back(std::move(entry));
    return session->retrieveSets.back().set.get();
}

}  // namespace

int PickNodes(ClientSession* session, const CsXdrApplGroup* group, const CsXdrObjectRef* object,
              CsStorageNode** primary, CsStorageNode** secondary) {
    *primary = nullptr;
    *secondary = nullptr;
    CsStorageSet* set = GroupStorageSet(session, group);
    if (set == nullptr) return CS_OK;
    const int first = object != nullptr ? object->primaryNode : 0;
    const int second = object != nullptr ? object->secondaryNode : 0;
    return CsPickStorageNode(set, first, second, 0, primary, secondary);
}

int RequestResourceDescriptor(ClientSession* session, const CsXdrApplGroup* group, uint32_t resourceId,
                              uint32_t desc[4]) {
    // The node number of the request is 16 bits wide.
    if (resourceId == 0 || resourceId > 0xFFFFu) return CS_FAILED;
    CsXdrNodeInfo* info = nullptr;
    const int rc =
        CsGetStorageNodes(&session->handle, group->number, static_cast<uint16_t>(resourceId), &info);
    if (rc != CS_OK) return rc;
    desc[0] = info->groupNumber;
    desc[1] = info->primaryNode;
    desc[2] = info->secondaryNode;
    desc[3] = static_cast<uint8_t>(info->compression);
    CsFreeStorageNodes(info);
    return CS_OK;
}

}  // namespace qelclient
