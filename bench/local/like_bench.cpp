// QelLikeMatch over a million (pattern, text) pairs.
//   local_like_bench                    pairs made here from a fixed seed
//   local_like_bench --pairs=- < FILE   pairs read from stdin, "<hex pattern> <hex text>" a line
// like_compare.py runs it beside Python's re and SQLite's LIKE on the same pairs.
#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "qel_local.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs& AllPairs() {
    static Pairs pairs;
    return pairs;
}

std::string RandomText(std::mt19937& rng, std::string_view alphabet, int longest) {
    std::string out(std::uniform_int_distribution<int>(0, longest)(rng), ' ');
    for (char& c : out) c = alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
    return out;
}

void MakePairs(Pairs& pairs) {
    std::mt19937 rng(1234);
    for (int i = 0; i < 1000000; ++i) {
        pairs.emplace_back(RandomText(rng, "abc%_*?", 8), RandomText(rng, "abc", 10));
    }
}

std::string FromHex(std::string_view hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return out;
}

void ReadPairs(Pairs& pairs) {
    std::string line;
    while (std::getline(std::cin, line)) {
        const size_t blank = line.find(' ');
        if (blank == std::string::npos) continue;
        pairs.emplace_back(FromHex(std::string_view(line).substr(0, blank)),
                           FromHex(std::string_view(line).substr(blank + 1)));
    }
}

void BM_LikeMatch(benchmark::State& state) {
    const Pairs& pairs = AllPairs();
    for (auto _ : state) {
        size_t matches = 0;
        for (const auto& [pattern, text] : pairs) matches += QelLikeMatch(pattern, text);
        benchmark::DoNotOptimize(matches);
        state.counters["matches"] = static_cast<double>(matches);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(pairs.size()));
}
BENCHMARK(BM_LikeMatch)->Unit(benchmark::kMillisecond);

// The segment index compiles a pattern once and tests it on many rows.
void BM_LikeMatchCompiled(benchmark::State& state) {
    const Pairs& pairs = AllPairs();
    std::vector<std::vector<QelLike_Step>> compiled(pairs.size());
    for (size_t i = 0; i < pairs.size(); ++i) QelLike_Compile(&compiled[i], pairs[i].first);
    for (auto _ : state) {
        size_t matches = 0;
        for (size_t i = 0; i < pairs.size(); ++i) matches += QelLike_MatchSteps(compiled[i], pairs[i].second);
        benchmark::DoNotOptimize(matches);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(pairs.size()));
}
BENCHMARK(BM_LikeMatchCompiled)->Unit(benchmark::kMillisecond);

// 40 alternating "%" and "_" and a harder pattern against 10,000 characters.
void BM_LikeHostile(benchmark::State& state) {
    std::string pattern;
    for (int i = 0; i < 20; ++i) pattern += state.range(0) == 0 ? "%_" : "%a";
    if (state.range(0) != 0) pattern += "%b";
    const std::string text(10000, 'a');
    for (auto _ : state) benchmark::DoNotOptimize(QelLikeMatch(pattern, text));
}
BENCHMARK(BM_LikeHostile)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> rest;
    bool fromStdin = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pairs=-") == 0) {
            fromStdin = true;
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (fromStdin) {
        ReadPairs(AllPairs());
    } else {
        MakePairs(AllPairs());
    }
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
