// Compiled LIKE pieces: shared by the compiler and the matcher.
#pragma once

#include <string_view>

#include "qel_local.h"

namespace qellike {

inline bool IsAnyRun(char c) { return c == '%' || c == '*'; }
inline bool IsSingle(char c) { return c == '_' || c == '?'; }

// The end of the wildcard run at i, and whether it is an any-run: singles before
// an any-run add nothing to it, and the run absorbs every wildcard that follows
// it directly.
inline size_t WildcardRun(std::string_view pattern, size_t i, bool* anyRun) {
    size_t run = i;
    while (run < pattern.size() && IsSingle(pattern[run])) ++run;
    *anyRun = run < pattern.size() && IsAnyRun(pattern[run]);
    if (*anyRun) {
        while (run < pattern.size() && (IsAnyRun(pattern[run]) || IsSingle(pattern[run]))) ++run;
    }
    return run;
}

// Writes the pieces of pattern to out, which has room for pattern.size()
// pieces, and returns their count. Inline: QelLikeMatch compiles on every call.
inline size_t CompilePieces(std::string_view pattern, QelLike_Piece* out) {
    size_t count = 0;
    size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (IsAnyRun(c) || IsSingle(c)) {
            bool anyRun = false;
            const size_t run = WildcardRun(pattern, i, &anyRun);
            out[count++] =
                anyRun ? QelLike_Piece{QELLIKE_ANY, 0, 0} : QelLike_Piece{QELLIKE_SINGLE, run - i, 0};
            i = run;
        } else {
            const size_t start = i;
            while (i < pattern.size() && !IsAnyRun(pattern[i]) && !IsSingle(pattern[i])) ++i;
            out[count++] = {QELLIKE_LITERAL, i - start, start};
        }
    }
    return count;
}

// 1 when the whole text matches the pieces; literal runs are read from base.
int MatchPieces(const QelLike_Piece* pieces, size_t count, const char* base, std::string_view text);

}  // namespace qellike
