// What the request layer lends the storage manager: its object reader and the storage
// exit's lookups.
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "dispatcher_roads.h"
#include "qel_cs.h"
#include "qel_exits.h"
#include "qel_sm.h"

namespace {

struct FreeBytes {
    void operator()(void* bytes) const { std::free(bytes); }
};

int ReadObject(CsHandle* handle, const SmFetchFn& fetch, char expandType, char compressType,
               SmDataFn callback, void* context) {
    CsObjectRequest request;
    request.fetch = fetch;
    request.expandType = expandType;
    request.compressType = compressType;
    request.callback = callback;
    request.context = context;
    return CsReadObjectData(handle, &request);
}

// The exit options are the exit's context word, as a store hands it the group's.
int Ask(CsHandle* handle, uint32_t function, const SmApplGroup& group, const void* exitOptions,
        const char* name, QelExitObjectQuery* query) {
    query->storageId = group.storageId.c_str();
    query->name = name;
    return CsAskStorageExit(handle, function, group.name.c_str(), const_cast<void*>(exitOptions), query);
}

int ExitLocate(CsHandle* handle, const SmApplGroup& group, const void* exitOptions, const char* name) {
    QelExitObjectQuery query{};
    int rc = Ask(handle, QEL_STORAGE_EXIT_LOCATE, group, exitOptions, name, &query);
    std::free(query.data);
    if (rc != CS_OK) return rc;
    return query.found ? CS_OK : CS_NOT_FOUND;
}

int ExitFetch(CsHandle* handle, const SmApplGroup& group, const void* exitOptions, const char* name,
              std::vector<uint8_t>* data) {
    QelExitObjectQuery query{};
    int rc = Ask(handle, QEL_STORAGE_EXIT_FETCH, group, exitOptions, name, &query);
    std::unique_ptr<void, FreeBytes> bytes(query.data);
    if (rc != CS_OK) return rc;
    if (!query.found) return CS_NOT_FOUND;
    if (query.length > 0 && bytes == nullptr) return CS_FAILED;
    if (query.length > data->max_size()) return CS_NO_MEMORY;
    try {
        const auto* first = static_cast<const uint8_t*>(bytes.get());
        data->assign(first, first + query.length);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
    return CS_OK;
}

}  // namespace

namespace csreq::detail {

void LendStorageRoads() { SmSetRequestRoads({ReadObject, ExitLocate, ExitFetch}); }

}  // namespace csreq::detail
