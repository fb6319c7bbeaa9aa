// object_path.h - where an object lives below a store root, and which names may live there.
#pragma once

#include <string>
#include <string_view>

#include "qel_sm.h"

namespace qelsm::detail {

// A name that stays inside its folder: not empty, no '/', no "..", no control character.
bool IsSafeName(std::string_view name);

// Resource objects end in a digit; every other name (also an empty one) is a document.
bool IsResourceName(std::string_view name);

// "/data/<sid>/<DOC|RES>/<name>", or without the leading '/' in node form.
// QELCFS_OK, or QELCFS_FAILED when the storage identifier or the name is missing,
// empty or unsafe.
QelCacheResult RelativeObjectPath(const char* sid, const char* name, bool nodeForm, std::string* path);

// Joins a directory and a relative path with exactly one '/' between them.
std::string JoinPath(std::string_view directory, std::string_view relative);

}  // namespace qelsm::detail
