// The stepwise backtracking matcher the LIKE steps were first designed for.
// Exponential on hostile patterns: tests and the fuzzer use it on short
// inputs only, to check that QelLike_MatchSteps gives the same answers.
#pragma once

#include <string_view>
#include <vector>

#include "qel_local.h"

namespace qel::local::testing {

int BacktrackMatch(const std::vector<QelLike_Step>& steps, std::string_view text);

}  // namespace qel::local::testing
