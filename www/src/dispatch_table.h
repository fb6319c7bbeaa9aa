// Internal: the dispatcher's keyword table.
#pragma once

#include <cstddef>
#include <string>

#include "qel_www.h"

namespace qelwww::detail {

// Whether an action changes stored state (passwords, documents, notes, print jobs). Such
// an action runs only for a request QelWWW_MayChangeState lets through.
enum class StoredState {
    kRead,                 // reads only
    kChanged,              // always changes it
    kChangedByNewPassword  // changes it when the request carries _new_password
};

struct DispatchEntry {
    const char* keyword;  // compared exactly
    const char* alias;    // one-letter form, or null
    bool needsFolder;     // the dispatcher refuses an empty folder (491 "_folder")
    StoredState state;
    QelWWWAction action;  // null until the action is part of the build
};

extern const DispatchEntry kDispatchTable[];
extern const size_t kDispatchTableSize;
const DispatchEntry* FindAction(const std::string& keyword);

}  // namespace qelwww::detail
