// Turns a LIKE pattern into steps, or into pieces.
#include "like_pieces.h"

using qellike::IsAnyRun;
using qellike::IsSingle;
using qellike::WildcardRun;

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

QelLikePattern::QelLikePattern(std::string_view pattern) : pattern_(pattern), pieces_(pattern.size()) {
    pieces_.resize(qellike::CompilePieces(pattern_, pieces_.data()));
}
