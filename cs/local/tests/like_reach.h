// The first position-set matcher: a byte per text position and a full pass per
// step. Slow but plain; the equivalence tests hold the faster matcher to it.
#pragma once

#include <string_view>
#include <vector>

#include "qel_local.h"

namespace qel::local::testing {

int ReachMatch(const std::vector<QelLike_Step>& steps, std::string_view text);

}  // namespace qel::local::testing
