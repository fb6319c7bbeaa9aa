// Internal: the dispatcher's keyword table.
#pragma once

#include <cstddef>
#include <string>

#include "qel_www.h"

namespace qelwww::detail {

struct DispatchEntry {
    const char* keyword;  // compared exactly
    const char* alias;    // one-letter form, or null
    bool needsFolder;     // the dispatcher refuses an empty folder (491 "_folder")
    QelWWWAction action;  // null until the action is part of the build
};

extern const DispatchEntry kDispatchTable[];
extern const size_t kDispatchTableSize;
const DispatchEntry* FindAction(const std::string& keyword);

}  // namespace qelwww::detail
