#include "like_reach.h"

#include <algorithm>

namespace qel::local::testing {

namespace {

// Positions 0..n of the text, one byte each (1: reachable).
using Reach = std::vector<unsigned char>;

void StepLiteral(const Reach& from, Reach& to, std::string_view text, char literal) {
    to[0] = 0;
    for (size_t i = 0; i < text.size(); ++i) to[i + 1] = from[i] & (text[i] == literal);
}

// A run of at most count characters: position j is reached from any of j-count..j.
void StepSingles(const Reach& from, Reach& to, size_t count) {
    size_t window = 0;  // reachable positions among the last count+1
    for (size_t j = 0; j < from.size(); ++j) {
        window += from[j];
        if (j > count) window -= from[j - count - 1];
        to[j] = window != 0;
    }
}

// Any run: every position from the first reachable one on.
void StepAnyRun(const Reach& from, Reach& to) {
    unsigned char seen = 0;
    for (size_t j = 0; j < from.size(); ++j) {
        seen |= from[j];
        to[j] = seen;
    }
}

bool AnyReachable(const Reach& reach) { return std::find(reach.begin(), reach.end(), 1) != reach.end(); }

}  // namespace

int ReachMatch(const std::vector<QelLike_Step>& steps, std::string_view text) {
    Reach reach(text.size() + 1, 0);
    Reach next(text.size() + 1, 0);
    reach[0] = 1;
    for (size_t s = 0; s < steps.size(); ++s) {
        const QelLike_Step& step = steps[s];
        switch (step.kind) {
            case QELLIKE_END: return reach[text.size()];
            case QELLIKE_LITERAL: StepLiteral(reach, next, text, step.literal); break;
            case QELLIKE_SINGLE: StepSingles(reach, next, step.count); break;
            case QELLIKE_ANY:
                // A trailing run takes whatever is left.
                if (s + 1 == steps.size() || steps[s + 1].kind == QELLIKE_END) return AnyReachable(reach);
                StepAnyRun(reach, next);
                break;
            default: return 0;
        }
        reach.swap(next);
        if (!AnyReachable(reach)) return 0;
    }
    return reach[text.size()];  // a table without its end step
}

}  // namespace qel::local::testing
