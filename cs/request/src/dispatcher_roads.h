// Lending the handle library the dispatcher's roads for message issuing.
#pragma once

namespace csreq::detail {

// Hands the dispatcher's request 91 and host-text roads to the handle library, once per
// process. Every entry point that can make a handle remote, connect it or set the layer
// hooks calls it first.
void LendDispatcher();

}  // namespace csreq::detail
