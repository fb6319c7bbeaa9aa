// handle_side.h - what the storage layer keeps for a handle in the handle's side slot.
#pragma once

#include <memory>

#include "qel_sm.h"

namespace qelsm::detail {

// Stores the record (null removes it); the previous one is returned.
std::unique_ptr<SmStorage> ExchangeStorage(CsHandle* handle, std::unique_ptr<SmStorage> storage);

}  // namespace qelsm::detail
