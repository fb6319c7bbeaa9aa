// handle_side.h - what the storage layer keeps for a handle beside the CsHandle record.
//
// The handle record has no slots for the storage record, the connection's volume
// label or the volume-request callback, so they live here, keyed by the handle.
#pragma once

#include <memory>
#include <string>

#include "qel_sm.h"

namespace qelsm::detail {

QelVolumeRequestFn VolumeCallback(CsHandle* handle);
// Stores the record (null removes it); the previous one is returned.
std::unique_ptr<SmStorage> ExchangeStorage(CsHandle* handle, std::unique_ptr<SmStorage> storage);

}  // namespace qelsm::detail
