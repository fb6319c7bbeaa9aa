// The print command's arithmetic.
#include "print_plan.h"

#include <algorithm>

#include "knvw_engine.h"

namespace afpview {

PrintPlan PlanPrint(const PrintChoice& choice) {
    PrintPlan plan;
    const bool segmented = choice.segmentCount > 0 && choice.pagesPerSegment > 0;
    if (choice.range == kRangeCurrent) {
        plan.what = KNVW_PRINT_CURRENT;
        return plan;
    }
    if (choice.range != kRangePages) {
        plan.what = KNVW_PRINT_ALL;
        return plan;
    }
    plan.what = KNVW_PRINT_RANGE;
    plan.from = choice.first;
    plan.to = choice.last;
    if (!segmented) return plan;

    const int64_t p = choice.pagesPerSegment;
    const int64_t loadedStart = static_cast<int64_t>(std::max(choice.currentSegment, 0)) * p;
    if (choice.currentSegment >= 0 && choice.first > loadedStart && choice.last <= loadedStart + p) {
        plan.from = static_cast<int32_t>(choice.first - loadedStart);
        plan.to = static_cast<int32_t>(choice.last - loadedStart);
        return plan;
    }
    const int64_t last = static_cast<int64_t>(choice.segmentCount) - 1;
    const int64_t firstSegment = std::clamp<int64_t>((choice.first - 1) / p, 0, last);
    const int64_t lastSegment = std::clamp<int64_t>((choice.last - 1) / p, firstSegment, last);
    plan.collect = true;
    plan.firstSegment = static_cast<int32_t>(firstSegment);
    plan.lastSegment = static_cast<int32_t>(lastSegment);
    plan.from = static_cast<int32_t>(choice.first - firstSegment * p);
    plan.to = static_cast<int32_t>(choice.last - firstSegment * p);
    return plan;
}

}  // namespace afpview
