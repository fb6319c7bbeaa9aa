// handle_side.cpp - the storage layer's state of a handle, kept on the handle record.
#include "handle_side.h"

namespace qelsm::detail {

namespace {

// The storage record in the handle's side slot, which the storage layer alone fills.
struct StorageSide final : CsHandleSide {
    std::unique_ptr<SmStorage> storage;
};

StorageSide* SideOf(CsHandle* handle) { return dynamic_cast<StorageSide*>(handle->side.get()); }

}  // namespace

std::unique_ptr<SmStorage> ExchangeStorage(CsHandle* handle, std::unique_ptr<SmStorage> storage) {
    std::unique_ptr<SmStorage> previous;
    if (StorageSide* side = SideOf(handle)) previous = std::move(side->storage);
    if (storage == nullptr) {
        handle->side.exchange(nullptr);
    } else {
        auto side = std::make_unique<StorageSide>();
        side->storage = std::move(storage);
        handle->side.exchange(std::move(side));
    }
    return previous;
}

}  // namespace qelsm::detail

void QelCacheFs_SetVolumeCallback(CsHandle* handle, QelVolumeRequestFn callback) {
    if (handle != nullptr) handle->volume.request = callback;
}

void QelCacheFs_SetConnectionVolume(CsHandle* handle, const char* label) {
    if (handle != nullptr) handle->volume.label = label != nullptr ? label : "";
}

std::string QelCacheFs_ConnectionVolume(CsHandle* handle) {
    if (handle == nullptr) return {};
    return handle->volume.label;
}

SmStorage* SmGetStorage(CsHandle* handle) {
    if (handle == nullptr) return nullptr;
    qelsm::detail::StorageSide* side = qelsm::detail::SideOf(handle);
    return side != nullptr ? side->storage.get() : nullptr;
}
