// The operations that later layers plug in (CsSetLayerHooks), read by this layer.
#pragma once

#include "qel_cs.h"

namespace csreq::detail {

// A copy of the hooks in force (a concurrent CsSetLayerHooks does not disturb it).
CsLayerHooks Hooks();

}  // namespace csreq::detail
