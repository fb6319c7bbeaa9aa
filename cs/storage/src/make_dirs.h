// make_dirs.h - creating the missing folders of a path.
#pragma once

#include <string_view>

namespace qelsm::detail {

// Creates each folder named by a prefix of path that ends before a '/': empty
// prefixes, prefixes ending in '/' and "." steps are skipped. A failure whose
// errno is in `tolerated` moves on to the next prefix, any other one stops the
// walk. Returns the number of folders created.
int CreateFolders(std::string_view path, bool (*tolerated)(int error));

}  // namespace qelsm::detail
