// QelLikeMatch beside sqlite3_strglob on the same rows, run alternately in
// one process; each figure is the median of the rounds. QelLikePattern is the
// same matcher with the pattern compiled once, as a query does for its rows.
//   local_like_peer [rounds]
// Seven patterns over a million random texts, then a pattern of any-runs on a
// text of 10,000 'a'. GLOB's "?" takes exactly one character where "_" takes
// up to one, so the match counts may differ: the figures are for speed only.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "qel_local.h"

namespace {

// The same pattern for GLOB: "*" for "%", "?" for "_".
std::string ToGlob(std::string pattern) {
    for (char& c : pattern) {
        if (c == '%') c = '*';
        if (c == '_') c = '?';
    }
    return pattern;
}

double MedianMs(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Milliseconds for one pass; count gets the matches of the pass.
double Time(const std::function<size_t()>& pass, size_t* count) {
    const auto start = std::chrono::steady_clock::now();
    *count = pass();
    const auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(stop - start).count();
}

struct Result {
    std::vector<double> ours, compiled, peer;
    size_t ourMatches = 0, compiledMatches = 0, peerMatches = 0;
};

void Report(const char* name, const Result& r) {
    const double ours = MedianMs(r.ours);
    const double peer = MedianMs(r.peer);
    std::printf("  %-22s %9.2f ms %6.2fx", name, ours, ours / peer);
    if (!r.compiled.empty()) {
        const double compiled = MedianMs(r.compiled);
        std::printf(" %9.2f ms %6.2fx", compiled, compiled / peer);
    } else {
        std::printf(" %19s", "");
    }
    std::printf(" %9.2f ms   (%zu / %zu matches)\n", peer, r.ourMatches, r.peerMatches);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::mt19937 rng(4321);
    std::vector<std::string> texts(1000000);
    for (std::string& text : texts) {
        text.resize(std::uniform_int_distribution<size_t>(0, 16)(rng));
        for (char& c : text) c = "abc"[std::uniform_int_distribution<int>(0, 2)(rng)];
    }
    const std::vector<std::string> patterns = {"ba%", "%ba", "%bac%", "a%b%c", "%a_b%", "abcabc", "_a%c_"};
    std::vector<Result> results(patterns.size() + 1);

    const std::string hostile = "%a%a%a%a%a%b";
    const std::string hostileGlob = ToGlob(hostile);
    const std::string as(10000, 'a');
    constexpr int kHostileRuns = 2000;

    for (int round = 0; round < rounds; ++round) {
        for (size_t p = 0; p < patterns.size(); ++p) {
            const std::string& pattern = patterns[p];
            const std::string glob = ToGlob(pattern);
            Result& r = results[p];
            r.ours.push_back(Time(
                [&] {
                    size_t n = 0;
                    for (const std::string& t : texts) n += QelLikeMatch(pattern.c_str(), t.c_str());
                    return n;
                },
                &r.ourMatches));
            r.peer.push_back(Time(
                [&] {
                    size_t n = 0;
                    for (const std::string& t : texts) n += sqlite3_strglob(glob.c_str(), t.c_str()) == 0;
                    return n;
                },
                &r.peerMatches));
            // Compiled once, as a query does for its rows.
            const QelLikePattern like(pattern);
            r.compiled.push_back(Time(
                [&] {
                    size_t n = 0;
                    for (const std::string& t : texts) n += like.Match(t);
                    return n;
                },
                &r.compiledMatches));
            if (r.compiledMatches != r.ourMatches) {
                std::fprintf(stderr, "%s: %zu matches compiled, %zu not\n", pattern.c_str(),
                             r.compiledMatches, r.ourMatches);
                return 1;
            }
        }
        Result& h = results.back();
        h.ours.push_back(Time(
            [&] {
                size_t n = 0;
                for (int i = 0; i < kHostileRuns; ++i) n += QelLikeMatch(hostile.c_str(), as.c_str());
                return n;
            },
            &h.ourMatches));
        h.peer.push_back(Time(
            [&] {
                size_t n = 0;
                for (int i = 0; i < kHostileRuns; ++i)
                    n += sqlite3_strglob(hostileGlob.c_str(), as.c_str()) == 0;
                return n;
            },
            &h.peerMatches));
    }

    std::printf("%zu texts, median of %d rounds\n", texts.size(), rounds);
    std::printf("  %-22s %12s %7s %12s %7s %12s\n", "pattern", "QelLikeMatch", "ratio", "QelLikePattern",
                "ratio", "strglob");
    for (size_t p = 0; p < patterns.size(); ++p) Report(patterns[p].c_str(), results[p]);
    Report("%a%a%a%a%a%b x2000", results.back());
    return 0;
}
