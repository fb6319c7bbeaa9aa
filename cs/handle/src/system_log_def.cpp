// The System Log definition: the "System Log" group's storage set, kept process-wide.
#include "qel_cshandle.h"

#include <cstring>
#include <map>
#include <mutex>
#include <new>

#include "layer_hooks.h"

namespace {

std::mutex& DefMutex() {
    static std::mutex mutex;
    return mutex;
}

// Shared, so that replacing or freeing it never pulls it from under a running store.
std::shared_ptr<const CsSystemLogDef>& Kept() {
    static std::shared_ptr<const CsSystemLogDef> kept;
    return kept;
}

}  // namespace

int CsLoadSystemLogDef(std::shared_ptr<CsStorageSet> folder, std::shared_ptr<const void> group,
                       const std::vector<CsSystemLogField>* fields) {
    if (fields == nullptr) {
        std::lock_guard lock(DefMutex());
        return Kept() ? CS_OK : CS_FAILED;
    }
    const CsSystemLogField* userId = nullptr;
    for (const auto& field : *fields)
        if (field.type == 'T') {
            userId = &field;
            break;
        }
    if (userId == nullptr) return CS_FAILED;
    try {
        auto def = std::make_shared<CsSystemLogDef>();
        def->folder = std::move(folder);
        def->group = std::move(group);
        def->caseLetter = userId->caseLetter;
        std::lock_guard lock(DefMutex());
        Kept() = std::move(def);
        return CS_OK;
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}

int CsLoadSystemLogDef(CsHandle* handle) {
    if (CsGetSystemLogDef()) return CS_OK;
    auto lookup = cshandle::detail::Hooks().getSystemLogFolder;
    auto road = cshandle::detail::Roads().getSystemLogFolder;
    // Without the folder layer there is no System Log to load.
    if (!lookup && !road) return CS_OK;
    std::shared_ptr<CsStorageSet> folder;
    std::shared_ptr<const void> group;
    std::vector<CsSystemLogField> fields;
    int rc = lookup ? lookup(handle, &folder, &group, &fields) : road(handle, &folder, &group, &fields);
    if (rc == CS_NOT_FOUND) return CS_OK;
    if (rc != CS_OK) return rc;
    return CsLoadSystemLogDef(std::move(folder), std::move(group), &fields);
}

int CsFreeSystemLogDef() {
    std::lock_guard lock(DefMutex());
    Kept().reset();
    return CS_OK;
}

std::shared_ptr<const CsSystemLogDef> CsGetSystemLogDef() {
    std::lock_guard lock(DefMutex());
    return Kept();
}

std::unique_ptr<CsStorageSet> CsCopySystemLogDef() {
    auto def = CsGetSystemLogDef();
    if (!def || !def->folder) return nullptr;
    try {
        const CsStorageSet& kept = *def->folder;
        auto copy = std::make_unique<CsStorageSet>();
        std::memcpy(copy->name, kept.name, sizeof copy->name);
        std::memcpy(copy->description, kept.description, sizeof copy->description);
        copy->type = kept.type;
        copy->nodes = kept.nodes;
        // Each distinct handle once: nodes that shared a handle share its duplicate.
        std::map<const CsHandle*, CsHandle*> duplicates;
        for (auto& node : copy->nodes) {
            if (node.handle == nullptr) continue;
            auto found = duplicates.find(node.handle);
            if (found == duplicates.end()) {
                auto duplicate = std::make_unique<CsHandle>(*node.handle);
                duplicate->def.flags1 &= ~CS_F1_SERVES_FOLDER;
                found = duplicates.emplace(node.handle, duplicate.get()).first;
                copy->handles.push_back(std::move(duplicate));
            }
            node.handle = found->second;
        }
        return copy;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
