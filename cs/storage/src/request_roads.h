// request_roads.h - the roads the request layer lends the storage manager.
#pragma once

#include "qel_sm.h"

namespace qelsm::detail {

// A copy of the roads lent last (empty ones until the request layer lends them).
SmRequestRoads Roads();

}  // namespace qelsm::detail
