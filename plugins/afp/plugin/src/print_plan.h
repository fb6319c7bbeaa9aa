// print_plan.h - what the print command does for a page-range choice: print the loaded
// document at once, or collect segments first and print the collection.
#pragma once

#include <cstdint>

namespace afpview {

enum : int32_t { kRangeAll = 30000, kRangeCurrent = 30001, kRangePages = 30002 };

struct PrintChoice {
    int32_t range = kRangeAll;
    int32_t first = 0;  // 1-based page numbers of the whole document (kRangePages)
    int32_t last = 0;
    uint32_t segmentCount = 0;  // 0: not segmented
    uint32_t pagesPerSegment = 0;
    int32_t currentSegment = 0;  // the segment that is loaded
};

struct PrintPlan {
    bool collect = false;  // fetch segments firstSegment..lastSegment into the print file first
    int32_t what = 0;      // the engine's KNVW_PRINT_* for the printing itself
    int32_t from = 0;      // pages of the document printed (the collection's for collect)
    int32_t to = 0;
    int32_t firstSegment = 0;
    int32_t lastSegment = 0;
};

// The current page of a segmented document is the loaded page, printed at once. A range
// inside the loaded segment prints from it; any other range collects exactly the
// segments that hold it and prints its pages out of the collection.
PrintPlan PlanPrint(const PrintChoice& choice);

}  // namespace afpview
