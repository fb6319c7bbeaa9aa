// keyed_file_map.h - keyed files on std::map, for tests: files live in a
// process-wide store by name, so that closing and reopening works.
#pragma once

#include <memory>

#include "keyed_file.h"

namespace qel::local::detail {

std::unique_ptr<KeyedFile> NewMapKeyedFile();
// Empties the store.
void ClearMapKeyedFiles();

}  // namespace qel::local::detail
