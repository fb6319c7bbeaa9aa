#include "like_backtrack.h"

namespace qel::local::testing {

int BacktrackMatch(const std::vector<QelLike_Step>& steps, std::string_view text) {
    const long count = static_cast<long>(steps.size());
    const size_t m = text.size();
    std::vector<size_t> taken(steps.size(), 0);   // characters a singles step holds
    std::vector<size_t> anchor(steps.size(), 0);  // where an any-run's literal matched
    size_t pos = 0;
    long k = 0;
    bool forward = true;
    while (true) {
        if (forward) {
            if (k >= count) return pos == m;
            const QelLike_Step& step = steps[k];
            switch (step.kind) {
                case QELLIKE_LITERAL:
                    if (pos < m && text[pos] == step.literal) {
                        ++pos;
                        ++k;
                    } else {
                        forward = false;
                        --k;
                    }
                    break;
                case QELLIKE_SINGLE:
                    taken[k] = 0;
                    ++k;
                    break;
                case QELLIKE_ANY: {
                    if (k + 1 == count || steps[k + 1].kind == QELLIKE_END) return 1;
                    const size_t found = text.find(steps[k + 1].literal, pos);
                    if (found == std::string_view::npos) return 0;  // no backtracking here
                    anchor[k] = found;
                    pos = found;
                    ++k;
                    break;
                }
                default:  // end step
                    if (pos == m) return 1;
                    forward = false;
                    --k;
                    break;
            }
        } else {
            if (k < 0) return 0;  // the stop marker
            const QelLike_Step& step = steps[k];
            switch (step.kind) {
                case QELLIKE_LITERAL:
                    --pos;
                    --k;
                    break;
                case QELLIKE_SINGLE:
                    if (taken[k] < step.count && pos < m) {
                        ++taken[k];
                        ++pos;
                        ++k;
                        forward = true;
                    } else {
                        pos -= taken[k];
                        taken[k] = 0;
                        --k;
                    }
                    break;
                case QELLIKE_ANY: {
                    const size_t found = text.find(steps[k + 1].literal, anchor[k] + 1);
                    if (found == std::string_view::npos) return 0;
                    anchor[k] = found;
                    pos = found;
                    ++k;
                    forward = true;
                    break;
                }
                default: return 0;
            }
        }
    }
}

}  // namespace qel::local::testing
