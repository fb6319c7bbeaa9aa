#include "hit_bitmap.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using qel::local::detail::HitBitmap;
using qel::local::detail::QELBM_AND;
using qel::local::detail::QELBM_MAX_ROWS;
using qel::local::detail::QELBM_OR;
using qel::local::detail::QELBM_XOR;

constexpr int64_t kPageBits = 32768 * 8;

TEST(HitBitmap, Sizes) {
    struct Case {
        int64_t rows;
        int result;
        size_t bytes;
        size_t pages;
    };
    const Case cases[] = {
        {0, 0, 4, 1},
        {1, 0, 4, 1},
        {32, 0, 4, 1},
        {33, 0, 8, 1},
        {300000, 0, 37500, 2},
        {kPageBits - 32, 0, 32764, 1},  // 32764 + 3 still fits one page
        {kPageBits, 0, 32768, 2},
        {QELBM_MAX_ROWS, 0, 16777216, 513},
        {QELBM_MAX_ROWS + 1, 9, 0, 0},
        {-1, 9, 0, 0},
    };
    for (const Case& c : cases) {
        size_t bytes = 0;
        size_t pages = 0;
        EXPECT_EQ(HitBitmap::Size(c.rows, &bytes, &pages), c.result) << c.rows;
        EXPECT_EQ(bytes, c.bytes) << c.rows;
        EXPECT_EQ(pages, c.pages) << c.rows;
        HitBitmap bitmap;
        EXPECT_EQ(bitmap.Allocate(c.rows), c.result) << c.rows;
        EXPECT_EQ(bitmap.Rows(), c.result == 0 ? c.rows : 0) << c.rows;
    }
}

// Bits next to word and page edges, and the last rows of a bitmap whose size is
// not a whole number of words.
TEST(HitBitmap, FillSetClearTestAtEdges) {
    const int64_t rows = 2 * kPageBits + 37;
    HitBitmap bitmap;
    ASSERT_EQ(bitmap.Allocate(rows), 0);
    const int64_t edges[] = {0,
                             1,
                             7,
                             8,
                             63,
                             64,
                             65,
                             kPageBits - 1,
                             kPageBits,
                             kPageBits + 1,
                             2 * kPageBits - 1,
                             2 * kPageBits,
                             rows - 1};
    const std::set<int64_t> set(std::begin(edges), std::end(edges));
    for (int64_t bit : edges) {
        EXPECT_EQ(bitmap.Test(bit), 0) << bit;
        bitmap.Set(bit);
    }
    // Each bit and its neighbours: only the bits that were set read 1.
    for (int64_t bit : edges) {
        for (int64_t near = bit - 2; near <= bit + 2; ++near) {
            if (near < 0 || near >= rows) continue;
            EXPECT_EQ(bitmap.Test(near), int(set.count(near))) << near;
        }
    }
    int64_t walked = 0;
    for (int64_t bit = bitmap.NextSet(0); bit >= 0; bit = bitmap.NextSet(bit + 1)) {
        EXPECT_EQ(set.count(bit), 1u) << bit;
        ++walked;
    }
    EXPECT_EQ(walked, int64_t(set.size()));
    EXPECT_EQ(bitmap.Count(), int64_t(std::size(edges)));
    for (int64_t bit : edges) {
        bitmap.Clear(bit);
        EXPECT_EQ(bitmap.Test(bit), 0) << bit;
    }
    EXPECT_EQ(bitmap.Count(), 0);
    EXPECT_EQ(bitmap.NextSet(0), -1);

    // Outside the rows nothing is set, and reading answers 0 (255 for bit -1).
    for (int64_t bit : {rows, rows + 1, rows + 64, int64_t(-2), int64_t(-64)}) {
        bitmap.Set(bit);
        EXPECT_EQ(bitmap.Test(bit), 0) << bit;
    }
    EXPECT_EQ(bitmap.Test(-1), 255);
    EXPECT_EQ(bitmap.Count(), 0);

    bitmap.Fill(true);
    EXPECT_EQ(bitmap.Count(), rows);
    EXPECT_EQ(bitmap.Test(rows - 1), 1);
    EXPECT_EQ(bitmap.Test(rows), 0);
    EXPECT_EQ(bitmap.NextSet(rows - 1), rows - 1);
    EXPECT_EQ(bitmap.NextSet(rows), -1);
    bitmap.Invert();  // the bits past the rows stay clear
    EXPECT_EQ(bitmap.Count(), 0);
    EXPECT_EQ(bitmap.NextSet(-5), -1);
    bitmap.Fill(true);
    bitmap.Fill(false);
    EXPECT_EQ(bitmap.Count(), 0);
}

// A random bitmap and its plain copy; density decides how many bits are set,
// and empty pages appear with low densities.
struct Pair {
    HitBitmap bitmap;
    std::vector<bool> plain;
};

void MakeRandom(Pair* pair, int64_t rows, double density, std::mt19937_64& rng) {
    ASSERT_EQ(pair->bitmap.Allocate(rows), 0);
    pair->plain.assign(size_t(rows), false);
    std::bernoulli_distribution on(density);
    for (int64_t bit = 0; bit < rows; ++bit) {
        if (on(rng)) {
            pair->bitmap.Set(bit);
            pair->plain[size_t(bit)] = true;
        }
    }
}

void ExpectSame(const Pair& pair, const std::string& what) {
    const int64_t rows = int64_t(pair.plain.size());
    int64_t count = 0;
    for (int64_t bit = 0; bit < rows; ++bit) {
        if (pair.bitmap.Test(bit) != int(pair.plain[size_t(bit)])) {
            ADD_FAILURE() << what << ": bit " << bit;
            return;
        }
        count += pair.plain[size_t(bit)];
    }
    EXPECT_EQ(pair.bitmap.Count(), count) << what;
    EXPECT_EQ(pair.bitmap.Test(rows), 0) << what;
}

