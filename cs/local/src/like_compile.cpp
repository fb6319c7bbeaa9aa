// Turns a LIKE pattern into steps, or into pieces.
#include "like_pieces.h"

namespace {

bool IsAnyRun(char c) { return c == '%' || c == '*'; }
bool IsSingle(char c) { return c == '_' || c == '?'; }

// The end of the wildcard run at i, and whether it is an any-run: singles before
// an any-run add nothing to it, and the run absorbs every wildcard that follows
// it directly.
size_t WildcardRun(std::string_view pattern, size_t i, bool* anyRun) {
    size_t run = i;
    while (run < pattern.size() && IsSingle(pattern[run])) ++run;
    *anyRun = run < pattern.size() && IsAnyRun(pattern[run]);
    if (*anyRun) {
        while (run < pattern.size() && (IsAnyRun(pattern[run]) || IsSingle(pattern[run]))) ++run;
    }
    return run;
}

}  // namespace

void QelLike_Compile(std::vector<QelLike_Step>* steps, std::string_view pattern) {
    if (steps == nullptr) return;
    steps->clear();
    size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (IsAnyRun(c) || IsSingle(c)) {
            bool anyRun = false;
            const size_t run = WildcardRun(pattern, i, &anyRun);
            if (anyRun) {
                steps->push_back({QELLIKE_ANY, 0, 0});
            } else {
                steps->push_back({QELLIKE_SINGLE, 0, run - i});
            }
            i = run;
        } else {
            steps->push_back({QELLIKE_LITERAL, c, 0});
            ++i;
        }
    }
    steps->push_back({QELLIKE_END, 0, 0});
}

namespace qellike {

size_t CompilePieces(std::string_view pattern, QelLike_Piece* out) {
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

}  // namespace qellike

QelLikePattern::QelLikePattern(std::string_view pattern) : pattern_(pattern), pieces_(pattern.size()) {
    pieces_.resize(qellike::CompilePieces(pattern_, pieces_.data()));
}
