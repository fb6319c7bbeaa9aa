// Lending the handle library the dispatcher's roads for message issuing.
#pragma once

namespace csreq::detail {

// Hands the dispatcher's request 91 and host-text roads to the handle library, and the
// object reader and the storage exit to the storage manager, once per process. Every
// entry point that can make a handle remote, connect it or set the layer hooks calls it
// first.
void LendDispatcher();

// The storage manager's roads (storage_roads.cpp).
void LendStorageRoads();

}  // namespace csreq::detail
