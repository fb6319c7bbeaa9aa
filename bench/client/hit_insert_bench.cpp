// Hit_InsertSorted filling a folder's hit list one row at a time, against
// std::stable_sort of the same hits by the same comparison, in the same run.
//
// Rows: a 32-bit key of 50 values (ascending) and a one-letter name (descending), in a
// random order, so that many rows sort equal. "presorted" hands the rows over in their
// final order (the insert then lands at the tail); "two groups" adds rows of a group
// without the key, so the keys no longer order every pair alike and each insert walks
// the list from its first hit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "folder_fixture.h"
#include "library_state.h"

namespace {

clienttest::FolderSpec BenchFolder() {
    clienttest::FolderSpec spec;
    spec.fields = {{.name = "KEY", .type = 'I', .sortOrder = 1},
                   {.name = "NAME", .type = 'S', .sortOrder = 2, .ascending = 'D'}};
    spec.groups = {
        {.number = 1,
         .name = "MAIN",
         .fields = {{.name = "key", .type = 'I'}, {.name = "name", .type = 'S'}},
         .map = {0, 1}},
        {.number = 2, .name = "OTHER", .fields = {{.name = "name", .type = 'S'}}, .map = {0xFFFF, 0}}};
    return spec;
}

enum class Order { Random, Presorted, TwoGroups };

struct Bench {
    ClientSession session;
    OpenFolder* folder = nullptr;
    std::vector<SearchHitPtr> pool;  // the hits in arrival order while not in the list

    Bench(int count, Order order) {
        qelclient::Library().options.sortByField = 1;
        folder = clienttest::OpenTestFolder(&session, BenchFolder());
        std::mt19937 random(42);
        for (int i = 0; i < count; ++i) {
            const int g = order == Order::TwoGroups && i % 7 == 0 ? 1 : 0;
            const CsXdrApplGroup& group = folder->definition->groups[g];
            const std::string key = std::to_string(random() % 50);
            const std::string name(1, static_cast<char>('a' + random() % 4));
            auto hit = std::make_unique<SearchHit>();
            hit->row = g == 0 ? clienttest::MakeRow(group, {key, name}, "1AAAA", static_cast<uint32_t>(i))
                              : clienttest::MakeRow(group, {name}, "1AAAA", static_cast<uint32_t>(i));
            hit->groupIndex = g;
            hit->group = &group;
            pool.push_back(std::move(hit));
        }
        if (order == Order::Presorted)
            std::stable_sort(pool.begin(), pool.end(), [this](const SearchHitPtr& a, const SearchHitPtr& b) {
                return Hit_Compare(&session, folder, a.get(), b.get(), folder->sortList) < 0;
            });
    }
    // Hands the hits back from the list to the pool, in arrival order (the row offset).
    void Refill() {
        auto& hits = folder->entry->hits.hits;
        pool = std::move(hits);
        hits.clear();
        for (SearchHitPtr& hit : pool) hit->prev = hit->next = nullptr;
        std::sort(pool.begin(), pool.end(), [](const SearchHitPtr& a, const SearchHitPtr& b) {
            return a->row->object->offset < b->row->object->offset;
        });
    }
};

void BM_InsertSorted(benchmark::State& state, Order order) {
    Bench bench(static_cast<int>(state.range(0)), order);
    if (order == Order::Presorted) {
        // Keep the sorted arrival order: Refill would put the rows back by offset.
        for (size_t i = 0; i < bench.pool.size(); ++i)
            bench.pool[i]->row->object->offset = static_cast<uint32_t>(i);
    }
    for (auto _ : state) {
        for (SearchHitPtr& hit : bench.pool)
            Hit_InsertSorted(&bench.session, bench.folder, std::move(hit), true, bench.folder->sortList, -1);
        benchmark::DoNotOptimize(bench.folder->entry->hits.hits.data());
        state.PauseTiming();
        bench.Refill();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_StableSort(benchmark::State& state) {
    Bench bench(static_cast<int>(state.range(0)), Order::Random);
    std::vector<const SearchHit*> hits;
    for (auto _ : state) {
        hits.clear();
        for (const SearchHitPtr& hit : bench.pool) hits.push_back(hit.get());
        std::stable_sort(hits.begin(), hits.end(), [&](const SearchHit* a, const SearchHit* b) {
            return Hit_Compare(&bench.session, bench.folder, a, b, bench.folder->sortList) < 0;
        });
        benchmark::DoNotOptimize(hits.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK_CAPTURE(BM_InsertSorted, random, Order::Random)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StableSort)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_InsertSorted, presorted, Order::Presorted)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_InsertSorted, two_groups_walk, Order::TwoGroups)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
