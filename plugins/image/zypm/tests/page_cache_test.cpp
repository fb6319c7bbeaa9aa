// The decoded-page cache: least recently used pages go first, within the byte budget.
#include <gtest/gtest.h>

#include "internal.h"

namespace zypm {
namespace {

DecodedPtr PageOf(size_t bytes) {
    auto page = std::make_shared<DecodedPage>();
    page->greyPixels.resize(bytes);
    return page;
}

TEST(PageCache, DropsTheLeastRecentlyUsedPastTheBudget) {
    PageCache cache(300);
    cache.Insert(1, 0, PageOf(100));
    cache.Insert(1, 1, PageOf(100));
    cache.Insert(1, 2, PageOf(100));
    ASSERT_NE(cache.Find(1, 0), nullptr);  // page 0 becomes the most recent
    cache.Insert(2, 0, PageOf(100));       // page 1 goes
    EXPECT_EQ(cache.Find(1, 1), nullptr);
    EXPECT_NE(cache.Find(1, 0), nullptr);
    EXPECT_NE(cache.Find(1, 2), nullptr);
    EXPECT_NE(cache.Find(2, 0), nullptr);
    EXPECT_EQ(cache.Bytes(), 300u);
}

TEST(PageCache, PageLargerThanTheBudgetIsNotKept) {
    PageCache cache(300);
    cache.Insert(1, 0, PageOf(100));
    cache.Insert(1, 1, PageOf(301));
    EXPECT_EQ(cache.Find(1, 1), nullptr);
    EXPECT_NE(cache.Find(1, 0), nullptr);  // and pushed nothing out
}

TEST(PageCache, DropFileForgetsOnlyThatFile) {
    PageCache cache(1000);
    cache.Insert(1, 0, PageOf(10));
    cache.Insert(2, 0, PageOf(20));
    cache.Insert(1, 1, PageOf(30));
    DecodedPtr held = cache.Find(1, 1);
    cache.DropFile(1);
    EXPECT_EQ(cache.Count(), 1u);
    EXPECT_EQ(cache.Bytes(), 20u);
    EXPECT_EQ(held->Bytes(), 30u);  // a page in use outlives its entry
}

}  // namespace
}  // namespace zypm