TEST(HitBitmap, NextSetAgainstPlainBits) {
    std::mt19937_64 rng(4242);
    struct Case {
        int64_t rows;
        double density;
    };
    const Case cases[] = {{1, 1.0},
                          {63, 0.5},
                          {64, 0.02},
                          {65, 1.0},
                          {1000, 0.01},
                          {3 * kPageBits + 5, 0.00002},
                          {2 * kPageBits + 64, 0.3}};
    for (const Case& c : cases) {
        Pair pair;
        MakeRandom(&pair, c.rows, c.density, rng);
        // The first set bit at or after each offset, by a backwards walk.
        std::vector<int64_t> next(size_t(c.rows) + 1, -1);
        for (int64_t from = c.rows - 1; from >= 0; --from) {
            next[size_t(from)] = pair.plain[size_t(from)] ? from : next[size_t(from) + 1];
        }
        // Every offset of small bitmaps; of large ones those near set bits,
        // words and pages, and a stride through the runs of empty pages.
        std::set<int64_t> offsets;
        for (int64_t from = 0; from <= c.rows; ++from) {
            const bool near =
                (from % 64) < 2 || (from % 64) > 61 || from % 509 == 0 ||
                (from + 64 <= c.rows && next[size_t(from)] >= 0 && next[size_t(from)] - from < 70);
            if (c.rows <= 70000 || near) offsets.insert(from);
        }
        for (int64_t from : offsets) {
            ASSERT_EQ(pair.bitmap.NextSet(from), next[size_t(from)]) << c.rows << " from " << from;
        }
        EXPECT_EQ(pair.bitmap.NextSet(-3), next[0]) << c.rows;
        ExpectSame(pair, "random " + std::to_string(c.rows));
    }
}

TEST(HitBitmap, CombineAndInvertAgainstPlainBits) {
    std::mt19937_64 rng(99);
    const int64_t rows = 2 * kPageBits + 77;
    struct Case {
        int op;
        double densityA;
        double densityB;
    };
    const Case cases[] = {{QELBM_AND, 0.5, 0.5}, {QELBM_OR, 0.001, 0.3}, {QELBM_XOR, 0.5, 0.5},
                          {QELBM_AND, 0.0, 1.0}, {QELBM_OR, 0.0, 0.0},   {QELBM_XOR, 1.0, 1.0}};
    for (const Case& c : cases) {
        Pair a;
        Pair b;
        MakeRandom(&a, rows, c.densityA, rng);
        MakeRandom(&b, rows, c.densityB, rng);
        ASSERT_EQ(a.bitmap.Combine(b.bitmap, c.op), 0);
        for (size_t i = 0; i < a.plain.size(); ++i) {
            const bool x = a.plain[i];
            const bool y = b.plain[i];
            a.plain[i] = c.op == QELBM_AND ? (x && y) : c.op == QELBM_OR ? (x || y) : (x != y);
        }
        const std::string what = "op " + std::to_string(c.op);
        ExpectSame(a, what);
        a.bitmap.Invert();
        a.plain.flip();
        ExpectSame(a, what + " inverted");
        // The search over skipped pages agrees after the page marks were redone.
        int64_t expected = -1;
        for (size_t i = 0; i < a.plain.size() && expected < 0; ++i) {
            if (a.plain[i]) expected = int64_t(i);
        }
        EXPECT_EQ(a.bitmap.NextSet(0), expected) << what;
    }

    // A bitmap combined with itself, and the errors.
    Pair a;
    MakeRandom(&a, 5000, 0.5, rng);
    ASSERT_EQ(a.bitmap.Combine(a.bitmap, QELBM_XOR), 0);
    EXPECT_EQ(a.bitmap.Count(), 0);
    HitBitmap other;
    ASSERT_EQ(other.Allocate(5001), 0);
    EXPECT_EQ(a.bitmap.Combine(other, QELBM_OR), -1);
    ASSERT_EQ(other.Allocate(5000), 0);
    EXPECT_EQ(a.bitmap.Combine(other, 1), -1);
    EXPECT_EQ(a.bitmap.Combine(other, 5), -1);
}

TEST(HitBitmap, LargestBitmap) {
    HitBitmap bitmap;
    ASSERT_EQ(bitmap.Allocate(QELBM_MAX_ROWS), 0);
    EXPECT_EQ(bitmap.NextSet(0), -1);
    bitmap.Set(QELBM_MAX_ROWS - 1);
    EXPECT_EQ(bitmap.NextSet(5), QELBM_MAX_ROWS - 1);
    bitmap.Invert();
    EXPECT_EQ(bitmap.Count(), QELBM_MAX_ROWS - 1);
    EXPECT_EQ(bitmap.Test(QELBM_MAX_ROWS - 1), 0);
    bitmap.Free();
    EXPECT_EQ(bitmap.Rows(), 0);
    EXPECT_EQ(bitmap.NextSet(0), -1);
    EXPECT_EQ(bitmap.Test(0), 0);
}

TEST(HitBitmap, NoRows) {
    HitBitmap bitmap;
    ASSERT_EQ(bitmap.Allocate(0), 0);
    bitmap.Fill(true);
    bitmap.Set(0);
    bitmap.Invert();
    EXPECT_EQ(bitmap.Count(), 0);
    EXPECT_EQ(bitmap.NextSet(0), -1);
    EXPECT_EQ(bitmap.Test(0), 0);
}

}  // namespace
