// What the layers above lend message issuing (CsSetIssueHooks, CsSetDispatcherRoads),
// read by this library.
#pragma once

#include "qel_cshandle.h"

namespace cshandle::detail {

// A copy of the hooks in force (a concurrent CsSetIssueHooks does not disturb it).
CsLayerHooks Hooks();
// The dispatcher's roads in force.
CsDispatcherRoads Roads();

}  // namespace cshandle::detail
