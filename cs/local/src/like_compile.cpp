// Turns a LIKE pattern into steps.
#include "qel_local.h"

namespace {

bool IsAnyRun(char c) { return c == '%' || c == '*'; }
bool IsSingle(char c) { return c == '_' || c == '?'; }

}  // namespace

void QelLike_Compile(std::vector<QelLike_Step>* steps, std::string_view pattern) {
    if (steps == nullptr) return;
    steps->clear();
    size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (IsAnyRun(c) || IsSingle(c)) {
            size_t run = i;
            while (run < pattern.size() && IsSingle(pattern[run])) ++run;
            if (run < pattern.size() && IsAnyRun(pattern[run])) {
                // Singles before an any-run add nothing to it; the run absorbs every
                // wildcard that follows it directly.
                while (run < pattern.size() && (IsAnyRun(pattern[run]) || IsSingle(pattern[run]))) ++run;
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
