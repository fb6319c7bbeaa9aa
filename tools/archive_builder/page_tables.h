// page_tables.h - the page tables at the start of a paged document's first object.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "description.h"

namespace arcbuild {

inline constexpr uint32_t kPageTablesCodePage = 819;

// The tables as the client reads them (big-endian words, length-prefixed texts): code
// page 819, the page counts, one object entry per further segment (offset 0, the stored
// length, the two name letters that replace the first object's fourth and fifth
// characters), the page names when any are given, the end word. storedLengths holds the
// further objects' stored sizes in order.
std::string PageTables(const PagedDef& parts, const std::string& object,
                       const std::vector<uint32_t>& storedLengths);

}  // namespace arcbuild
