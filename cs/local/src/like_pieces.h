// Compiled LIKE pieces: shared by the compiler and the matcher.
#pragma once

#include <string_view>

#include "qel_local.h"

namespace qellike {

// Writes the pieces of pattern to out, which has room for pattern.size()
// pieces, and returns their count.
size_t CompilePieces(std::string_view pattern, QelLike_Piece* out);

// 1 when the whole text matches the pieces; literal runs are read from base.
int MatchPieces(const QelLike_Piece* pieces, size_t count, const char* base, std::string_view text);

}  // namespace qellike
